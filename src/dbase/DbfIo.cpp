#include "dbase/DbfIo.h"

#include "common/Text.h"
#include "dbase/DbfExceptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace vexa {

EDbfEngineError::EDbfEngineError(const std::string& what, const std::string& path)
    : EDbfException(what + "\r(" + path + ")") {}

EDbfTableInUse::EDbfTableInUse(const std::string& path)
    : EDbfEngineError("Table is in use by another user or process.", path) {}

namespace dbfio {

namespace {

struct HookFile {
    std::FILE* F;
    long long Pos = 0;  // where the stream stands; -1 when unknown
    int LastOp = 0;     // 0 none or positioned, 1 read, 2 write
};

// C streams need a positioning call between reading and writing; seeks that
// were skipped (see HookSeek) are made up for here.
void SwitchTo(HookFile* h, int op) {
    if (h->LastOp != 0 && h->LastOp != op) {
        if (h->Pos >= 0)
            std::fseek(h->F, static_cast<long>(h->Pos), SEEK_SET);
        else
            std::fseek(h->F, 0, SEEK_CUR);
    }
    h->LastOp = op;
}

thread_local std::string tOverride;
thread_local long long tFailures = 0;
thread_local std::string tLastMessage;
thread_local long long tFailAfter = -1;  // bytes still allowed; -1 disarmed

bool EndsWithCpg(const char* name) {
    std::size_t n = std::strlen(name);
    return n >= 4 && SameTextAscii(std::string(name + n - 4), ".cpg");
}

SAFile HookOpen(const char* name, const char* access) {
    if (EndsWithCpg(name)) return nullptr;  // the header byte names the code page
    const char* path = tOverride.empty() ? name : tOverride.c_str();
    std::FILE* f = std::fopen(path, access);
    if (!f) return nullptr;
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);  // records are read one by one
    return reinterpret_cast<SAFile>(new HookFile{f, 0});
}

HookFile* HookOf(SAFile file) {
    return reinterpret_cast<HookFile*>(file);
}

std::FILE* FileOf(SAFile file) {
    return file ? HookOf(file)->F : nullptr;
}

void Advance(SAFile file, SAOffset bytes) {
    HookFile* h = HookOf(file);
    if (h->Pos >= 0) h->Pos += static_cast<long long>(bytes);
}

SAOffset HookRead(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    std::FILE* f = FileOf(file);
    if (!f) return 0;
    SwitchTo(HookOf(file), 1);
    SAOffset n = std::fread(p, size, nmemb, f);
    if (n == nmemb)
        Advance(file, size * nmemb);
    else
        HookOf(file)->Pos = -1;
    return n;
}

SAOffset HookWrite(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    std::FILE* f = FileOf(file);
    if (!f) {
        ++tFailures;
        return 0;
    }
    if (tFailAfter >= 0) {
        long long bytes = static_cast<long long>(size * nmemb);
        if (bytes > tFailAfter) {
            tFailAfter = 0;
            ++tFailures;
            tLastMessage = "injected write failure";
            return 0;
        }
        tFailAfter -= bytes;
    }
    SwitchTo(HookOf(file), 2);
    SAOffset n = std::fwrite(p, size, nmemb, f);
    if (n != nmemb) {
        ++tFailures;
        HookOf(file)->Pos = -1;
    } else {
        Advance(file, size * nmemb);
    }
    return n;
}

SAOffset HookSeek(SAFile file, SAOffset offset, int whence) {
    std::FILE* f = FileOf(file);
    if (!f) return static_cast<SAOffset>(-1);
    // shapelib seeks before every record; reading on from where the stream
    // stands keeps the stdio buffer instead of refilling it.
    HookFile* h = HookOf(file);
    if (whence == SEEK_SET && h->Pos == static_cast<long long>(offset)) return 0;
    if (std::fseek(f, static_cast<long>(offset), whence) != 0) {
        h->Pos = -1;
        return static_cast<SAOffset>(-1);
    }
    h->Pos = whence == SEEK_SET ? static_cast<long long>(offset) : std::ftell(f);
    h->LastOp = 0;
    return 0;
}

SAOffset HookTell(SAFile file) {
    std::FILE* f = FileOf(file);
    return f ? static_cast<SAOffset>(std::ftell(f)) : 0;
}

int HookFlush(SAFile file) {
    std::FILE* f = FileOf(file);
    if (!f) return 0;
    int r = std::fflush(f);
    if (r != 0) ++tFailures;
    return r;
}

int HookClose(SAFile file) {
    if (!file) return 0;
    auto* h = reinterpret_cast<HookFile*>(file);
    int r = std::fclose(h->F);
    delete h;
    if (r != 0) ++tFailures;
    return r;
}

int HookRemove(const char*) {
    return 0;  // shapelib only removes .cpg companions; there are none of ours
}

void HookError(const char* message) {
    tLastMessage = message ? message : "";
}

double HookAtof(const char* text) {
    auto v = TextToFloat(Trim(text ? text : ""));
    return v ? *v : 0.0;
}

} // namespace

SAHooks Hooks() {
    SAHooks h;
    SASetupDefaultHooks(&h);
    h.FOpen = HookOpen;
    h.FRead = HookRead;
    h.FWrite = HookWrite;
    h.FSeek = HookSeek;
    h.FTell = HookTell;
    h.FFlush = HookFlush;
    h.FClose = HookClose;
    h.Remove = HookRemove;
    h.Error = HookError;
    h.Atof = HookAtof;
    return h;
}

OpenPathOverride::OpenPathOverride(const std::string& path) : FPrevious(tOverride) {
    tOverride = path;
}

OpenPathOverride::~OpenPathOverride() {
    tOverride = FPrevious;
}

long long IoFailureCount() {
    return tFailures;
}

std::string LastLibraryMessage() {
    return tLastMessage;
}

void InjectWriteFailureAfter(long long bytes) {
    tFailAfter = bytes < 0 ? -1 : bytes;
}

// --- language driver -------------------------------------------------------

namespace {

const std::map<int, int>& DriverToCodePage() {
    static const std::map<int, int> map = {
        {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
        {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},
        {0x12, 850},  {0x13, 932},  {0x14, 850},  {0x15, 437},  {0x16, 850},  {0x17, 865},
        {0x18, 437},  {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},
        {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},  {0x26, 866},
        {0x37, 850},  {0x40, 852},  {0x4D, 936},  {0x4E, 949},  {0x4F, 950},  {0x50, 874},
        {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},
        {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x78, 950},  {0x79, 949},
        {0x7A, 936},  {0x7B, 932},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0x86, 737},
        {0x87, 852},  {0x88, 857},  {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},
        {0xCC, 1257},
    };
    return map;
}

const std::map<int, int>& CodePageToDriver() {
    static const std::map<int, int> map = {
        {437, 0x01},  {850, 0x02},  {1252, 0x03}, {852, 0x64},  {866, 0x65},  {865, 0x66},
        {861, 0x67},  {737, 0x6A},  {857, 0x6B},  {863, 0x6C},  {950, 0x78},  {949, 0x79},
        {936, 0x7A},  {932, 0x7B},  {874, 0x7C},  {1255, 0x7D}, {1256, 0x7E}, {1250, 0xC8},
        {1251, 0xC9}, {1254, 0xCA}, {1253, 0xCB}, {1257, 0xCC},
    };
    return map;
}

} // namespace

int CodePageOfLanguageDriver(int ldid) {
    auto it = DriverToCodePage().find(ldid);
    return it == DriverToCodePage().end() ? 1250 : it->second;
}

std::optional<int> LanguageDriverOfCodePage(int codePage) {
    auto it = CodePageToDriver().find(codePage);
    if (it == CodePageToDriver().end()) return std::nullopt;
    return it->second;
}

// --- field values ----------------------------------------------------------

bool IsSupportedNative(char native) {
    return native == 'C' || native == 'N' || native == 'F' || native == 'L' || native == 'D';
}

namespace {

bool ValidDate(int y, int m, int d) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) return false;
    if (m == 2 && d == 29) return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return true;
}

// "YYYYMMDD" or "YYYY-MM-DD".
std::optional<TDate> ParseDate(const std::string& text) {
    std::string digits;
    if (text.size() == 8) {
        digits = text;
    } else if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        digits = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
    } else {
        return std::nullopt;
    }
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    TDate d{std::stoi(digits.substr(0, 4)), std::stoi(digits.substr(4, 2)), std::stoi(digits.substr(6, 2))};
    if (!ValidDate(d.Year, d.Month, d.Day)) return std::nullopt;
    return d;
}

std::string TrimRightBlanks(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

} // namespace

TValue DecodeField(const char* raw, const FieldLayout& field, int codePage) {
    std::string bytes(raw, static_cast<std::size_t>(field.Width));
    switch (field.Native) {
    case 'C': {
        std::string text = TrimRightBlanks(bytes);
        if (text.empty()) return std::monostate{};
        return ToUtf8(text, codePage);
    }
    case 'N':
    case 'F': {
        std::string text = Trim(bytes);
        if (text.empty() || text[0] == '*') return std::monostate{};
        auto v = TextToFloat(text);
        if (!v) return std::monostate{};
        return *v;
    }
    case 'L': {
        std::string text = Trim(bytes);
        if (text.empty()) return std::monostate{};
        switch (text[0]) {
        case 'T': case 't': case 'Y': case 'y': return true;
        case 'F': case 'f': case 'N': case 'n': return false;
        default: return std::monostate{};
        }
    }
    case 'D': {
        auto d = ParseDate(Trim(bytes));
        if (!d) return std::monostate{};
        return *d;
    }
    default:
        return std::monostate{};
    }
}

namespace {

// Adds one unit in the last place of a string of decimal digits.
void IncrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return;
        }
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
    if (!std::isfinite(value) || width < 1) return std::nullopt;
    if (decimals < 0) decimals = 0;
    // The shortest fixed-point text that reads back to the value: rounding it
    // as decimal text gives what a user expects (2.675 -> 2.68, 2.5 -> 3).
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (r.ec != std::errc()) return std::nullopt;
    std::string text(buf, r.ptr);
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.erase(0, 1);
    std::size_t dot = text.find('.');
    std::string intPart = dot == std::string::npos ? text : text.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    std::string digits = intPart + frac.substr(0, std::min<std::size_t>(frac.size(), decimals));
    if (frac.size() > static_cast<std::size_t>(decimals)) {
        if (frac[decimals] >= '5') IncrementDigits(digits);
    } else {
        digits.append(decimals - frac.size(), '0');
    }
    // digits now holds intPart (possibly one longer after a carry) followed by decimals digits
    std::string whole = digits.substr(0, digits.size() - decimals);
    std::string part = digits.substr(digits.size() - decimals);
    std::size_t nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? "0" : whole.substr(nz);
    bool zero = whole == "0" && part.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + whole + (decimals > 0 ? "." + part : "");
    if (out.size() > static_cast<std::size_t>(width)) return std::nullopt;
    return std::string(width - out.size(), ' ') + out;
}

namespace {

[[noreturn]] void Refuse(const FieldLayout& field) {
    throw EDbfException(Format("Value does not fit field %s.", field.Name.c_str()));
}

std::string DateText(const TDate& d) {
    return Format("%04d%02d%02d", d.Year, d.Month, d.Day);
}

std::string NumberText(double v, int sourceDecimals) {
    if (sourceDecimals >= 0) {
        auto t = FormatNumber(v, 64, sourceDecimals);
        if (t) return Trim(*t);
    }
    return FloatToText(v);
}

} // namespace

std::string EncodeField(const TValue& value, const FieldLayout& field, int codePage, ConvertMode mode,
                        int sourceDecimals) {
    const bool strict = mode == ConvertMode::Strict;
    if (IsNull(value)) return {};
    switch (field.Native) {
    case 'C': {
        std::string text;
        bool cuttable = true;  // only real text is cut; a cut number or date would lie
        if (auto s = std::get_if<std::string>(&value)) {
            text = FromUtf8(*s, codePage);
        } else if (auto d = std::get_if<double>(&value)) {
            text = NumberText(*d, sourceDecimals);
            cuttable = false;
        } else if (auto b = std::get_if<bool>(&value)) {
            text = *b ? "T" : "F";
        } else if (auto dt = std::get_if<TDate>(&value)) {
            text = Format("%04d-%02d-%02d", dt->Year, dt->Month, dt->Day);
            cuttable = false;
        }
        if (text.size() > static_cast<std::size_t>(field.Width)) {
            if (!cuttable) {
                if (strict) Refuse(field);
                return {};
            }
            text.resize(field.Width);
        }
        return text;
    }
    case 'N':
    case 'F': {
        std::optional<double> number;
        if (auto d = std::get_if<double>(&value)) {
            number = *d;
        } else if (auto s = std::get_if<std::string>(&value)) {
            number = TextToFloat(Trim(*s));
        }
        std::optional<std::string> text;
        if (number) text = FormatNumber(*number, field.Width, field.Decimals);
        if (!text) {
            if (strict) Refuse(field);
            return {};
        }
        return *text;
    }
    case 'L': {
        std::optional<bool> flag;
        if (auto b = std::get_if<bool>(&value)) {
            flag = *b;
        } else if (auto s = std::get_if<std::string>(&value)) {
            std::string t = UpperAscii(Trim(*s));
            if (t == "T" || t == "Y" || t == ".T." || t == "TRUE") flag = true;
            if (t == "F" || t == "N" || t == ".F." || t == "FALSE") flag = false;
        }
        if (!flag) {
            if (strict) Refuse(field);
            return {};
        }
        return *flag ? "T" : "F";
    }
    case 'D': {
        std::optional<TDate> date;
        if (auto d = std::get_if<TDate>(&value)) {
            if (ValidDate(d->Year, d->Month, d->Day) && d->Year <= 9999) date = *d;
        } else if (auto s = std::get_if<std::string>(&value)) {
            date = ParseDate(Trim(*s));
        }
        if (!date) {
            if (strict) Refuse(field);
            return {};
        }
        return DateText(*date);
    }
    default:
        if (strict) throw EDbfException("Only C, N, F, L, D fields supported.");
        return {};
    }
}

std::string CutName(const std::string& name, std::size_t max) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if ((c & 0xC0) != 0x80) {
            if (count == max) return name.substr(0, i);
            ++count;
        }
    }
    return name;
}

std::vector<FieldLayout> LayoutOf(DBFHandle h, int codePage) {
    std::vector<FieldLayout> fields;
    int n = DBFGetFieldCount(h);
    for (int i = 0; i < n; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0, decimals = 0;
        DBFGetFieldInfo(h, i, name, &width, &decimals);
        FieldLayout f;
        f.Name = ToUtf8(name, codePage);
        f.Native = DBFGetNativeFieldType(h, i);
        f.Width = h->panFieldSize[i];
        f.Decimals = (f.Native == 'N' || f.Native == 'F') ? h->panFieldDecimals[i] : 0;
        f.Offset = h->panFieldOffset[i];
        fields.push_back(f);
    }
    return fields;
}

} // namespace dbfio
} // namespace vexa
