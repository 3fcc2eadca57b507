// The demo song: 90 seconds of synthesised dance music at 125 beats per
// minute in A minor, 44100 Hz stereo, handed as raw PCM to the Ogg encoder
// program (this program must not link the encoder library: the game's
// decoder exports the same names).
//
// Sections change which instruments play and how loud, so the game's
// analysis sees a course that rises and falls: an intro of pads and hats, a
// groove of kick and bass, the melody, a quiet breakdown of high arpeggios,
// a loud drop with everything, a half-time variation and a fading outro.
// Every voice is computed from the sample index and a fixed-seed noise
// generator, so the same bytes come out on every run.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "DataGen.h"

extern char** environ;

namespace DataGen {

namespace {

const int Rate = 44100;
const double Seconds = 90.0;
const double Pi = 3.14159265358979323846;
const double Beat = 60.0 / 125.0;
const double Bar = 4 * Beat;

double NoteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

class Noise {
public:
    explicit Noise(uint32_t seed) : m_State(seed) {}
    double Next() {
        m_State = m_State * 1664525u + 1013904223u;
        return static_cast<double>(m_State >> 8) / 8388608.0 - 1.0;
    }

private:
    uint32_t m_State;
};

struct Mix {
    std::vector<float> left, right;
    explicit Mix(size_t frames) : left(frames, 0.f), right(frames, 0.f) {}
    void Add(size_t i, double value, double pan) {  // pan -1 left .. +1 right
        if (i >= left.size()) return;
        left[i] += static_cast<float>(value * std::sqrt((1 - pan) / 2));
        right[i] += static_cast<float>(value * std::sqrt((1 + pan) / 2));
    }
};

size_t FrameOf(double seconds) { return static_cast<size_t>(seconds * Rate); }

void Kick(Mix& mix, double t, double gain) {
    double phase = 0;
    for (size_t i = 0, n = FrameOf(0.35); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        const double freq = 45 + 90 * std::exp(-s * 30);
        phase += 2 * Pi * freq / Rate;
        const double click = i < 40 ? (1 - i / 40.0) * 0.5 : 0;
        mix.Add(FrameOf(t) + i, gain * (std::sin(phase) * std::exp(-s * 9) + click), 0);
    }
}

void Snare(Mix& mix, double t, double gain, Noise& noise) {
    double hp = 0, last = 0;
    for (size_t i = 0, n = FrameOf(0.25); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        const double raw = noise.Next();
        hp = 0.7 * (hp + raw - last);  // crude high-pass: keeps the snare's rattle bright
        last = raw;
        const double body = std::sin(2 * Pi * 185 * s) * std::exp(-s * 25);
        mix.Add(FrameOf(t) + i, gain * (hp * std::exp(-s * 18) * 0.8 + body * 0.6), 0.1);
    }
}

void Hat(Mix& mix, double t, double gain, double decay, double pan, Noise& noise) {
    double hp1 = 0, hp2 = 0, last1 = 0, last2 = 0;
    for (size_t i = 0, n = FrameOf(decay * 5); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        const double raw = noise.Next();
        hp1 = 0.45 * (hp1 + raw - last1);
        last1 = raw;
        hp2 = 0.45 * (hp2 + hp1 - last2);
        last2 = hp1;
        mix.Add(FrameOf(t) + i, gain * hp2 * std::exp(-s / decay), pan);
    }
}

// Saw through a one-pole low-pass whose cutoff follows an envelope.
void Bass(Mix& mix, double t, double length, int midi, double gain) {
    const double freq = NoteHz(midi);
    double lp = 0, phase = 0;
    for (size_t i = 0, n = FrameOf(length); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        phase += freq / Rate;
        phase -= std::floor(phase);
        const double saw = 2 * phase - 1;
        const double cutoff = 150 + 900 * std::exp(-s * 12);
        lp += (1 - std::exp(-2 * Pi * cutoff / Rate)) * (saw - lp);
        const double env = std::min(1.0, s * 400) * std::min(1.0, (length - s) * 80);
        mix.Add(FrameOf(t) + i, gain * lp * env, 0);
    }
}

// A bright lead: a square and a saw an octave up, with vibrato.
void Lead(Mix& mix, double t, double length, int midi, double gain, double pan) {
    const double freq = NoteHz(midi);
    double p1 = 0, p2 = 0;
    for (size_t i = 0, n = FrameOf(length + 0.15); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        const double vib = 1 + 0.004 * std::sin(2 * Pi * 5.5 * s) * std::min(1.0, s * 4);
        p1 += freq * vib / Rate;
        p1 -= std::floor(p1);
        p2 += 2 * freq * vib / Rate;
        p2 -= std::floor(p2);
        const double wave = (p1 < 0.5 ? 0.6 : -0.6) + (2 * p2 - 1) * 0.35;
        const double release = s < length ? 1.0 : std::exp(-(s - length) * 30);
        const double env = std::min(1.0, s * 200) * (0.7 + 0.3 * std::exp(-s * 6)) * release;
        mix.Add(FrameOf(t) + i, gain * wave * env, pan);
    }
}

// A plucked high note: sine plus upper partials, fast decay.
void Pluck(Mix& mix, double t, int midi, double gain, double pan) {
    const double freq = NoteHz(midi);
    for (size_t i = 0, n = FrameOf(0.3); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        const double wave = std::sin(2 * Pi * freq * s) + 0.5 * std::sin(4 * Pi * freq * s) * std::exp(-s * 20) +
                            0.3 * std::sin(6 * Pi * freq * s) * std::exp(-s * 35);
        mix.Add(FrameOf(t) + i, gain * wave * std::min(1.0, s * 800) * std::exp(-s * 14), pan);
    }
}

// A soft chord of detuned saws, slowly swelling.
void Pad(Mix& mix, double t, double length, const std::vector<int>& chord, double gain) {
    std::vector<double> phases(chord.size() * 2, 0.0);
    double lpL = 0;
    for (size_t i = 0, n = FrameOf(length); i < n; ++i) {
        const double s = static_cast<double>(i) / Rate;
        double sum = 0;
        for (size_t k = 0; k < chord.size(); ++k)
            for (int d = 0; d < 2; ++d) {
                double& p = phases[k * 2 + d];
                p += NoteHz(chord[k]) * (d ? 1.004 : 0.996) / Rate;
                p -= std::floor(p);
                sum += 2 * p - 1;
            }
        lpL += (1 - std::exp(-2 * Pi * 1200 / Rate)) * (sum - lpL);
        const double env = std::min(1.0, s / 0.4) * std::min(1.0, (length - s) / 0.3);
        mix.Add(FrameOf(t) + i, gain * lpL * env / chord.size(), std::sin(s * 0.7) * 0.4);
    }
}

struct Section {
    int firstBar, lastBar;  // inclusive
    bool kick, snare, hats, openHats, bass, lead, plucks, pad, halfTime;
    double gain;
};

bool Synthesise(std::vector<int16_t>& pcm) {
    const size_t frames = FrameOf(Seconds);
    Mix mix(frames);
    Noise noise(20240601u);
    // Am - F - C - G, roots in the bass octave.
    const int roots[4] = {45, 41, 48, 43};
    const std::vector<std::vector<int>> chords = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
    // Melody per bar (eighth notes, -1 rests), A minor pentatonic.
    const int melody[4][8] = {{69, -1, 72, 74, 76, -1, 74, 72},
                              {69, -1, 67, 69, 72, -1, 69, -1},
                              {72, 74, 76, -1, 79, 76, 74, -1},
                              {74, -1, 72, 71, 67, -1, 71, 74}};
    const Section sections[] = {
        {0, 3, false, false, true, false, false, false, false, true, false, 0.45},     // intro
        {4, 11, true, false, true, false, true, false, false, false, false, 0.75},     // groove
        {12, 19, true, true, true, false, true, true, false, false, false, 0.85},      // melody
        {20, 23, false, false, false, false, false, false, true, true, false, 0.5},    // breakdown
        {24, 35, true, true, true, true, true, true, true, false, false, 1.0},         // drop
        {36, 43, true, true, true, false, true, true, false, true, true, 0.8},          // half time
        {44, 46, true, false, true, false, true, false, false, true, false, 0.6},      // outro
    };
    for (const Section& sec : sections)
        for (int bar = sec.firstBar; bar <= sec.lastBar; ++bar) {
            const double t0 = bar * Bar;
            const int harmony = bar % 4;
            const double g = sec.gain;
            for (int beat = 0; beat < 4; ++beat) {
                const double tb = t0 + beat * Beat;
                if (sec.kick && (!sec.halfTime || beat % 2 == 0)) Kick(mix, tb, 0.9 * g);
                if (sec.snare && (sec.halfTime ? beat == 2 : beat % 2 == 1)) Snare(mix, tb, 0.55 * g, noise);
                if (sec.hats) {
                    Hat(mix, tb + Beat / 2, 0.35 * g, 0.03, 0.35, noise);
                    if (bar >= 8 || sec.firstBar == 0) Hat(mix, tb, 0.2 * g, 0.02, -0.35, noise);
                }
                if (sec.openHats) Hat(mix, tb + Beat / 2, 0.25 * g, 0.12, 0.5, noise);
            }
            if (sec.bass)
                for (int e = 0; e < 8; ++e) {
                    if (e == 3 && !sec.halfTime) continue;  // a syncopating gap
                    Bass(mix, t0 + e * Beat / 2, Beat / 2 * 0.9, roots[harmony] + (e % 4 == 2 ? 12 : 0), 0.5 * g);
                }
            if (sec.lead)
                for (int e = 0; e < 8; ++e) {
                    const int note = melody[harmony][e];
                    if (note < 0) continue;
                    const int shift = sec.halfTime ? -12 : (sec.firstBar == 24 && bar >= 30 ? 12 : 0);
                    Lead(mix, t0 + e * Beat / 2, Beat / 2 * 0.8, note + shift, 0.22 * g, -0.2);
                }
            if (sec.plucks)
                for (int s = 0; s < 16; ++s) {
                    const std::vector<int>& chord = chords[harmony];
                    const int note = chord[s % 3] + 24 + (s % 6 == 5 ? 12 : 0);
                    Pluck(mix, t0 + s * Beat / 4, note, 0.16 * g, s % 2 ? 0.6 : -0.6);
                }
            if (sec.pad) Pad(mix, t0, Bar, chords[harmony], 0.3 * g);
        }
    // Fade the last four seconds and normalise to a healthy peak.
    const size_t fadeFrom = FrameOf(Seconds - 4);
    float peak = 1e-6f;
    for (size_t i = 0; i < frames; ++i) {
        if (i >= fadeFrom) {
            const float f = 1.0f - static_cast<float>(i - fadeFrom) / static_cast<float>(frames - fadeFrom);
            mix.left[i] *= f, mix.right[i] *= f;
        }
        peak = std::max(peak, std::max(std::fabs(mix.left[i]), std::fabs(mix.right[i])));
    }
    const float scale = 0.89f * 32767.0f / peak;
    pcm.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        pcm[2 * i] = static_cast<int16_t>(std::lrint(mix.left[i] * scale));
        pcm[2 * i + 1] = static_cast<int16_t>(std::lrint(mix.right[i] * scale));
    }
    return true;
}

// Hands interleaved 16-bit PCM at 44100 Hz to the encoder program through
// its standard input.
bool EncodeOgg(const std::string& path, const std::vector<int16_t>& pcm, int channels,
               const std::string& encoderPath) {
    std::vector<uint8_t> bytes(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) & 0xff);
        bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
    }
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("skyrail-datagen: pipe");
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string channelText = std::to_string(channels);
    const char* argv[] = {encoderPath.c_str(), "-", path.c_str(), "44100", channelText.c_str(), "0.4", nullptr};
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, encoderPath.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        std::fprintf(stderr, "skyrail-datagen: cannot run the encoder %s\n", encoderPath.c_str());
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fds[1], bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    close(fds[1]);
    int status = 0;
    const bool ok = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    written == bytes.size();
    if (!ok) std::fprintf(stderr, "skyrail-datagen: the encoder failed on %s\n", path.c_str());
    return ok;
}

}  // namespace

bool WriteDemoSong(const std::string& path, const std::string& encoderPath) {
    std::vector<int16_t> pcm;
    Synthesise(pcm);
    return EncodeOgg(path, pcm, 2, encoderPath);
}

bool WriteClickTrack(const std::string& path, const std::string& encoderPath) {
    // Sixteen clicks, one every 0.75 s from 0.375 s on, in a track of exactly
    // 12 s, so it loops without a seam; between two clicks there is room for
    // a press that belongs to neither. Each click starts at full
    // strength (its onset is one sample) and dies away in 30 ms; every
    // fourth is higher, like a metronome's bar.
    const int clicks = 16;
    const size_t period = Rate * 3 / 4;
    std::vector<int16_t> pcm(period * clicks, 0);
    for (int k = 0; k < clicks; ++k) {
        const double hz = k % 4 == 0 ? 2000.0 : 1500.0;
        const size_t start = period / 2 + period * static_cast<size_t>(k);
        for (size_t i = 0; i < static_cast<size_t>(Rate * 0.03); ++i) {
            const double t = static_cast<double>(i) / Rate;
            pcm[start + i] = static_cast<int16_t>(20000.0 * std::exp(-t * 150.0) * std::cos(2 * Pi * hz * t));
        }
    }
    return EncodeOgg(path, pcm, 1, encoderPath);
}

}  // namespace DataGen
