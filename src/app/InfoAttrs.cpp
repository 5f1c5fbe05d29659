// vexa-info's --attrs option: the attribute values of one element as the
// block store reads them from the element kind's dBASE table.
#include "InfoBlockJson.h"
#include "InfoCommands.h"
#include "Json.h"

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
    if (parts.size() != 3) throw Exception("--attrs expects G:KIND:N, not '" + arg + "'");
    const TBlkElementGroup group = ParseGroupLetter(parts[0]);
    const std::int32_t kind = ParseInt32(parts[1], "kind");
    if (kind < INT16_MIN || kind > INT16_MAX) throw Exception("kind is not a 16-bit integer: '" + parts[1] + "'");
    const std::int32_t number = ParseInt32(parts[2], "element number");
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    TFldValList values;
    blk.ReadAttributes(group, static_cast<std::int16_t>(kind), number, values);
    json::Array result;
    for (const TFldVal& v : values) result.Raw(json::Array().Str(v.Name).Raw(ValueJson(v.Value)).Text());
    out << result.Text() << '\n';
    return 0;
}

TInfoCommandRegistrar attrs({"--attrs", "G:KIND:N",
                             "attribute values of element N of group G (L, B, P) and kind KIND as "
                             "[[name, value], ...] in column order",
                             true, Attrs});

}  // namespace

}  // namespace vexa
