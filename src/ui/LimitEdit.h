#pragma once
// The two limit edits of the main window (line length, area): which keys they
// take and how their text is written back when the edit is left.
#include <string>

namespace vexa {

inline constexpr char32_t kBackspace = 8;

// Digits, Backspace and the decimal separator "." (only while the text holds none).
// A "," (Slovak keyboards, the numeric pad) is the same separator and is typed as ".".
// There is no minus sign: a limit is never negative.
bool LimitKeyAccepted(char32_t key, const std::string& text);

// What a key accepted by LimitKeyAccepted puts into the text: "." for ",", else the key.
char32_t LimitKeyTyped(char32_t key);

// The text read as a number and written back in shortest decimal form
// ("0.50" -> "0.5", "12." -> "12", "0,5" -> "0.5"); "0" when it is not a number ("", ".").
std::string NormalizeLimitText(const std::string& text);

// The limit a check run uses: the normalised text as a number.
double LimitValue(const std::string& text);

}  // namespace vexa
