#include "Import/ImportGlyphData.h"

#include <cstdio>
#include <string>

#include "Core/Log.h"

namespace Meridian {

namespace {

const I32 MaxCode = 255;

I32 ReadLE32(const unsigned char* bytes) {
    const U32 value = static_cast<U32>(bytes[0]) | static_cast<U32>(bytes[1]) << 8 |
                      static_cast<U32>(bytes[2]) << 16 | static_cast<U32>(bytes[3]) << 24;
    return static_cast<I32>(value);
}

void ReadRecords(FILE* file, GlyphData& data) {
    unsigned char bytes[sizeof(GlyphRecord)];
    for (;;) {
        const size_t got = std::fread(bytes, 1, sizeof bytes, file);
        if (got == 0) return;
        if (got < sizeof bytes) {
            LogW() << "ImportGlyphData: trailing partial record ignored (" << static_cast<U64>(got) << " bytes).";
            return;
        }
        I32 fields[9];
        for (int i = 0; i < 9; ++i) fields[i] = ReadLE32(bytes + i * 4);
        const GlyphRecord record = {fields[0], fields[1], fields[2], fields[3], fields[4],
                                    fields[5], fields[6], fields[7], fields[8]};
        const I32 code = record.code;
        if (code < 0) continue;
        if (code > MaxCode) {
            LogW() << "ImportGlyphData: glyph code " << code << " above 255 ignored.";
            continue;
        }
        if (static_cast<size_t>(code) + 1 > data.glyphs.size()) {
            GlyphRecord absent = {};
            absent.code = -1;
            data.glyphs.resize(static_cast<size_t>(code) + 1, absent);
        }
        data.glyphs[static_cast<size_t>(code)] = record;
    }
}

}  // namespace

GlyphData ImportGlyphData(const char* path) {
    GlyphData data;
    const std::string name = path ? path : "";
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        LogE() << "ImportGlyphData: failed to open file:" << name;
        return data;
    }

    unsigned char header[4];
    if (std::fread(header, 1, 4, file) < 4) {
        LogE() << "ImportGlyphData: invalid header/1.";
    } else if (header[0] != 'G' || header[1] != 'L' || header[2] != 'Y') {
        LogE() << "ImportGlyphData: invalid header/2.";
    } else if (header[3] < '0') {
        LogE() << "ImportGlyphData: invalid header/3.";
    } else if (header[3] == '0') {
        data.header = 0;
        ReadRecords(file, data);
    } else {
        unsigned char value[4];
        if (std::fread(value, 1, 4, file) < 4) {
            LogE() << "ImportGlyphData: invalid header/1.";
        } else {
            data.header = ReadLE32(value);
            ReadRecords(file, data);
        }
    }
    std::fclose(file);
    return data;
}

}  // namespace Meridian
