#!/usr/bin/env bash
# Sets everything up, builds the game and runs it from this folder: in a window
# when a display is there, headless (autopilot, screenshots in ./shots)
# otherwise. Arguments go to the game; see ./play.sh --help.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSKYRAIL_TESTS=OFF >/dev/null
# The build shows one line per finished program or library; the whole output
# is kept in build/release/build.log and shown when the build fails.
echo "play.sh: building the game (the first build takes about a minute)..."
if ! cmake --build build/release -j"$(nproc)" 2>&1 | tee build/release/build.log |
    grep --line-buffered -E '^\[ *[0-9]+%\] Built target' | sed -u 's/^/  /'; then
    tail -n 40 build/release/build.log
    echo "play.sh: the build failed (whole output in build/release/build.log)" >&2
    exit 1
fi
# The game reads ./Data and ./Music from its working folder: the generated
# data stays in the build, the music folder is yours (the demo song is put
# there once).
ln -sfn build/release/Data Data
mkdir -p Music
[ -e "Music/SkyRail Demo.ogg" ] || cp "build/release/Music/SkyRail Demo.ogg" Music/
status=0
build/release/skyrail "$@" || status=$?
echo "play.sh: to play again without rebuilding: (cd '$PWD' && build/release/skyrail)"
exit "$status"
