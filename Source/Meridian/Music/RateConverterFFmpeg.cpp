// The desktop build's RateConverter, on libswresample.
#include "Music/RateConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace Meridian {

namespace {

class RateConverterFFmpeg : public RateConverter {
public:
    RateConverterFFmpeg(SwrContext* context, I32 channels) : m_Context(context), m_Channels(channels) {}
    ~RateConverterFFmpeg() override { swr_free(&m_Context); }

    void Convert(const I16* input, I32 frames, std::vector<I16>& out) override {
        const uint8_t* in = reinterpret_cast<const uint8_t*>(input);
        Run(&in, frames, out);
    }
    void Flush(std::vector<I16>& out) override { Run(nullptr, 0, out); }

private:
    void Run(const uint8_t** in, I32 frames, std::vector<I16>& out) {
        const int room = swr_get_out_samples(m_Context, frames);
        if (room <= 0) return;
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(room) * m_Channels);
        uint8_t* to = reinterpret_cast<uint8_t*>(out.data() + at);
        const int got = swr_convert(m_Context, &to, room, in, frames);
        out.resize(at + static_cast<size_t>(got > 0 ? got : 0) * m_Channels);
    }

    SwrContext* m_Context;
    I32 m_Channels;
};

}  // namespace

RateConverter* CreateRateConverter(I32 fromRate, I32 toRate, I32 channels) {
    if (fromRate < 8000 || fromRate > 192000 || toRate < 8000 || toRate > 192000) return nullptr;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* context = nullptr;
    const bool made = swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_S16, toRate, &layout, AV_SAMPLE_FMT_S16,
                                          fromRate, 0, nullptr) >= 0 &&
                      swr_init(context) >= 0;
    av_channel_layout_uninit(&layout);
    if (!made) {
        swr_free(&context);
        return nullptr;
    }
    return new RateConverterFFmpeg(context, channels);
}

}  // namespace Meridian
