#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: unit tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), end-to-end tests against real JVMs,
# and the viewer's tests offscreen.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -G Ninja -S . -B build-test -DVORLAN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-test
cd build-test
ctest --output-on-failure --timeout 900 -j2
