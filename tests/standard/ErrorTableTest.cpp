#include "StandardTestSupport.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

std::vector<std::vector<TValue>> ReadAll(const std::string& path) {
    TTableDBF table;
    table.SetTableName(path);
    table.Open();
    std::vector<std::vector<TValue>> rows;
    for (table.First(); !table.Eof(); table.Next()) {
        std::vector<TValue> row;
        for (const char* name : {"Id", "Blok", "Vrstva", "Prvok", "Druh", "Cislo", "Chyba"})
            row.push_back(table.FieldValue(name));
        rows.push_back(row);
    }
    return rows;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

} // namespace

TEST(ErrorTable, TemplateBesideTheProgramsHasTheSevenColumns) {
    TTableDBF table;
    table.SetTableName(stdtest::BinFile("Chyby.dbf"));
    TFldDefList fields;
    table.GetFields(fields);
    EXPECT_EQ(fields, TErrorTable::TemplateFields());
    ASSERT_EQ(fields.size(), 7u);
    const std::vector<std::string> names{"Id", "Blok", "Vrstva", "Prvok", "Druh", "Cislo", "Chyba"};
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_TRUE(SameTextAscii(fields[i].Name, names[i])) << i;
    EXPECT_EQ(fields[0], (TFldDef{"Id", TFldType::dbfNumeric, 4, 0}));
    EXPECT_EQ(fields[2], (TFldDef{"Vrstva", TFldType::dbfChar, 2, 0}));
    EXPECT_EQ(fields[3], (TFldDef{"Prvok", TFldType::dbfChar, 1, 0}));
    EXPECT_EQ(fields[5], (TFldDef{"Cislo", TFldType::dbfNumeric, 11, 0}));
    table.Open();
    EXPECT_EQ(table.CodePage(), 1250);
    EXPECT_EQ(table.VisibleCount(), 0);
}

TEST(ErrorTable, RecordsReadBackExactlyWithBlanksForNull) {
    testkit::TempDir dir;
    const std::string path = dir / "Chyby.dbf";
    TErrorTable::CreateTemplate(path);
    TErrorTable table(path);
    EXPECT_FALSE(table.Active());
    EXPECT_THROW(table.Append({-11, "LE_1.blk", std::string("LE"), "L", 1, 1, "x"}), Exception);
    {
        TErrorTableGuard guard(table);
        EXPECT_TRUE(table.Active());
        table.Append({-11, "LE_12345.blk", std::string("LE"), "L", std::int32_t{-32768}, std::int32_t{-2147483647},
                      "nadbytočná línia v ploche"});
        table.Append({-93, "PO_ľúbovoľný.blk", std::nullopt, "P", std::nullopt, std::nullopt, "DB p0010.dbf neexistuje"});
        table.Append({-91, "LE_1.blk", std::nullopt, "L", std::nullopt, 2147483647, "zle vyplnený DB záznam"});
        table.Append({-14, Repeat("ž", 300), std::string("LE"), "L", 12, 7, "duplikátne línie: " + Repeat("č", 300)});
    }
    EXPECT_FALSE(table.Active());
    const auto rows = ReadAll(path);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<TValue>{-11.0, std::string("LE_12345.blk"), std::string("LE"), std::string("L"),
                                            -32768.0, -2147483647.0, std::string("nadbytočná línia v ploche")}));
    EXPECT_EQ(rows[1], (std::vector<TValue>{-93.0, std::string("PO_ľúbovoľný.blk"), std::monostate{}, std::string("P"),
                                            std::monostate{}, std::monostate{}, std::string("DB p0010.dbf neexistuje")}));
    EXPECT_EQ(rows[2][5], TValue(2147483647.0));
    EXPECT_TRUE(IsNull(rows[2][4]));
    // Long texts are cut to the column on a character boundary.
    EXPECT_EQ(rows[3][1], TValue(Repeat("ž", 254)));
    EXPECT_EQ(rows[3][6], TValue("duplikátne línie: " + Repeat("č", 254 - 18)));

    // On disk the texts are in code page 1250.
    const auto bytes = testkit::ReadFileBytes(path);
    const std::string raw(bytes.begin(), bytes.end());
    EXPECT_NE(raw.find(FromUtf8("nadbytočná línia v ploche", 1250)), std::string::npos);
    EXPECT_EQ(raw.find("nadbyto\xC4\x8Dn"), std::string::npos);
}

TEST(ErrorTable, CutUtf8KeepsWholeCharacters) {
    EXPECT_EQ(CutUtf8("čšňa", 2), "čš");
    EXPECT_EQ(CutUtf8("abc", 5), "abc");
    EXPECT_EQ(CutUtf8("abc", 0), "");
}

TEST(ErrorTable, ResetGivesAFreshEmptyTable) {
    testkit::TempDir dir;
    const std::string templatePath = dir / "Chyby.dbf";
    TErrorTable::CreateTemplate(templatePath);
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath);
    const std::string first = s.ErrorTablePath();
    s.ErrorTable().Open();
    s.ErrorTable().Append({-31, "LE_1.blk", std::string("LE"), "B", 5, 3, "neprípustný druh vo vrstve"});
    EXPECT_EQ(ReadAll(first).size(), 1u);
    s.ResetErrorTable();  // closes the open table first
    EXPECT_FALSE(s.ErrorTable().Active());
    EXPECT_EQ(s.ErrorTablePath(), first);
    EXPECT_TRUE(ReadAll(s.ErrorTablePath()).empty());
    {
        TErrorTableGuard guard(s.ErrorTable());
        s.ErrorTable().Append({-32, "LE_1.blk", std::string("LE"), "B", 5, 4, "uhol otočenia"});
    }
    ASSERT_EQ(ReadAll(s.ErrorTablePath()).size(), 1u);

    // Without a template the reset fails and leaves no table.
    fs::remove(templatePath);
    try {
        s.ResetErrorTable();
        FAIL() << "reset without a template must raise";
    } catch (const EStdException& e) {
        EXPECT_EQ(std::string(e.what()), "Databáza nebola vytvorená.");
    }
    EXPECT_EQ(s.ErrorTablePath(), "");
    EXPECT_FALSE(fs::exists(first));
}

TEST(ErrorTable, GuardClosesWhenAnExceptionPasses) {
    testkit::TempDir dir;
    TErrorTable::CreateTemplate(dir / "Chyby.dbf");
    TErrorTable table(dir / "Chyby.dbf");
    try {
        TErrorTableGuard guard(table);
        table.Append({-72, "PO_1.blk", std::string("PO"), "P", 1, 1, "chybná topológia plochy"});
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadAll(dir / "Chyby.dbf").size(), 1u);
}
