// vexa-info's --attrs option: the attribute values of one element as the
// block store reads them from the element kind's dBASE table.
#include "InfoBlockJson.h"
#include "InfoCommands.h"
#include "common/Json.h"

#include "common/Text.h"

namespace vexa {

namespace {

std::string ValueJson(const TValue& value) {
    if (auto s = std::get_if<std::string>(&value)) return json::Quote(*s);
    if (auto d = std::get_if<double>(&value)) return json::Number(*d);
    if (auto b = std::get_if<bool>(&value)) return json::Bool(*b);
    if (auto dt = std::get_if<TDate>(&value))
        return json::Quote(Format("%04d-%02d-%02d", dt->Year, dt->Month, dt->Day));
    return "null";
}

// [[name, value], ...] in column order; [] when the element has no row.
int Attrs(const std::string& target, const std::string& arg, std::ostream& out) {
    const auto parts = SplitArgument(arg);
    if (parts.size() != 3) throw Exception("--attrs čaká G:DRUH:N, nie '" + arg + "'");
    const TBlkElementGroup group = ParseGroupLetter(parts[0]);
    const std::int32_t kind = ParseInt32(parts[1], "druh");
    if (kind < INT16_MIN || kind > INT16_MAX) throw Exception("druh nie je 16-bitové celé číslo: '" + parts[1] + "'");
    const std::int32_t number = ParseInt32(parts[2], "číslo prvku");
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    TFldValList values;
    blk.ReadAttributes(group, static_cast<std::int16_t>(kind), number, values);
    json::Array result;
    for (const TFldVal& v : values) result.Raw(json::Array().Str(v.Name).Raw(ValueJson(v.Value)).Text());
    out << result.Text() << '\n';
    return 0;
}

TInfoCommandRegistrar attrs({"--attrs", "G:DRUH:N",
                             "hodnoty atribútov prvku číslo N skupiny G (L, B, P) druhu DRUH ako "
                             "[[meno, hodnota], ...] v poradí stĺpcov",
                             true, Attrs});

}  // namespace

}  // namespace vexa
