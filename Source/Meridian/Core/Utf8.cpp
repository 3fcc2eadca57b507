#include "Core/Utf8.h"

namespace Meridian {
namespace Utf8 {

U32 Next(const std::string& text, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<U32>(static_cast<unsigned char>(text[i])); };
    const U32 lead = byte(pos);
    size_t length = 0;
    U32 code = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07, least = 0x10000;
    if (length > 0 && pos + length <= text.size()) {
        size_t i = 1;
        for (; i < length && (byte(pos + i) & 0xC0) == 0x80; ++i) code = code << 6 | (byte(pos + i) & 0x3F);
        if (i == length && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
            pos += length;
            return code;
        }
    }
    ++pos;
    return lead;
}

size_t Length(const std::string& text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); ++count) Next(text, pos);
    return count;
}

std::string Slice(const std::string& text, size_t first, size_t count) {
    size_t pos = 0, seen = 0;
    for (; pos < text.size() && seen < first; ++seen) Next(text, pos);
    const size_t begin = pos;
    for (seen = 0; pos < text.size() && seen < count; ++seen) Next(text, pos);
    return text.substr(begin, pos - begin);
}

}  // namespace Utf8
}  // namespace Meridian
