#!/usr/bin/env bash
# Sets everything up, builds the game and runs it from this folder: in a window
# when a display is there, headless otherwise. Arguments go to the game.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSKYRAIL_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null
exec build/release/skyrail "$@"
