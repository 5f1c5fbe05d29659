#pragma once
// Texts of TopoL's macro language and the reading of its replies.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

// A number with exactly two decimals and a point ("1.50"), whatever the C locale says.
std::string FormatFixed2(double value);

// Splits a reply like a comma-separated list: values are separated by commas and by
// unquoted blanks or control characters, leading blanks are skipped, a value may be in
// double quotes (two double quotes inside stand for one), two commas in a row give an
// empty value, and a comma at the very end gives a last empty value.
std::vector<std::string> SplitCommaText(const std::string& text);

// A signed 32-bit decimal integer (surrounding blanks allowed); nothing otherwise.
std::optional<std::int32_t> ReadInt32(const std::string& text);
// A colour: any decimal from -2147483648 to 4294967295, negative ones taken as their
// 32-bit two's complement; nothing otherwise.
std::optional<std::uint32_t> ReadColor(const std::string& text);

// Wire letter of an element group for CSTAddRec, CSTDelRec and CalculateQuery
// ('L', 'P', 'A', 'T'); 0 for any other value.
char WireGroupLetter(std::uint8_t group);

// "~" for a value not given, else the number.
std::string SwitchText(std::uint8_t value);  // not given: 2
std::string ValueText(std::int32_t value);   // not given: -1
std::string ColorText(std::uint32_t value);  // not given: all bits set

}  // namespace vexa
