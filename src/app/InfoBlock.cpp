// vexa-info's block options: the summary, --dump, --find and --crds. The block is opened
// read-only (vexa-info --create: as a check run opens it).
#include "InfoBlockJson.h"
#include "InfoCommands.h"
#include "common/Json.h"

#include "block/BlkGroups.h"

namespace vexa {

namespace {

int Summary(const std::string& target, const std::string&, std::ostream& out) {
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    const bool clean = blk.IsClean();
    out << json::Object()
               .Str("Path", blk.Path())
               .Flag("IsClean", clean)
               .Int("LineCount", blk.LineCount())
               .Int("PointCount", blk.PointCount())
               .Int("TextCount", blk.TextCount())
               .Int("AreaCount", blk.AreaCount())
               .Text()
        << '\n';
    return 0;
}

// Every record after the header, in file order; a damaged record ends the dump with its error.
int Dump(const std::string& target, const std::string& arg, std::ostream& out) {
    const TBlkElementGroup group = ParseGroupLetter(arg);
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    auto print = [&](const auto& rec) { out << JsonOf(rec) << '\n'; };
    switch (group) {
    case egLine: ForEachRecord<TBlkLine>(blk, print); break;
    case egPoint: ForEachRecord<TBlkPoint>(blk, print); break;
    case egText: ForEachRecord<TBlkText>(blk, print); break;
    case egArea: ForEachRecord<TBlkArea>(blk, print); break;
    }
    return 0;
}

int Find(const std::string& target, const std::string& arg, std::ostream& out) {
    const auto parts = SplitArgument(arg);
    if (parts.size() != 2) throw Exception("--find čaká G:N, nie '" + arg + "'");
    const TBlkElementGroup group = ParseGroupLetter(parts[0]);
    const std::int32_t number = ParseInt32(parts[1], "číslo prvku");
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    switch (group) {
    case egLine: {
        TBlkLine r;
        blk.FindLine(number, r);
        out << LineJson(r) << '\n';
        break;
    }
    case egPoint: {
        TBlkPoint r;
        blk.FindPoint(number, r);
        out << PointJson(r) << '\n';
        break;
    }
    case egText: {
        TBlkText r;
        blk.FindText(number, r);
        out << TextJson(r) << '\n';
        break;
    }
    case egArea: {
        TBlkArea r;
        blk.FindArea(number, r);
        out << AreaJson(r) << '\n';
        break;
    }
    }
    return 0;
}

int Crds(const std::string& target, const std::string& arg, std::ostream& out) {
    const auto parts = SplitArgument(arg);
    if (parts.size() != 2) throw Exception("--crds čaká PRVÝ:POSLEDNÝ, nie '" + arg + "'");
    const std::int32_t first = ParseInt32(parts[0], "index vrcholu");
    const std::int32_t last = ParseInt32(parts[1], "index vrcholu");
    TBlk blk(false);
    OpenInfoBlock(blk, target);
    TCrds crds;
    blk.ReadCrds(first, last, crds);
    out << CrdsJson(crds) << '\n';
    return 0;
}

TInfoCommandRegistrar summary({"", "", "cesta (Path), vyčistenosť (IsClean) a štyri počty prvkov bloku", true, Summary});
TInfoCommandRegistrar dump({"--dump", "G", "každý záznam skupiny G (L, B, T, P) od záznamu 1, jeden objekt na riadok",
                            true, Dump});
TInfoCommandRegistrar find({"--find", "G:N", "prvok skupiny G prečítaný podľa čísla N", true, Find});
TInfoCommandRegistrar crds({"--crds", "PRVÝ:POSLEDNÝ", "vrcholy PRVÝ..POSLEDNÝ ako [[x,y],...]", true, Crds});

}  // namespace

}  // namespace vexa
