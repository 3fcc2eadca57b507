#include "Support/OggDamage.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>

namespace Test {

namespace {

struct Page {
    size_t offset, headerBytes, bodyBytes;
};

std::vector<Page> Pages(const Bytes& bytes) {
    std::vector<Page> pages;
    size_t at = 0;
    while (at + 27 <= bytes.size() && std::memcmp(&bytes[at], "OggS", 4) == 0) {
        const size_t segments = bytes[at + 26], headerBytes = 27 + segments;
        if (at + headerBytes > bytes.size()) break;
        size_t bodyBytes = 0;
        for (size_t s = 0; s < segments; ++s) bodyBytes += bytes[at + 27 + s];
        if (at + headerBytes + bodyBytes > bytes.size()) break;
        pages.push_back(Page{at, headerBytes, bodyBytes});
        at += headerBytes + bodyBytes;
    }
    return pages;
}

// Header pages (identification, comment, setup) have granule position 0.
bool IsHeaderPage(const Bytes& bytes, const Page& page) {
    for (int i = 0; i < 8; ++i)
        if (bytes[page.offset + 6 + i] != 0) return false;
    return true;
}

// Offset just past the header pages; 0 when there are none.
size_t OggHeaderPagesEnd(const Bytes& bytes) {
    size_t end = 0;
    for (const Page& page : Pages(bytes)) {
        if (!IsHeaderPage(bytes, page)) break;
        end = page.offset + page.headerBytes + page.bodyBytes;
    }
    return end;
}

}  // namespace

void FixOggChecksums(Bytes& bytes) {
    for (const Page& page : Pages(bytes)) {
        ogg_page view;
        view.header = &bytes[page.offset];
        view.header_len = static_cast<long>(page.headerBytes);
        view.body = bytes.data() + page.offset + page.headerBytes;
        view.body_len = static_cast<long>(page.bodyBytes);
        ogg_page_checksum_set(&view);
    }
}

Bytes OggMutator::Mutate(const Bytes& song, const char** kind) {
    static const uint32_t extremes[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0u, 1u, 0xFFFFu, 0x10000u, 0xFFFFFFu};
    Bytes bytes = song;
    const std::vector<Page> pages = Pages(bytes);
    std::vector<Page> headers;
    for (const Page& page : pages)
        if (IsHeaderPage(bytes, page)) headers.push_back(page);
    if (pages.empty() || headers.empty()) {
        if (kind) *kind = "cut";
        bytes.resize(Below(bytes.size()));
        return bytes;
    }
    // A byte inside the body of one of the given pages.
    auto bodyByte = [this, &bytes](const std::vector<Page>& from) {
        const Page& page = from[Below(from.size())];
        return std::min(page.offset + page.headerBytes + Below(page.bodyBytes), bytes.size() - 1);
    };
    const char* name = "";
    bool fix = true;
    switch (Below(11)) {
        case 0:
            name = "header bytes";
            for (uint32_t n = 1 + Below(4); n > 0; --n) bytes[bodyByte(headers)] = static_cast<unsigned char>(Below(256));
            break;
        case 1:
        case 2:
            name = "header bits";
            for (uint32_t n = 1 + Below(8); n > 0; --n)
                bytes[bodyByte(headers)] ^= static_cast<unsigned char>(1u << Below(8));
            break;
        case 3: {
            name = "header extreme";
            const size_t at = bodyByte(headers);
            const uint32_t value = extremes[Below(sizeof extremes / sizeof extremes[0])];
            for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
            break;
        }
        case 4:
            name = "audio bytes";
            for (uint32_t n = 1 + Below(8); n > 0; --n) bytes[bodyByte(pages)] ^= static_cast<unsigned char>(1 + Below(255));
            break;
        case 5: {
            name = "page field";
            const Page& page = pages[Below(pages.size())];
            static const size_t fields[] = {5, 6, 10, 13, 14, 18, 26};  // flags, granule, serial, sequence, segments
            const size_t at = page.offset + fields[Below(sizeof fields / sizeof fields[0])];
            bytes[at] = Below(2) ? static_cast<unsigned char>(Below(256)) : static_cast<unsigned char>(bytes[at] ^ 0x80);
            break;
        }
        case 6:
            name = "raw bytes";
            fix = false;
            for (uint32_t n = 1 + Below(8); n > 0; --n) bytes[Below(bytes.size())] = static_cast<unsigned char>(Below(256));
            break;
        case 7: {
            name = "cut";
            fix = false;
            const size_t headerEnd = OggHeaderPagesEnd(bytes);
            bytes.resize(Below(2) ? Below(headerEnd + 1) : Below(bytes.size()));
            break;
        }
        case 8: {
            name = "inserted bytes";
            const size_t at = Below(2) ? bodyByte(headers) : Below(bytes.size() + 1);
            bytes.insert(bytes.begin() + static_cast<long>(at), 1 + Below(64), static_cast<unsigned char>(Below(256)));
            break;
        }
        case 9: {
            name = "removed bytes";
            const size_t at = Below(2) ? bodyByte(headers) : Below(bytes.size());
            const size_t end = std::min<size_t>(at + 1 + Below(64), bytes.size());
            bytes.erase(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(end));
            break;
        }
        default: {
            const Page& page = pages[Below(pages.size())];
            const auto begin = bytes.begin() + static_cast<long>(page.offset);
            const auto end = begin + static_cast<long>(page.headerBytes + page.bodyBytes);
            if (Below(2)) {
                name = "dropped page";
                bytes.erase(begin, end);
            } else {
                name = "repeated page";
                const Bytes copy(begin, end);
                bytes.insert(end, copy.begin(), copy.end());
            }
            fix = false;
        }
    }
    if (fix) FixOggChecksums(bytes);
    if (kind) *kind = name;
    return bytes;
}

}  // namespace Test
