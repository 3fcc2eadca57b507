#!/usr/bin/env python3
"""Writes generated songs of different tempos and densities for measuring
races (skyrail-analyze, headless autopilot races): drums and a bass line,
built bar by bar from a few random bar patterns, encoded with skyrail-oggenc.

    make-songs.py OGGENC OUTDIR

Songs: name, beats per minute, hat steps per beat, seconds, seed.
"""
import array
import math
import os
import random
import subprocess
import sys

RATE = 44100
SONGS = [
    ("slow-sparse-80bpm", 80, 1, 150, 1),
    ("mid-eighths-120bpm", 120, 2, 150, 2),
    ("syncopated-140bpm", 140, 3, 150, 3),
    ("fast-dense-170bpm", 170, 4, 150, 4),
    ("very-fast-200bpm", 200, 4, 120, 5),
    ("ten-minutes-128bpm", 128, 2, 600, 6),
]


def bar(bpm, steps, rng):
    beat = 60.0 / bpm
    n = int(round(4 * beat * RATE))
    out = [0.0] * n

    def add(t, length, gain, wave):
        start = int(t * RATE)
        for i in range(min(int(length * RATE), n - start)):
            out[start + i] += gain * wave(i / RATE)

    noise = [rng.uniform(-1, 1) for _ in range(RATE // 4)]
    for b in range(4):
        t = b * beat
        add(t, 0.25, 0.8, lambda s: math.sin(2 * math.pi * (50 + 80 * math.exp(-s * 30)) * s) * math.exp(-s * 12))
        if b % 2 == 1:
            add(t, 0.2, 0.5, lambda s: noise[int(s * RATE) % len(noise)] * math.exp(-s * 20))
        for k in range(steps):
            if rng.random() < 0.85:
                add(t + k * beat / steps, 0.05, 0.25, lambda s: noise[(int(s * RATE) * 7) % len(noise)] * math.exp(-s * 90))
        note = 55.0 * 2 ** (rng.choice([0, 3, 5, 7, 10]) / 12.0)
        add(t + beat / 2, beat / 2, 0.3, lambda s, f=note: math.sin(2 * math.pi * f * s) * math.exp(-s * 4))
    return out


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    encoder, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    for name, bpm, steps, seconds, seed in SONGS:
        rng = random.Random(seed)
        patterns = []
        for _ in range(4):
            pcm = bar(bpm, steps, rng)
            patterns.append(array.array("h", (max(-32767, min(32767, int(v * 20000))) for v in pcm)).tobytes())
        bars = int(seconds * bpm / 240.0)
        raw = b"".join(patterns[rng.randrange(4)] for _ in range(bars))
        path = os.path.join(folder, name + ".ogg")
        subprocess.run([encoder, "-", path, str(RATE), "1"], input=raw, check=True)
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
