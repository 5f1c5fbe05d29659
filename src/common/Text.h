#pragma once
// Small text helpers shared by every subsystem: printf-style formatting,
// ASCII case mapping, number text and code page conversion (UTF-8 in memory).
#include <cstdarg>
#include <optional>
#include <string>

namespace vexa {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// Only a-z / A-Z change; every other byte (UTF-8 included) stays.
std::string UpperAscii(std::string text);
std::string LowerAscii(std::string text);
bool SameTextAscii(const std::string& a, const std::string& b);

// Control characters (below 0x20 and 0x7F) written as \n, \r, \t or \xHH, so that a name
// printed on one line stays on one line.
std::string EscapeControlChars(const std::string& text);

// Leading and trailing blanks and control characters removed.
std::string Trim(const std::string& text);

// Shortest decimal text that reads back to the same double, "." as separator.
std::string FloatToText(double value);
// Whole text as a decimal integer (optional sign); nothing on any other text.
std::optional<long long> TextToInt(const std::string& text);
// Whole text as a floating-point number with "." as separator; nothing on failure.
std::optional<double> TextToFloat(const std::string& text);

// UTF-8 as code points and back. A byte that starts no valid sequence stands for itself.
std::u32string DecodeUtf8(const std::string& utf8);
void AppendUtf8(std::string& out, char32_t codePoint);
std::string EncodeUtf8(const std::u32string& text);

// Code page conversion; codePage is a Windows code page number (1250, 1252, 852, ...).
// Bytes that cannot be converted become '?'.
std::string ToUtf8(const std::string& bytes, int codePage);
std::string FromUtf8(const std::string& utf8, int codePage);
// A message with its "\r" line breaks as "\n", for a terminal.
std::string MessageLines(std::string text);

// The first count characters of a UTF-8 text (whole characters).
std::string CutUtf8(const std::string& text, std::size_t count);

// The same, or nothing when a character has no representation in the code page.
std::optional<std::string> FromUtf8Exact(const std::string& utf8, int codePage);

#ifdef _WIN32
// UTF-8 and the UTF-16 of the Windows wide-character functions.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
#endif

}  // namespace vexa
