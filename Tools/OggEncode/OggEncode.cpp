// skyrail-oggenc: encodes raw PCM to an Ogg Vorbis file.
//
//     skyrail-oggenc input.raw output.ogg rate channels [quality]
//
// input.raw holds interleaved signed 16-bit little-endian samples ("-" reads
// standard input). rate is in Hz, channels 1 to 8, quality the libvorbisenc
// VBR quality from -0.1 to 1.0 (default 0.4, about 128 kbit/s for stereo at
// 44100 Hz). Any rate libvorbisenc accepts is written; the game itself only
// analyses 44100 Hz songs. A trailing partial frame is ignored. The output is
// written to "output.ogg.part" and renamed into place when complete, so a
// failed run never leaves a half-written song. Exit status: 0 on success, 1 on
// a failure (one line on standard error), 2 on wrong arguments.
//
// This program must not link Tremor (or anything that does): both libraries
// export the same names.
#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int FramesPerBlock = 1024;

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: skyrail-oggenc input.raw output.ogg rate channels [quality]\n"
                 "  input.raw  interleaved signed 16-bit little-endian PCM, '-' for stdin\n"
                 "  rate       sample rate in Hz (the game analyses 44100 Hz songs)\n"
                 "  channels   1 to 8\n"
                 "  quality    VBR quality -0.1 .. 1.0 (default 0.4)\n");
}

bool ParseLong(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text, &end, 10);
    if (errno || end == text || *end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool ParseQuality(const char* text, float* value) {
    char* end = nullptr;
    float parsed = std::strtof(text, &end);
    if (end == text || *end || !(parsed >= -0.1f && parsed <= 1.0f)) return false;
    *value = parsed;
    return true;
}

// Writes every page the stream has ready; flush forces out a partial page.
bool WritePages(ogg_stream_state* stream, FILE* out, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(stream, &page) : ogg_stream_pageout(stream, &page)) {
        if (std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) !=
                static_cast<size_t>(page.header_len) ||
            std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) != static_cast<size_t>(page.body_len))
            return false;
    }
    return true;
}

// Runs the analysis/bitrate pipeline over whatever the encoder holds.
bool Drain(vorbis_dsp_state* dsp, vorbis_block* block, ogg_stream_state* stream, FILE* out) {
    while (vorbis_analysis_blockout(dsp, block) == 1) {
        if (vorbis_analysis(block, nullptr) != 0 || vorbis_bitrate_addblock(block) != 0) return false;
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(dsp, &packet) == 1) {
            ogg_stream_packetin(stream, &packet);
            if (!WritePages(stream, out, false)) return false;
        }
    }
    return true;
}

const char* Encode(FILE* in, FILE* out, long rate, int channels, float quality) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return "libvorbisenc does not support this rate/channel/quality combination";
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "skyrail-oggenc");
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    // A fixed serial number keeps the output reproducible for the same input.
    ogg_stream_init(&stream, 0x536b5261);

    const char* error = nullptr;
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    // Audio starts on a fresh page, as the Vorbis mapping requires.
    if (!WritePages(&stream, out, true)) error = "write failed";

    std::vector<unsigned char> raw(static_cast<size_t>(FramesPerBlock) * channels * 2);
    size_t pending = 0;  // bytes of a frame split across two reads
    while (!error) {
        size_t got = std::fread(raw.data() + pending, 1, raw.size() - pending, in);
        size_t bytes = pending + got;
        size_t frameBytes = static_cast<size_t>(channels) * 2;
        int frames = static_cast<int>(bytes / frameBytes);
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, frames);
            for (int f = 0; f < frames; ++f)
                for (int c = 0; c < channels; ++c) {
                    const unsigned char* at = raw.data() + (static_cast<size_t>(f) * channels + c) * 2;
                    int16_t sample = static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
                    buffer[c][f] = sample / 32768.0f;
                }
            vorbis_analysis_wrote(&dsp, frames);
            if (!Drain(&dsp, &block, &stream, out)) error = "encoding failed";
        }
        pending = bytes - static_cast<size_t>(frames) * frameBytes;
        std::memmove(raw.data(), raw.data() + static_cast<size_t>(frames) * frameBytes, pending);
        if (got == 0) {
            if (std::ferror(in)) error = "read failed";
            break;
        }
    }
    if (!error) {
        vorbis_analysis_wrote(&dsp, 0);
        if (!Drain(&dsp, &block, &stream, out) || !WritePages(&stream, out, true)) error = "encoding failed";
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        Usage(stdout);
        return 0;
    }
    long rate = 0, channels = 0;
    float quality = 0.4f;
    if (argc < 5 || argc > 6 || !ParseLong(argv[3], 1, 1000000, &rate) || !ParseLong(argv[4], 1, 8, &channels) ||
        (argc == 6 && !ParseQuality(argv[5], &quality))) {
        Usage(stderr);
        return 2;
    }
    const std::string inputPath = argv[1];
    const std::string outputPath = argv[2];
    const std::string partPath = outputPath + ".part";

    FILE* in = inputPath == "-" ? stdin : std::fopen(inputPath.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "skyrail-oggenc: cannot open %s: %s\n", inputPath.c_str(), std::strerror(errno));
        return 1;
    }
    FILE* out = std::fopen(partPath.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "skyrail-oggenc: cannot create %s: %s\n", partPath.c_str(), std::strerror(errno));
        if (in != stdin) std::fclose(in);
        return 1;
    }
    const char* error = Encode(in, out, rate, static_cast<int>(channels), quality);
    if (in != stdin) std::fclose(in);
    if (std::fclose(out) != 0 && !error) error = "write failed";
    if (!error && std::rename(partPath.c_str(), outputPath.c_str()) != 0) error = std::strerror(errno);
    if (error) {
        std::remove(partPath.c_str());
        std::fprintf(stderr, "skyrail-oggenc: %s: %s\n", outputPath.c_str(), error);
        return 1;
    }
    return 0;
}
