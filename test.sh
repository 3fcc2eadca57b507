#!/usr/bin/env bash
# Sets everything up, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# (warnings are errors) and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DSKYRAIL_SANITIZE=ON -DSKYRAIL_WERROR=ON >/dev/null
cmake --build build/test -j"$(nproc)"
ctest --test-dir build/test --output-on-failure -j"$(nproc)"
