#!/usr/bin/env bash
# Builds the Debian package: build-package/vorlan_VERSION_amd64.deb, with the programs,
# the agent, the desktop entry and the man pages (only what the package holds is built;
# no tests). Install it with: apt install ./build-package/vorlan_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Debian's hardening: fortified string functions, a read-only relocation table bound at start.
cmake -G Ninja -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DVORLAN_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" -DCMAKE_SHARED_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build build-package --target vorlanagt Vorlan vorlan-cli vorlan-attach vorlan_package_docs
(cd build-package && cpack -G DEB)
deb=$(ls build-package/vorlan_*_amd64.deb)
if command -v lintian >/dev/null; then lintian "$deb" || true; fi
echo "Package: $deb"
