#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: unit tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), end-to-end tests against real JVMs,
# the viewer's tests offscreen, and a short run of every fuzz target (built with clang).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -G Ninja -S . -B build-test -DVORLAN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-test
(cd build-test && ctest --output-on-failure --timeout 900 -j2)

cmake -G Ninja -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVORLAN_FUZZ_SECONDS=5
cmake --build build-fuzz
(cd build-fuzz && ctest --output-on-failure)
