#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/Utf8.h"

using namespace Meridian;

namespace {

std::vector<U32> Characters(const std::string& text) {
    std::vector<U32> out;
    for (size_t pos = 0; pos < text.size();) out.push_back(Utf8::Next(text, pos));
    return out;
}

}  // namespace

// Well-formed sequences give their character; any other byte stands for
// itself, so nothing is lost and nothing is read past the end.
TEST(Utf8, DecodesWellFormedTextAndKeepsEveryOtherByteAsLatin1) {
    const struct {
        std::string text;
        std::vector<U32> characters;
    } cases[] = {
        {"A\xC3\x89", {'A', 0xC9}},
        {"\xE2\x80\x93\xF0\x9F\x8E\xB5", {0x2013, 0x1F3B5}},
        {"\xC8" "B", {0xC8, 'B'}},                   // Latin-1 name
        {"\xC0\xAF", {0xC0, 0xAF}},                  // overlong
        {"\xED\xA0\x80", {0xED, 0xA0, 0x80}},        // surrogate
        {"\xF4\x90\x80\x80", {0xF4, 0x90, 0x80, 0x80}},  // above U+10FFFF
        {"x\xE2\x80", {'x', 0xE2, 0x80}},            // cut at the end
    };
    for (const auto& c : cases) EXPECT_EQ(c.characters, Characters(c.text)) << c.text;

    const std::string name = "\xC3\x89mile \xE2\x80\x93 Caf\xC3\xA9";  // "Émile – Café"
    EXPECT_EQ(12u, Utf8::Length(name));
    EXPECT_EQ("\xC3\x89mi", Utf8::Prefix(name, 3));
    EXPECT_EQ("\xE2\x80\x93 Caf\xC3\xA9", Utf8::Slice(name, 6, 20));
    EXPECT_EQ("", Utf8::Slice(name, 12, 1));
}
