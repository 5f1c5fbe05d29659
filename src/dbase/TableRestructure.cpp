// The structure side of the table object: field descriptors and the rewrite
// of a table to a new field list.
#include "dbase/TableSchema.h"

#include "common/AtomicFile.h"
#include "common/Text.h"
#include "dbase/DbfRewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vexa::dbfschema {

namespace fs = std::filesystem;
using dbfio::DbfFile;
using dbfio::DbfHeader;
using dbfio::FieldLayout;

// A field of the table's own kind that the GIS or the database engine keeps
// (Visual FoxPro's _NullFlags): it stays last.
bool IsSystemField(const FieldLayout& f) { return (f.Flags & 0x01) != 0 && f.Native == '0'; }

// Owns a bit of a Visual FoxPro table's _NullFlags: nullable fields and
// variable-length ones.
bool OwnsNullFlag(const FieldLayout& f) { return (f.Flags & 0x02) != 0 || f.Native == 'V' || f.Native == 'Q'; }

// The descriptor asks for the field as it is (a type that fixes its width, as
// L and D do, has one shape).
bool SameShape(const FLDDesc& d, const FLDDesc& current) {
    if (d.iFldType != current.iFldType) return false;
    const TFldTypeInfo* t = FieldTypeOfPhysical(d.iFldType);
    if (t && !t->WidthInDefinition) return true;
    return d.iUnits1 == current.iUnits1 && d.iUnits2 == current.iUnits2;
}

bool SameShape(const FLDDesc& d, const FieldLayout& s) {
    return SameShape(d, FLDDesc{0, s.Name, PhysicalOfLetter(s.Native), static_cast<std::int16_t>(s.Width),
                                static_cast<std::int16_t>(s.Decimals)});
}

// The layout of a new or converted field; only types whose values are written here.
FieldLayout TargetOfDesc(const FLDDesc& d, const std::string& name) {
    const TFldTypeInfo* type = FieldTypeOfPhysical(d.iFldType);
    if (!type || !type->Writable) RefuseFieldType(name, LetterOfPhysical(d.iFldType));
    FieldLayout t;
    t.Name = name;
    t.Native = LetterOf(type->Type);
    t.Width = type->StoredWidth ? type->StoredWidth : d.iUnits1;
    t.Decimals = type->MaxDecimals > 0 ? d.iUnits2 : 0;
    bool ok = true;
    if (type->WidthInDefinition) {
        ok = t.Width >= 1 && t.Width <= type->MaxWidth;
        if (type->MaxDecimals > 0)
            ok = ok && t.Decimals >= 0 && t.Decimals <= type->MaxDecimals &&
                 (t.Decimals == 0 || t.Decimals <= t.Width - 2);
    }
    if (!ok) throw EDbfException(Format("Invalid width or decimals for field %s.", name.c_str()));
    t.Descriptor.fill(0);
    return t;
}

std::string KeptFieldChangeMessage(const std::string& name, char letter) {
    return "Pole " + name + " typu " + std::string(1, letter) + " nemožno zmeniť na iný typ ani šírku.";
}

// The stored bytes of a field name: the source's own bytes when the name is
// the source's, else the name in the table's code page (refused when it
// cannot be written there).
std::string NameBytes(const std::string& name, const FieldLayout* source, int codePage, const std::string& path) {
    if (source && source->Name == name) return source->RawName;
    auto bytes = FromUtf8Exact(name, codePage);
    if (!bytes || bytes->size() > 10)
        throw EDbfEngineError(
            Format("Názov poľa %s nemožno zapísať v kódovej stránke %d tabuľky.", name.c_str(), codePage), path);
    return *bytes;
}

namespace {

// What the rewrite does for one field of the new table.
struct FieldPlan {
    enum Kind { Copy, Resize, Convert, Blank } How = Blank;
    int Source = -1;     // 0-based source field
    FieldLayout Target;  // Offset filled once all fields are planned
    bool Renamed = false;
};

std::vector<FieldPlan> PlanRewrite(const DbfHeader& source, int codePage, const TFldDescList& descs, const TOpType& ops,
                                   const std::string& path) {
    if (descs.size() != ops.size())
        throw EDbfException("The restructure operation list does not match the field list.");
    if (descs.empty()) throw EDbfException("A table needs at least one field.");
    const std::vector<FieldLayout>& sourceFields = source.Fields;
    std::vector<FieldPlan> plan;
    for (std::size_t i = 0; i < descs.size(); ++i) {
        const FLDDesc& d = descs[i];
        const std::int32_t op = ops[i];
        if (op != opKeep && op != opAdd && op != opModify)
            throw EDbfException(Format("Unknown restructure operation %d.", op));
        std::string name = dbfio::CutName(d.szName);
        if (Trim(name).empty()) throw EDbfException("A field name must not be empty.");
        FieldPlan p;
        if (op == opAdd) {
            p.How = FieldPlan::Blank;
            p.Target = TargetOfDesc(d, name);
            p.Target.RawName = NameBytes(name, nullptr, codePage, path);
            p.Renamed = true;
        } else {
            if (d.iFldNum < 1 || d.iFldNum > sourceFields.size())
                throw EDbfException(Format("Field number %d does not exist.", d.iFldNum));
            p.Source = d.iFldNum - 1;
            const FieldLayout& s = sourceFields[static_cast<std::size_t>(p.Source)];
            p.Renamed = name != s.Name;
            const bool sameShape = SameShape(d, s);
            const bool supported = IsWritableLetter(s.Native);
            if (!supported && op == opModify && !sameShape) {
                // Memo texts, binary numbers and the like: only a field of a
                // standard type can be changed into another definition.
                throw EDbfEngineError(KeptFieldChangeMessage(s.Name, s.Native), path);
            }
            p.Target = s;
            p.Target.Name = name;
            p.Target.RawName = NameBytes(name, &s, codePage, path);
            if (!supported || sameShape) {
                p.How = FieldPlan::Copy;
            } else {
                FieldLayout t = TargetOfDesc(d, name);
                t.RawName = p.Target.RawName;
                // A Visual FoxPro field keeps its flags (a nullable field stays nullable).
                t.Flags = s.Flags;
                t.Descriptor[18] = s.Descriptor[18];
                p.How = (s.Native == 'C' && t.Native == 'C') ? FieldPlan::Resize : FieldPlan::Convert;
                p.Target = t;
            }
        }
        // Names that were there stay even when two fields share one; a name
        // given anew must be new.
        for (const FieldPlan& other : plan)
            if ((p.Renamed || other.Renamed) && SameTextAscii(other.Target.Name, name))
                throw EDbfException(Format("Duplicate field name %s.", name.c_str()));
        plan.push_back(std::move(p));
    }

    // Visual FoxPro keeps a bit of _NullFlags per nullable or variable-length
    // field in field order: a rewrite must not reorder or drop such fields.
    if (source.HasNullFlags()) {
        std::vector<int> before, after;
        for (std::size_t i = 0; i < sourceFields.size(); ++i)
            if (OwnsNullFlag(sourceFields[i])) before.push_back(static_cast<int>(i));
        for (const FieldPlan& p : plan)
            if (p.Source >= 0 && OwnsNullFlag(p.Target)) after.push_back(p.Source);
        if (before != after)
            throw EDbfEngineError(
                "Zmena by posunula príznaky poľa _NullFlags (pole s hodnotou Null alebo "
                "premenlivej dĺžky odstránené alebo presunuté).",
                path);
    }
    int offset = 1;
    for (FieldPlan& p : plan) {
        // Visual FoxPro stores each field's offset in its descriptor; a field
        // that stays where it was keeps the bytes it had.
        const bool moved = p.Source < 0 || sourceFields[static_cast<std::size_t>(p.Source)].Offset != offset;
        if (source.IsVisualFoxPro() && moved)
            for (int b = 0; b < 4; ++b)
                p.Target.Descriptor[12 + b] = static_cast<unsigned char>((offset >> (8 * b)) & 0xFF);
        p.Target.Offset = offset;
        offset += p.Target.Width;
    }
    if (offset > 65535) throw EDbfException("The record would be longer than a dBASE table allows.");
    return plan;
}

}  // namespace

namespace {

// A character field made narrower than the longest value it holds would lose the value's
// end (a wide FoxPro field of up to 65,535 characters asked for within 254, say): refused
// before anything is written, naming the field and the longest value.
void RefuseCuttingValues(DbfFile& src, const std::vector<FieldPlan>& plan, const std::string& path) {
    const DbfHeader& source = src.Header();
    for (const FieldPlan& p : plan) {
        if (p.How != FieldPlan::Resize) continue;
        const FieldLayout& s = source.Fields[static_cast<std::size_t>(p.Source)];
        if (p.Target.Width >= s.Width) continue;
        int longest = 0;
        for (std::uint32_t r = 0; r < src.RecordCount(); ++r) {
            const char* value = src.Record(r) + s.Offset;
            int n = s.Width;
            while (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\0')) --n;
            longest = std::max(longest, n);
        }
        if (longest > p.Target.Width)
            throw EDbfEngineError(Format("Pole %s má hodnoty dlhé až %d znakov; na šírku %d ho nemožno zúžiť, "
                                         "tabuľka ostáva, ako bola.",
                                         s.Name.c_str(), longest, p.Target.Width),
                                  path);
    }
}

}  // namespace

// Rebuilds the table at path as the descriptors say, in their order.
void RewriteTable(const std::string& path, const TFldDescList& descs, const TOpType& ops) {
    dbfio::TableRewriter rewriter(path);
    DbfFile& src = rewriter.Source();
    const DbfHeader& source = src.Header();
    const int codePage = src.CodePage();
    const std::vector<FieldPlan> plan = PlanRewrite(source, codePage, descs, ops, path);

    RefuseCuttingValues(src, plan, path);

    DbfHeader target = source;
    target.Fields.clear();
    for (const FieldPlan& p : plan) target.Fields.push_back(p.Target);
    rewriter.Begin(target);

    std::size_t newLength = 1;
    for (const FieldPlan& p : plan) newLength += static_cast<std::size_t>(p.Target.Width);
    std::string record(newLength, ' ');
    const std::uint32_t records = src.RecordCount();
    for (std::uint32_t r = 0; r < records; ++r) {
        const char* old = src.Record(r);
        std::fill(record.begin(), record.end(), ' ');
        record[0] = old[0];  // the deletion flag byte as stored
        for (const FieldPlan& p : plan) {
            char* to = record.data() + p.Target.Offset;
            if (p.How == FieldPlan::Blank) continue;
            const FieldLayout& s = source.Fields[static_cast<std::size_t>(p.Source)];
            const char* from = old + s.Offset;
            switch (p.How) {
            case FieldPlan::Copy: std::memcpy(to, from, static_cast<std::size_t>(s.Width)); break;
            case FieldPlan::Resize:
                // Text keeps its bytes; a narrower field cuts them.
                std::memcpy(to, from, static_cast<std::size_t>(std::min(s.Width, p.Target.Width)));
                break;
            case FieldPlan::Convert: {
                TValue v = dbfio::DecodeField(from, s, codePage);
                const int sourceDecimals = HasDecimals(s.Native) ? s.Decimals : -1;
                std::string text;
                try {
                    text = dbfio::EncodeField(v, p.Target, codePage, dbfio::ConvertMode::Lenient, sourceDecimals);
                } catch (const EDbfException& e) {
                    throw EDbfEngineError(Format("%s (záznam %u)", e.what(), r + 1), path);
                }
                // A field of fixed width, blank-padded: no terminator belongs there.
                std::memcpy(to, text.data(),  // NOLINT(bugprone-not-null-terminated-result)
                            std::min(text.size(), static_cast<std::size_t>(p.Target.Width)));
                break;
            }
            default: break;
            }
        }
        rewriter.Put(record);
    }
    rewriter.Commit();
}

// A new, empty table file holding these fields (dBASE III, the given language driver).
void WriteEmptyTable(const std::string& filePath, const std::vector<FieldLayout>& fields, int ldid) {
    DbfHeader h;
    h.Prefix.assign(32, '\0');
    h.Prefix[0] = 0x03;
    h.Prefix[29] = static_cast<char>(ldid);
    dbfio::StampDate(h.Prefix);
    h.Fields = fields;
    std::string bytes = dbfio::BuildHeader(h) + '\x1A';

    const std::string temp = TempPathBeside(filePath).string();
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw EDbfEngineError(std::string("Cannot create the table file: ") + std::strerror(errno) + ".", filePath);
    const bool written = dbfio::WriteAt(fd, bytes.data(), bytes.size(), 0);
    ::close(fd);
    if (!written) {
        std::error_code ec;
        fs::remove(temp, ec);
        const std::string full = dbfio::FullDiskMessage("Tabuľka sa nedá zapísať");
        if (!full.empty()) throw EDbfEngineError(full, filePath);
        const std::string detail = dbfio::LastLibraryMessage();
        throw EDbfEngineError("Cannot write the table file" + (detail.empty() ? std::string(".") : ": " + detail + "."),
                              filePath);
    }
    try {
        CommitReplacement(temp, filePath);
    } catch (const fs::filesystem_error& e) {
        throw EDbfEngineError(std::string("Cannot replace the table file: ") + e.code().message() + ".", filePath);
    }
}

}  // namespace vexa::dbfschema
