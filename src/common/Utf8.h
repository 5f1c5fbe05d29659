#pragma once
// Telling valid UTF-8 from stray bytes, and writing those readably.
#include <cstddef>
#include <string>

namespace vexa {

// The length of the valid UTF-8 character starting at text[at] (at < size), 0 when the
// byte there starts none (stray, truncated, overlong, surrogate or beyond U+10FFFF).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at);

// Bytes that are not part of valid UTF-8 written as \xHH; with controls also the control
// characters (below 0x20 and 0x7F) as \n, \r, \t or \xHH.
std::string EscapeBytes(const std::string& text, bool controls);

// Only the bytes that are not part of valid UTF-8 as \xHH (a name that must be stored as
// text in a code page).
std::string EscapeInvalidUtf8(const std::string& text);

}  // namespace vexa
