#!/bin/sh
# The share of a core the game takes in a window, and the frames it shows
# per second: the game runs under a fresh Xvfb (1920x1080x24, Mesa's software
# renderer), and after a wait its user and system time are read from
# /proc/PID/stat over a span of seconds. Frames are counted by a small
# preloaded library that counts what presents one: eglSwapBuffers, the swaps
# with damage (eglSwapBuffersWithDamageKHR/EXT, through eglGetProcAddress),
# and XPutImage and XShmPutImage, with which the game shows a frame drawn in part on a software
# renderer (SDL's own repaint of its window on an expose counts too: rare).
#
#   Tools/cpu-usage.sh [--scale N] [--wait S] [--seconds S] [--keys "KEY ..."]
#                      BUILD [SONG]
#
# Without SONG the title screen is measured; --keys presses keys (xdotool
# names, e.g. "Return" for the song list, "F1" for the help page) a second
# into the wait. With SONG the game races it (autopilot steering); allow the
# analysis of a new song in --wait. Settings come from an empty
# configuration folder, so the player's own do not count. CPU_USAGE_LOG=FILE
# keeps the game's log.
set -eu

scale=3 wait_seconds=5 seconds=10 keys=""
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale=$2; shift 2 ;;
    --wait) wait_seconds=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --keys) keys=$2; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { sed -n '2,15p' "$0"; exit 2; }
build=$(cd "$1" && pwd)
song=""
if [ $# -ge 2 ]; then song=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/swapcount.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
static volatile unsigned long* count;
static void counted(void) {
    static int opened;
    if (!opened) {
        opened = 1;
        int fd = open(getenv("SWAPCOUNT_FILE"), O_RDWR);
        if (fd >= 0) count = mmap(0, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (count == MAP_FAILED) count = 0;
    }
    if (count) ++*count;
}
unsigned int eglSwapBuffers(void* display, void* surface) {
    static unsigned int (*next)(void*, void*);
    if (!next) next = (unsigned int (*)(void*, void*))dlsym(RTLD_NEXT, "eglSwapBuffers");
    counted();
    return next(display, surface);
}
typedef unsigned int (*DamageSwap)(void*, void*, const int*, int);
static DamageSwap damageKHR, damageEXT;
static unsigned int countedKHR(void* d, void* s, const int* r, int n) { counted(); return damageKHR(d, s, r, n); }
static unsigned int countedEXT(void* d, void* s, const int* r, int n) { counted(); return damageEXT(d, s, r, n); }
void* eglGetProcAddress(const char* name) {
    static void* (*next)(const char*);
    if (!next) next = (void* (*)(const char*))dlsym(RTLD_NEXT, "eglGetProcAddress");
    void* found = next(name);
    if (!found) return found;
    if (strcmp(name, "eglSwapBuffersWithDamageKHR") == 0) { damageKHR = (DamageSwap)found; return (void*)countedKHR; }
    if (strcmp(name, "eglSwapBuffersWithDamageEXT") == 0) { damageEXT = (DamageSwap)found; return (void*)countedEXT; }
    return found;
}
typedef int (*PutImage)(void*, unsigned long, void*, void*, int, int, int, int, unsigned int, unsigned int);
int XPutImage(void* display, unsigned long drawable, void* gc, void* image, int sx, int sy, int dx, int dy,
              unsigned int w, unsigned int h) {
    static PutImage next;
    if (!next) next = (PutImage)dlsym(RTLD_NEXT, "XPutImage");
    counted();
    return next(display, drawable, gc, image, sx, sy, dx, dy, w, h);
}
typedef int (*ShmPutImage)(void*, unsigned long, void*, void*, int, int, int, int, unsigned int, unsigned int, int);
int XShmPutImage(void* display, unsigned long drawable, void* gc, void* image, int sx, int sy, int dx, int dy,
                 unsigned int w, unsigned int h, int sendEvent) {
    static ShmPutImage next;
    if (!next) next = (ShmPutImage)dlsym(RTLD_NEXT, "XShmPutImage");
    counted();
    return next(display, drawable, gc, image, sx, sy, dx, dy, w, h, sendEvent);
}
EOF
cc -O2 -shared -fPIC -o "$work/swapcount.so" "$work/swapcount.c" -ldl
head -c 8 /dev/zero >"$work/count"
mkdir -p "$work/config"

cat >"$work/run.sh" <<'EOF'
#!/bin/sh
set -eu
cd "$BUILD"
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
frames() { od -An -tu8 "$SWAPCOUNT_FILE" | tr -d ' '; }
if [ -n "$SONG" ]; then
    LD_PRELOAD="$WORK/swapcount.so" ./skyrail --window --scale "$SCALE" --autopilot "$SONG" >"$WORK/log" 2>&1 &
else
    LD_PRELOAD="$WORK/swapcount.so" ./skyrail --window --scale "$SCALE" >"$WORK/log" 2>&1 &
fi
pid=$!
sleep 1
for key in $KEYS; do xdotool search --pid "$pid" key "$key" >/dev/null 2>&1 || xdotool key "$key"; sleep 0.3; done
sleep $((WAIT - 1))
server=$(pgrep -f "^Xvfb $DISPLAY " | head -1)
t0=$(ticks "$pid") f0=$(frames) x0=$(ticks "$server")
sleep "$SECONDS_SPAN"
t1=$(ticks "$pid") f1=$(frames) x1=$(ticks "$server")
kill "$pid"
wait "$pid" || true
hz=$(getconf CLK_TCK)
awk -v t="$((t1 - t0))" -v hz="$hz" -v s="$SECONDS_SPAN" -v f="$((f1 - f0))" \
    'BEGIN { printf "cpu %.1f %% of a core, %.1f frames per second over %d s (%.2f ms a frame)\n", 100 * t / hz / s, f / s, s, f ? 1000 * t / hz / f : 0 }'
awk -v t="$((x1 - x0))" -v hz="$hz" -v s="$SECONDS_SPAN" 'BEGIN { printf "X server %.1f %% of a core\n", 100 * t / hz / s }'
EOF
chmod +x "$work/run.sh"

BUILD=$build SONG=$song SCALE=$scale WAIT=$wait_seconds SECONDS_SPAN=$seconds KEYS=$keys WORK=$work \
    SWAPCOUNT_FILE=$work/count XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} \
    xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run.sh"
if ! grep -q "picture" "$work/log"; then
    echo "the game did not open its window; its log:" >&2
    cat "$work/log" >&2
    exit 1
fi
grep "RenderPndGL: window" "$work/log" | head -1
if [ -n "${CPU_USAGE_LOG:-}" ]; then cp "$work/log" "$CPU_USAGE_LOG"; fi
