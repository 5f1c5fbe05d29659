#include "StandardTestSupport.h"
#include "common/Text.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "dbase/DbfIo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace vexa;
using stdtest::Row;
using stdtest::RowsOf;
using namespace std::string_literals;

namespace {

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(ErrorTable, TemplateBesideTheProgramsHasTheSevenColumns) {
    using namespace stdtest;
    EXPECT_EQ(FieldsOf(BinFile("Chyby.dbf")), (TFldDefList{N("Id", 4), C("Blok", 254), C("Vrstva", 2), C("Prvok", 1),
                                                           N("Druh", 6), N("Cislo", 11), C("Chyba", 254)}));
    TTableDBF table;
    table.SetTableName(BinFile("Chyby.dbf"));
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
        TErrorTableSession session(table);
        EXPECT_FALSE(table.Active()) << "opened by the first finding";
        table.Append({-11, "LE_12345.blk", std::string("LE"), "L", std::int32_t{-32768}, std::int32_t{-2147483647},
                      "nadbytočná línia v ploche"});
        EXPECT_TRUE(table.Active());
        table.Append({-93, "PO_ľúbovoľný.blk", {}, "P", {}, {}, "DB p0010.dbf neexistuje"});
        table.Append({-91, "LE_1.blk", {}, "L", {}, 2147483647, "zle vyplnený DB záznam"});
        table.Append({-14, Repeat("ž", 300), std::string("LE"), "L", 12, 7, "duplikátne línie: " + Repeat("č", 300)});
    }
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(RowsOf(path, {"Id", "Blok", "Vrstva", "Prvok", "Druh", "Cislo", "Chyba"}),
              (std::vector<Row>{
                  {-11.0, "LE_12345.blk"s, "LE"s, "L"s, -32768.0, -2147483647.0, "nadbytočná línia v ploche"s},
                  {-93.0, "PO_ľúbovoľný.blk"s, {}, "P"s, {}, {}, "DB p0010.dbf neexistuje"s},
                  {-91.0, "LE_1.blk"s, {}, "L"s, {}, 2147483647.0, "zle vyplnený DB záznam"s},
                  // Long texts are cut to the column on a character boundary.
                  {-14.0, Repeat("ž", 254), "LE"s, "L"s, 12.0, 7.0, "duplikátne línie: " + Repeat("č", 254 - 18)},
              }));
    EXPECT_EQ(CutUtf8("čšňa", 2), "čš");
    EXPECT_EQ(CutUtf8("abc", 5), "abc");
    EXPECT_EQ(CutUtf8("abc", 0), "");

    // On disk the texts are in code page 1250.
    const auto bytes = testkit::ReadFileBytes(path);
    const std::string raw(bytes.begin(), bytes.end());
    EXPECT_NE(raw.find(FromUtf8("nadbytočná línia v ploche", 1250)), std::string::npos);
    EXPECT_EQ(raw.find("nadbyto\xC4\x8Dn"), std::string::npos);
}

TEST(ErrorTable, ResetGivesAFreshEmptyTableAndTheSessionClosesOnExceptions) {
    testkit::TempDir dir;
    const std::string templatePath = dir / "Chyby.dbf";
    TErrorTable::CreateTemplate(templatePath);
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath);
    const std::string first = s.ErrorTablePath();
    {
        TErrorTableSession session(s.ErrorTable());
        s.ErrorTable().Append({-31, "LE_1.blk", std::string("LE"), "B", 5, 3, "neprípustný druh vo vrstve"});
        s.ErrorTable().Flush();  // appended records are written in batches
        EXPECT_EQ(RowsOf(first).size(), 1u);
        s.ResetErrorTable();  // closes the open table first, ending the session
        EXPECT_FALSE(s.ErrorTable().Active());
        EXPECT_THROW(s.ErrorTable().Append({-31, "LE_1.blk", std::string("LE"), "B", 5, 3, "x"}), Exception);
    }
    EXPECT_EQ(s.ErrorTablePath(), first);
    EXPECT_TRUE(RowsOf(first).empty());
    try {
        TErrorTableSession session(s.ErrorTable());
        s.ErrorTable().Append({-32, "LE_1.blk", std::string("LE"), "B", 5, 4, "uhol otočenia"});
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {}
    EXPECT_FALSE(s.ErrorTable().Active());
    EXPECT_EQ(RowsOf(first).size(), 1u);

    // Without a template the reset fails and leaves no table.
    std::filesystem::remove(templatePath);
    try {
        s.ResetErrorTable();
        ADD_FAILURE() << "reset without a template must raise";
    } catch (const EStdException& e) {
        EXPECT_EQ(std::string(e.what()), "Databáza nebola vytvorená.");
    }
    EXPECT_EQ(s.ErrorTablePath(), "");
    EXPECT_FALSE(std::filesystem::exists(first));
}

// Records written in batches give the bytes of records written one by one; within a
// run's session a table writes a full batch at once and the rest when flushed; a batch that cannot
// be written raises where the run flushes, and the records written before stay.
TEST(ErrorTable, BatchesGiveTheBytesOfSingleAppendsAndFailuresRaise) {
    testkit::TempDir dir;
    const std::string one = dir / "one.dbf", batched = dir / "batched.dbf";
    TErrorTable::CreateTemplate(one);
    TErrorTable::CreateTemplate(batched);
    auto record = [](int i) {
        return TErrorRecord{-11 - i % 5, "LE_" + std::to_string(i) + ".blk", std::string("LE"), "L", i % 30, i,
                            i % 3 ? "neprípustný druh vo vrstve" : "línia mimo rozsah opísaného obdĺžnika"};
    };
    TErrorTable single(one);
    for (int i = 0; i < 1300; ++i) {
        TErrorTableSession pass(single);
        single.Append(record(i));
    }
    EXPECT_FALSE(single.Active());
    TErrorTable held(batched);
    {
        TErrorTableSession run(held);
        {
            TErrorTableSession pass(held);
            for (int i = 0; i < 1300; ++i) held.Append(record(i));
        }  // within the run's session: nothing more is written
        EXPECT_TRUE(held.Active());
        EXPECT_EQ(RowsOf(batched).size(), 1024u) << "two full batches of 512";
        held.Flush();
        EXPECT_EQ(RowsOf(batched).size(), 1300u);
    }
    EXPECT_FALSE(held.Active());
    auto bytes = [](const std::string& path) {
        std::vector<unsigned char> b = testkit::ReadFileBytes(path);
        for (std::size_t i = 1; i < 4; ++i) b.at(i) = 0;  // the date of the last change
        return b;
    };
    EXPECT_EQ(bytes(batched), bytes(one));

    held.BeginSession();
    for (int i = 0; i < 10; ++i) held.Append(record(i));
    dbfio::InjectWriteFailureAfter(100);
    EXPECT_THROW(held.Flush(), std::exception);
    dbfio::InjectWriteFailureAfter(-1);
    // A full disk is said in Slovak, the system's text as detail.
    for (int i = 0; i < 10; ++i) held.Append(record(i));
    dbfio::InjectFullDiskAfter(100);
    try {
        held.Flush();
        ADD_FAILURE() << "flushed";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Záznam sa nedá pridať do tabuľky, disk je plný (" +
                                                  std::string(std::strerror(ENOSPC)) + ").\r(",
                                              0),
                  0u)
            << e.what();
    }
    dbfio::InjectWriteFailureAfter(-1);
    held.EndSession();
    EXPECT_FALSE(held.Active());
    EXPECT_EQ(RowsOf(batched).size(), 1300u) << "the records written before stay";
}
