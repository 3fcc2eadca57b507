#!/usr/bin/env bash
# Sets everything up, builds the game and runs it from this folder: in a window
# when a display is there, headless (autopilot, screenshots in ./shots)
# otherwise. Arguments go to the game; see ./play.sh --help.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSKYRAIL_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null
# The game reads ./Data and ./Music from its working folder: the generated
# data stays in the build, the music folder is yours (the demo song is put
# there once).
ln -sfn build/release/Data Data
mkdir -p Music
[ -e "Music/SkyRail Demo.ogg" ] || cp "build/release/Music/SkyRail Demo.ogg" Music/
exec build/release/skyrail "$@"
