// Utf8: the characters of UTF-8 text, as text layout draws them and the
// front end counts and cuts them.
//
// File names and the game's own texts are UTF-8. A byte that does not start
// a well-formed sequence (a Latin-1 name from an older disk, a cut sequence)
// stands for itself as a Latin-1 character, so every byte belongs to exactly
// one character and none is lost. Overlong forms, surrogates and values
// above U+10FFFF are not well formed.
// Depends on: Core/Types.h.
#pragma once

#include <string>

#include "Core/Types.h"

namespace Meridian {
namespace Utf8 {

// The character that starts at byte pos of text (pos < text.size()); pos
// moves past it.
U32 Next(const std::string& text, size_t& pos);
// How many characters text holds.
size_t Length(const std::string& text);
// count characters from character first on (fewer where text ends); a
// character's bytes stay together.
std::string Slice(const std::string& text, size_t first, size_t count);
inline std::string Prefix(const std::string& text, size_t count) { return Slice(text, 0, count); }

}  // namespace Utf8
}  // namespace Meridian
