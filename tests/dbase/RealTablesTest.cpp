// Tables written by other software (tests/data/dbf-real, see its README):
// every value read as an independent reader (expect.py) reads it, and every
// rewrite a repair makes keeps the untouched columns, the header bytes and the
// memo file as they were.
#include "DbfTestUtil.h"
#include "common/Text.h"
#include "dbase/DbfFile.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <sstream>

namespace vexa {
namespace {

using namespace dbftest;
using dbfio::DbfFile;
using testkit::TempDir;
using enum TFldType;

struct RealTable {
    const char* File;
    const char* Memo;  // nullptr: none
};

const RealTable kTables[] = {
    {"gd_TEST.DBF", "gd_TEST.FPT"},
    {"infused_dbase_03.dbf", nullptr},
    {"infused_dbase_03_cyrillic.dbf", nullptr},
    {"infused_dbase_83.dbf", "infused_dbase_83.dbt"},
    {"infused_foxprodb_types.dbf", nullptr},
    {"infused_mazovia.dbf", nullptr},
    {"infused_polygon.dbf", nullptr},
    {"yf_FolderRoot.dbf", nullptr},
    {"yf_MS__KHDM.DBF", nullptr},
    {"yf_dbase_30.dbf", "yf_dbase_30.fpt"},
};

fs::path DataDir() { return fs::path(VEXA_TEST_DATA) / "dbf-real"; }

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

// A value as expect.py writes it.
std::string Cell(const TValue& v) {
    if (IsNull(v)) return "\\N";
    if (auto s = std::get_if<std::string>(&v)) return Escape(*s);
    if (auto b = std::get_if<bool>(&v)) return *b ? "T" : "F";
    if (auto d = std::get_if<TDate>(&v)) return Format("%04d-%02d-%02d", d->Year, d->Month, d->Day);
    // Python's repr: fixed notation from 1e-4 up to 1e16, else scientific.
    const double x = std::get<double>(v);
    const bool fixed = x == 0 || (std::abs(x) >= 1e-4 && std::abs(x) < 1e16);
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, x, fixed ? std::chars_format::fixed : std::chars_format::scientific);
    std::string t(buf, r.ptr);
    if (t.find_first_of(".en") == std::string::npos) t += ".0";
    return t;
}

std::vector<std::vector<std::string>> Split(const std::vector<std::string>& lines) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines) {
        std::vector<std::string> cells;
        std::stringstream in(line);
        std::string c;
        while (std::getline(in, c, '\t')) cells.push_back(c);
        if (!line.empty() && line.back() == '\t') cells.push_back("");
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::vector<std::string>> Expected(const std::string& file) {
    std::ifstream in(DataDir() / (file + ".expected.tsv"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return Split(lines);
}

std::vector<std::vector<std::string>> ReadCells(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    auto t = Opened(path);
    for (t->First(); !t->Eof(); t->Next()) {
        TFldValList values;
        t->GetValues(values);
        auto& row = rows.emplace_back();
        for (const TFldVal& v : values) row.push_back(Cell(v.Value));
    }
    return rows;
}

// A copy of a real table (and its memo file) in a fresh directory.
struct Copied {
    TempDir Dir;
    std::string Path, MemoPath;
    explicit Copied(const RealTable& t) {
        Path = Dir / t.File;
        fs::copy_file(DataDir() / t.File, Path);
        fs::permissions(Path, fs::perms::owner_read | fs::perms::owner_write);
        if (t.Memo) {
            MemoPath = Dir / t.Memo;
            fs::copy_file(DataDir() / t.Memo, MemoPath);
            fs::permissions(MemoPath, fs::perms::owner_read | fs::perms::owner_write);
        }
    }
};

TEST(RealTables, EveryValueReadsAsAnIndependentReaderReadsIt) {
    for (const RealTable& t : kTables) {
        SCOPED_TRACE(t.File);
        Copied c(t);
        const auto expected = Expected(t.File);
        const auto read = ReadCells(c.Path);
        ASSERT_EQ(read.size(), expected.size());
        for (std::size_t r = 0; r < read.size(); ++r) {
            ASSERT_EQ(read[r].size(), expected[r].size()) << "record " << r + 1;
            for (std::size_t i = 0; i < read[r].size(); ++i)
                EXPECT_EQ(read[r][i], expected[r][i]) << "record " << r + 1 << " field " << i + 1;
        }
    }
}

TEST(RealTables, RowValuesWithoutNamesReadAsTheNamedOnes) {
    for (const RealTable& t : kTables) {
        SCOPED_TRACE(t.File);
        Copied c(t);
        const auto expected = Expected(t.File);
        auto table = Opened(c.Path);
        std::size_t r = 0;
        std::vector<TValue> values{std::string("stale")};
        for (table->First(); !table->Eof(); table->Next(), ++r) {
            table->GetRowValues(values);
            ASSERT_LT(r, expected.size());
            ASSERT_EQ(values.size(), expected[r].size()) << "record " << r + 1;
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_EQ(Cell(values[i]), expected[r][i]) << "record " << r + 1 << " field " << i + 1;
        }
        EXPECT_EQ(r, expected.size());
        table->Close();
        table->GetRowValues(values);
        EXPECT_TRUE(values.empty());  // no row when closed
    }
}

TEST(RealTables, LayoutsOfTheVariants) {
    struct Case {
        const char* File;
        int Field;
        const char* Name;
        char Native;
        int Width;
    } cases[] = {
        {"yf_FolderRoot.dbf", 0, "NAME", 'C', 1040},  // high byte of the width in the decimals byte
        {"yf_FolderRoot.dbf", 4, "DB_RT_PATH", 'C', 600},
        {"yf_FolderRoot.dbf", 8, "FOLD_RT_ID", 'B', 8},
        {"gd_TEST.DBF", 16, "_NullFlags", '0', 1},
        {"infused_dbase_03.dbf", 30, "Point_ID", 'N', 9},  // the second field of that name
        {"yf_dbase_30.dbf", 2, "APPNOTES", 'M', 4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.File) + " " + k.Name);
        DbfFile f((DataDir() / k.File).string(), false);
        ASSERT_GT(f.Header().Fields.size(), static_cast<std::size_t>(k.Field));
        const auto& field = f.Header().Fields[static_cast<std::size_t>(k.Field)];
        EXPECT_EQ(field.Name, k.Name);
        EXPECT_EQ(field.Native, k.Native);
        EXPECT_EQ(field.Width, k.Width);
    }
}

// A wide FoxPro character field (NAME is C 1040) is never narrowed below its longest value:
// asked for as C 254 (the widest definition Vexa writes) or narrower than a value, the
// change is refused naming the field and the table stays byte for byte; narrowing to a
// width that still holds every value keeps the values.
TEST(RealTables, AWideFieldIsNeverNarrowedBelowItsLongestValue) {
    TempDir dir;
    std::string bytes = ReadFileText(DataDir() / "yf_FolderRoot.dbf");
    const std::size_t headerLength = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const std::string longName(280, 'N');
    bytes.replace(headerLength + 1, longName.size(), longName);  // record 1, NAME
    const std::string path = dir / "wide.dbf";
    WriteFileText(path, bytes);
    {
        TTableDBF t;
        t.SetTableName(path);
        // The same definition keeps the field as it is.
        t.ModifyField(0, "NAME", dbfChar, 1040, 0);
        EXPECT_EQ(ReadFileText(path), bytes);
        const std::string message = MessageOf<EDbfEngineError>([&] { t.ModifyField(0, "NAME", dbfChar, 254, 0); });
        EXPECT_NE(message.find("Pole NAME má hodnoty dlhé až 280 znakov"), std::string::npos) << message;
        EXPECT_EQ(ReadFileText(path), bytes);
        // PNP_ID (C 255) holds 110 characters: 50 would cut them.
        EXPECT_THROW(t.ModifyField(7, "PNP_ID", dbfChar, 50, 0), EDbfEngineError);
        EXPECT_EQ(ReadFileText(path), bytes);
        // 120 holds every value of PNP_ID.
        t.ModifyField(7, "PNP_ID", dbfChar, 120, 0);
    }
    DbfFile now(path, false);
    ASSERT_EQ(now.Header().Fields[7].Name, "PNP_ID");
    EXPECT_EQ(now.Header().Fields[7].Width, 120);
    EXPECT_EQ(now.Header().Fields[0].Width, 1040);
    DbfFile before((DataDir() / "yf_FolderRoot.dbf").string(), false);
    const auto& o = before.Header().Fields[7];
    const auto& n = now.Header().Fields[7];
    for (std::uint32_t r = 0; r < before.RecordCount(); ++r) {
        std::string was(before.Record(r) + o.Offset, static_cast<std::size_t>(o.Width));
        std::string is(now.Record(r) + n.Offset, static_cast<std::size_t>(n.Width));
        EXPECT_EQ(Trim(was), Trim(is)) << "record " << r + 1;
    }
}

TEST(RealTables, AHeaderThatDisagreesWithItsRecordLengthIsRefused) {
    TempDir dir;
    std::string bytes = ReadFileText(DataDir() / "yf_FolderRoot.dbf");
    bytes[32 + 17] = 5;  // NAME: 16 + 5 * 256 fits neither reading
    const std::string path = dir / "bad.dbf";
    WriteFileText(path, bytes);
    EXPECT_EQ(MessageOf<EDbfEngineError>([&] { Opened(path); }),
              "Polia tabuľky dBASE nesúhlasia s dĺžkou záznamu (998 bajtov polí, záznam 3558 bajtov).\r(" + path + ")");
    TTableDBF t;
    t.SetTableName(path);
    EXPECT_THROW(t.AddField(Def("X", dbfChar, 2)), EDbfEngineError);
    EXPECT_EQ(ReadFileText(path), bytes);
}

// --- rewrites ----------------------------------------------------------------------

bool OwnsNullFlag(const dbfio::FieldLayout& f) { return (f.Flags & 0x02) || f.Native == 'V' || f.Native == 'Q'; }

// Index of the first field that can be dropped or moved without disturbing
// _NullFlags, of the given type when one is given; -1 when there is none.
int Pick(const dbfio::DbfHeader& h, char native = 0) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const auto& f = h.Fields[i];
        if (OwnsNullFlag(f) || f.Native == '0') continue;
        if (native && f.Native != native) continue;
        return static_cast<int>(i);
    }
    return -1;
}

struct Rewrite {
    const char* Name;
    // Applies the rewrite; returns for each new field the old field it keeps
    // (-1 for a new field), or nothing when the table offers no such rewrite.
    std::function<std::optional<std::vector<int>>(TTableDBF&, const dbfio::DbfHeader&)> Apply;
};

std::vector<int> Identity(std::size_t n) {
    std::vector<int> m(n);
    for (std::size_t i = 0; i < n; ++i) m[i] = static_cast<int>(i);
    return m;
}

// Every field given the definition it has, whatever its type (no change), and a
// field added, in one rewrite.
std::optional<std::vector<int>> OwnDefinitionsAndOneAdded(TTableDBF& t, const dbfio::DbfHeader& h) {
    TFieldEdits edits(t);
    for (std::size_t k = 0; k < h.Fields.size(); ++k) {
        const auto& f = h.Fields[k];
        if (f.Native == '0') continue;  // _NullFlags: the table's own, no definition names it
        edits.ModifyField(static_cast<int>(k), f.Name, TTableDBF::TypeFromChar(f.Native), f.Width, f.Decimals);
    }
    EXPECT_FALSE(edits.Changed());
    edits.AddField(Def("VEXA_NEW", dbfChar, 5));
    edits.Apply();
    std::vector<int> m = Identity(h.Fields.size());
    std::size_t at = m.size();
    while (at > 0 && h.Fields[at - 1].Native == '0') --at;
    m.insert(m.begin() + static_cast<std::ptrdiff_t>(at), -1);
    return m;
}

const Rewrite kRewrites[] = {
    {"keep all",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         TFldDescList descs;
         t.GetFieldDescs(descs);
         if (descs.empty()) return std::nullopt;
         t.Restructure(descs, TOpType(descs.size(), opKeep));
         return Identity(h.Fields.size());
     }},
    {"add",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         t.AddField(Def("VEXA_NEW", dbfChar, 5));
         std::vector<int> m = Identity(h.Fields.size());
         std::size_t at = m.size();
         while (at > 0 && h.Fields[at - 1].Native == '0') --at;
         m.insert(m.begin() + static_cast<std::ptrdiff_t>(at), -1);
         return m;
     }},
    {"move",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         const int from = Pick(h);
         int to = static_cast<int>(h.Fields.size()) - 1;
         while (to > 0 && (h.Fields[static_cast<std::size_t>(to)].Native == '0')) --to;
         if (from < 0 || to <= from) return std::nullopt;
         t.MoveField(from, to);
         std::vector<int> m = Identity(h.Fields.size());
         m.erase(m.begin() + from);
         m.insert(m.begin() + to, from);
         return m;
     }},
    {"delete",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         const int k = Pick(h);
         if (k < 0 || h.Fields.size() < 2) return std::nullopt;
         t.DeleteField(k);
         std::vector<int> m = Identity(h.Fields.size());
         m.erase(m.begin() + k);
         return m;
     }},
    {"modify to the same definition",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         const int k = Pick(h, 'C') >= 0 ? Pick(h, 'C') : Pick(h, 'N');
         if (k < 0) return std::nullopt;
         const auto& f = h.Fields[static_cast<std::size_t>(k)];
         t.ModifyField(k, f.Name, TTableDBF::TypeFromChar(f.Native), f.Width, f.Decimals);
         return Identity(h.Fields.size());
     }},
    {"own definitions of every type and one field added", OwnDefinitionsAndOneAdded},
    {"modify a character field wider",
     [](TTableDBF& t, const dbfio::DbfHeader& h) -> std::optional<std::vector<int>> {
         const int k = Pick(h, 'C');
         if (k < 0 || h.Fields[static_cast<std::size_t>(k)].Width > 250) return std::nullopt;
         const auto& f = h.Fields[static_cast<std::size_t>(k)];
         t.ModifyField(k, f.Name, dbfChar, f.Width + 3, 0);
         std::vector<int> m = Identity(h.Fields.size());
         m[static_cast<std::size_t>(k)] = -2 - k;  // resized: old bytes then blanks
         return m;
     }},
};

TEST(RealTables, RewritesKeepEveryUntouchedColumnByteForByte) {
    int rewrites = 0;
    for (const RealTable& table : kTables) {
        for (const Rewrite& rw : kRewrites) {
            SCOPED_TRACE(std::string(table.File) + ": " + rw.Name);
            Copied c(table);
            const std::string before = ReadFileText(c.Path);
            const std::string memoBefore = c.MemoPath.empty() ? "" : ReadFileText(c.MemoPath);
            DbfFile old(c.Path, false);
            const dbfio::DbfHeader h = old.Header();
            TTableDBF t;
            t.SetTableName(c.Path);
            const auto map = rw.Apply(t, h);
            EXPECT_FALSE(t.Active());  // a table that was closed stays closed
            if (!map) continue;
            ++rewrites;

            DbfFile now(c.Path, false);
            const dbfio::DbfHeader& n = now.Header();
            ASSERT_EQ(n.Fields.size(), map->size());
            EXPECT_EQ(n.Version(), h.Version());
            EXPECT_EQ(n.LanguageDriver(), h.LanguageDriver());
            EXPECT_EQ(n.Prefix.substr(12, 17), h.Prefix.substr(12, 17));  // table flags and reserved bytes
            EXPECT_EQ(n.Tail, h.Tail);                                    // the Visual FoxPro backlink
            ASSERT_EQ(now.RecordCount(), old.RecordCount());
            for (std::size_t i = 0; i < map->size(); ++i) {
                const int from = (*map)[i];
                if (from == -1) continue;
                const auto& o = h.Fields[static_cast<std::size_t>(from >= 0 ? from : -2 - from)];
                const auto& f = n.Fields[i];
                EXPECT_EQ(f.RawName, o.RawName) << i;
                if (from < 0) continue;
                // Every descriptor byte but the offset, which Visual FoxPro stores.
                for (int b = 0; b < 32; ++b) {
                    if (!(h.IsVisualFoxPro() && b >= 12 && b < 16)) {
                        EXPECT_EQ(f.Descriptor[b], o.Descriptor[b]) << "field " << i << " byte " << b;
                    }
                }
            }
            for (std::uint32_t r = 0; r < old.RecordCount(); ++r) {
                const std::string a(old.Record(r), h.RecordLength), b(now.Record(r), n.RecordLength);
                ASSERT_EQ(a[0], b[0]) << "deletion flag of record " << r + 1;
                for (std::size_t i = 0; i < map->size(); ++i) {
                    const int from = (*map)[i];
                    if (from == -1) continue;
                    const auto& o = h.Fields[static_cast<std::size_t>(from >= 0 ? from : -2 - from)];
                    const auto& f = n.Fields[i];
                    const std::string was =
                        a.substr(static_cast<std::size_t>(o.Offset), static_cast<std::size_t>(o.Width));
                    const std::string is =
                        b.substr(static_cast<std::size_t>(f.Offset), static_cast<std::size_t>(f.Width));
                    if (from >= 0) {
                        ASSERT_EQ(is, was) << "record " << r + 1 << " field " << i;
                    } else {
                        ASSERT_EQ(is, was + std::string(static_cast<std::size_t>(f.Width - o.Width), ' '));
                    }
                }
            }
            if (!c.MemoPath.empty()) {
                EXPECT_EQ(ReadFileText(c.MemoPath), memoBefore);
            }

            // Still read by the same rules: each kept column gives the expected values.
            const auto expected = Expected(table.File);
            const auto read = ReadCells(c.Path);
            ASSERT_EQ(read.size(), expected.size());
            for (std::size_t r = 0; r < read.size(); ++r)
                for (std::size_t i = 0; i < map->size(); ++i) {
                    const int from = (*map)[i];
                    if (from == -1) {
                        EXPECT_EQ(read[r][i], "\\N");
                        continue;
                    }
                    EXPECT_EQ(read[r][i], expected[r][static_cast<std::size_t>(from >= 0 ? from : -2 - from)])
                        << "record " << r + 1 << " field " << i;
                }
            if (rw.Name == std::string("modify to the same definition") || rw.Name == std::string("keep all")) {
                EXPECT_EQ(ReadFileText(c.Path).substr(4), before.substr(4));  // all but the date
            }
        }
    }
    EXPECT_GE(rewrites, 60);
}

TEST(RealTables, RepairsOfTablesOthersWriteAsTheyAre) {
    {  // a table with no fields takes its first one
        Copied c(kTables[6]);
        TTableDBF t;
        t.SetTableName(c.Path);
        t.AddField(Def("CISLO", dbfNumeric, 10));
        EXPECT_EQ(FieldNames(c.Path), std::vector<std::string>{"CISLO"});
        EXPECT_EQ(Opened(c.Path)->RecordCount(), 1);
    }
    {  // two fields of one name: each addressed by its position
        Copied c(kTables[1]);
        auto t = Opened(c.Path);
        EXPECT_EQ(t->FieldIndex("Point_ID"), 0);
        t->ModifyField(0, "Point_ID", dbfChar, 14, 0);
        t->MoveField(30, 1);
        t->AddField(Def("Novy", dbfChar, 3));
        const auto names = FieldNames(c.Path);
        EXPECT_EQ(names[0], "Point_ID");
        EXPECT_EQ(names[1], "Point_ID");
        EXPECT_EQ(names.back(), "Novy");
        EXPECT_THROW(t->AddField(Def("Type", dbfChar, 3)), EDbfException);  // a new name must be new
    }
    {  // a field of another type is never converted
        Copied c(kTables[9]);
        auto t = Opened(c.Path);
        EXPECT_THROW(t->ModifyField(1, "ACQVALUE", dbfNumeric, 12, 2), EDbfEngineError);  // B
        EXPECT_THROW(t->ModifyField(2, "APPNOTES", dbfChar, 20, 0), EDbfEngineError);     // M
    }
    {  // _NullFlags bits follow their fields: a nullable field stays where it is
        Copied c(kTables[0]);
        auto t = Opened(c.Path);
        const std::string before = ReadFileText(c.Path);
        EXPECT_THROW(t->DeleteField(14), EDbfEngineError);   // VAR_NIL
        EXPECT_THROW(t->MoveField(15, 0), EDbfEngineError);  // VAR
        EXPECT_EQ(ReadFileText(c.Path), before);
    }
    {  // text the code page cannot hold is refused, naming field and record
        Copied c(kTables[8]);
        auto t = Opened(c.Path);
        t->ModifyField(0, "KHD_CODE", dbfNumeric, 8, 0);  // text that is no number becomes null
        TTableDBF created;
        const std::string path = c.Dir / "nove.dbf";
        TTableDBF::CreateTable(path, {Def("NAZOV", dbfChar, 10)}, 1250);
        auto n = Opened(path);
        EXPECT_EQ(MessageOf<EDbfException>([&] { n->AppendRecord({std::string("Привет")}); }),
                  "Text for field NAZOV has characters that code page 1250 cannot hold: \"Привет\".");
        EXPECT_EQ(n->RecordCount(), 0);
    }
}

TEST(RealTables, AReadOnlyTableIsNeverReplaced) {
    Copied c(kTables[2]);
    const std::string before = ReadFileText(c.Path);
    fs::permissions(c.Path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TTableDBF t;
    t.SetTableName(c.Path);
    EXPECT_EQ(MessageOf<EDbfEngineError>([&] { t.AddField(Def("X", dbfChar, 2)); }),
              "Tabuľka je len na čítanie; Vexa ju nezmenila.\r(" + c.Path + ")");
    EXPECT_EQ(ReadFileText(c.Path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(c.Dir.Path()), {}), 1);
}

}  // namespace
}  // namespace vexa
