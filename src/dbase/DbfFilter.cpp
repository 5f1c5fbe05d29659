#include "dbase/DbfFilter.h"

#include "common/Text.h"
#include "dbase/DbfExceptions.h"

#include <cctype>
#include <charconv>
#include <cstring>

namespace vexa {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& expression) {
    throw EDbfFilterError("Invalid filter expression: " + what + "\r(" + expression + ")");
}

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

class Parser {
public:
    explicit Parser(const std::string& text) : FText(text) {}

    std::vector<TDbfFilter::Term> Run() {
        std::vector<TDbfFilter::Term> terms;
        SkipBlanks();
        if (AtEnd()) return terms;
        for (;;) {
            terms.push_back(ParseTerm());
            SkipBlanks();
            if (AtEnd()) break;
            std::string word = Identifier();
            if (!SameTextAscii(word, "and")) {
                Fail(word.empty() ? "unexpected character '" + std::string(1, FText[FPos]) + "'"
                                  : "\"and\" expected before \"" + word + "\"",
                     FText);
            }
            SkipBlanks();
            if (AtEnd()) Fail("a term must follow \"and\"", FText);
        }
        return terms;
    }

private:
    const std::string& FText;
    std::size_t FPos = 0;

    bool AtEnd() const { return FPos >= FText.size(); }
    void SkipBlanks() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(FText[FPos]))) ++FPos;
    }

    std::string Identifier() {
        std::size_t start = FPos;
        if (AtEnd() || !IsIdentStart(FText[FPos])) return {};
        while (!AtEnd() && IsIdentChar(FText[FPos])) ++FPos;
        return FText.substr(start, FPos - start);
    }

    TDbfFilter::Term ParseTerm() {
        TDbfFilter::Term term;
        term.Field = Identifier();
        if (term.Field.empty()) Fail("field name expected", FText);
        SkipBlanks();
        if (AtEnd() || FText[FPos] != '=') Fail("\"=\" expected after " + term.Field, FText);
        ++FPos;
        SkipBlanks();
        if (AtEnd()) Fail("value expected after " + term.Field + " =", FText);
        if (FText[FPos] == '\'') {
            ++FPos;
            term.IsText = true;
            for (;;) {
                if (AtEnd()) Fail("unterminated text", FText);
                char c = FText[FPos++];
                if (c == '\'') {
                    if (!AtEnd() && FText[FPos] == '\'') {
                        term.Text += '\'';
                        ++FPos;
                        continue;
                    }
                    break;
                }
                term.Text += c;
            }
        } else {
            std::size_t start = FPos;
            if (FText[FPos] == '-' || FText[FPos] == '+') ++FPos;
            while (!AtEnd() && (std::isdigit(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '.')) ++FPos;
            std::string number = FText.substr(start, FPos - start);
            auto v = TextToFloat(number);
            if (!v) Fail("number or quoted text expected after " + term.Field + " =", FText);
            term.Number = *v;
        }
        return term;
    }
};

}  // namespace

std::vector<TDbfFilter::Term> TDbfFilter::Parse(const std::string& expression) { return Parser(expression).Run(); }

TDbfFilter::TDbfFilter(const std::string& expression, const std::vector<dbfio::FieldLayout>& fields) {
    for (Term& term : Parse(expression)) {
        const dbfio::FieldLayout* found = nullptr;
        for (const auto& f : fields) {
            if (SameTextAscii(f.Name, term.Field)) {
                found = &f;
                break;
            }
        }
        if (!found) Fail("no field " + term.Field, expression);
        bool textField = found->Native == 'C';
        bool numberField = found->Native == 'N' || found->Native == 'F';
        if (term.IsText ? !textField : !numberField) Fail("type mismatch for field " + term.Field, expression);
        FTerms.push_back({term, *found, {}, 0});
    }
}

bool TDbfFilter::Matches(const char* record, std::size_t length, int codePage) const {
    // Runs once per record on every filtered open: compares field bytes
    // directly instead of decoding values.
    for (const Bound& b : FTerms) {
        const std::size_t width = static_cast<std::size_t>(b.Field.Width);
        if (static_cast<std::size_t>(b.Field.Offset) + width > length) return false;
        const char* begin = record + b.Field.Offset;
        const char* end = begin + width;
        if (b.T.IsText) {
            while (end > begin && (end[-1] == ' ' || end[-1] == '\0')) --end;
            if (end == begin) return false;  // a blank field is null
            if (b.BytesCodePage != codePage) {
                b.Bytes = FromUtf8(b.T.Text, codePage);
                b.BytesCodePage = codePage;
            }
            if (static_cast<std::size_t>(end - begin) != b.Bytes.size() ||
                std::memcmp(begin, b.Bytes.data(), b.Bytes.size()) != 0)
                return false;
        } else {
            while (begin < end && static_cast<unsigned char>(*begin) <= ' ') ++begin;
            while (end > begin && static_cast<unsigned char>(end[-1]) <= ' ') --end;
            if (begin == end || *begin == '*') return false;
            if (*begin == '+') ++begin;
            double v = 0;
            auto r = std::from_chars(begin, end, v);
            if (r.ec != std::errc() || r.ptr != end || v != b.T.Number) return false;
        }
    }
    return true;
}

}  // namespace vexa
