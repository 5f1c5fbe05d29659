#include "ui/LimitEdit.h"

#include "common/Text.h"

namespace vexa {

bool LimitKeyAccepted(char32_t key, const std::string& text) {
    if (key >= U'0' && key <= U'9') return true;
    if (key == kBackspace) return true;
    if (key == U'.' || key == U',') return text.find('.') == std::string::npos && text.find(',') == std::string::npos;
    return false;
}

char32_t LimitKeyTyped(char32_t key) { return key == U',' ? U'.' : key; }

namespace {
// Only what the key filter lets in counts as a number here: digits and one ".".
bool IsLimitText(const std::string& text) {
    int dots = 0, digits = 0;
    for (char c : text) {
        if (c == '.')
            ++dots;
        else if (c >= '0' && c <= '9')
            ++digits;
        else
            return false;
    }
    return dots <= 1 && digits > 0;
}
}  // namespace

std::string NormalizeLimitText(const std::string& text) {
    std::string t = Trim(text);
    // A pasted "0,5" means what a typed one does.
    for (char& c : t)
        if (c == ',') c = '.';
    if (!IsLimitText(t)) return "0";
    // "12." and ".5" are numbers as the user means them.
    std::string full = t;
    if (full.back() == '.') full.pop_back();
    if (full.front() == '.') full.insert(full.begin(), '0');
    auto value = TextToFloat(full);
    if (!value) return "0";
    return FloatToText(*value);
}

double LimitValue(const std::string& text) { return TextToFloat(NormalizeLimitText(text)).value_or(0.0); }

}  // namespace vexa
