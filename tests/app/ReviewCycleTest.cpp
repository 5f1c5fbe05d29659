// The cycle of a map's review through the programs: a run; an exception; the run again
// (the finding left out and counted); the excepted element changed (reported again, the
// exception no longer valid); another finding fixed (reported fixed); the runs and their
// comparison; a re-check of one block merged into Chyby.DBF.
#include "checks/CheckTestSupport.h"
#include "review/ReviewTestSupport.h"
#include "ui/CheckRun.h"

#include <gtest/gtest.h>

#include <sstream>

#if defined(VEXA_CHECK_PROGRAM) && defined(VEXA_REVIEW_PROGRAM)

using namespace vexa;
using namespace vexa::checkstest;
using namespace vexa::reviewtest;

namespace {

class ReviewCycle : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
    }
    Outcome Check(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --quiet --jobs 1 " + args + " " + Quote(map.string()),
                          temp.Path() / "tmp", temp.Path());
    }
    Outcome CheckWithSummary(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --jobs 1 " + args + " " + Quote(map.string()),
                          temp.Path() / "tmp", temp.Path());
    }
    Outcome Review(const std::string& args) {
        return RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " " + args, temp.Path() / "tmp",
                          temp.Path());
    }
    std::vector<TErrorRecord> Table() const { return ReadErrorTable((map / "Chyby.DBF").string()); }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    static int CountOf(const std::string& text, const std::string& part) {
        int n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
    static bool InTable(const std::vector<TErrorRecord>& rows, const std::string& block, int number, int code) {
        for (const TErrorRecord& r : rows)
            if (r.Blok == block && r.Cislo == number && r.Id == code) return true;
        return false;
    }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    const std::string options = "--points 3 --areas 1 --block LE_00002.blk --block LE_00003.blk --format json";
};

const std::string kRotated = "\"group\":\"B\",\"kind\":5,\"number\":3,\"code\":-32";
const std::string kForeignKind = "\"group\":\"B\",\"kind\":6,\"number\":2,\"code\":-31";

TEST_F(ReviewCycle, ExceptFixAndVerify) {
    // 1. The first run: everything is new.
    Outcome first = CheckWithSummary(options);
    ASSERT_EQ(first.Status, 1) << first.Err;
    ASSERT_EQ(Lines(first.Out).size(), 3u) << first.Out;
    EXPECT_EQ(CountOf(first.Out, "\"status\":\"new\""), 3);
    EXPECT_TRUE(Has(first.Out, kRotated));
    EXPECT_TRUE(Has(first.Err, "Nové: 3, trvajúce: 0, opravené: 0, výnimky: 0.")) << first.Err;

    // 2. Exceptions: a reason is required; only a finding of the last run is taken.
    Outcome noReason = Review("except LE_00002.blk B:3 -32");
    EXPECT_EQ(noReason.Status, 2);
    EXPECT_TRUE(Has(noReason.Err, "dôvod")) << noReason.Err;
    Outcome unknown = Review("except LE_00002.blk B:4 -32 --reason 'iný'");
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_TRUE(Has(unknown.Err, "nie je medzi chybami poslednej kontroly")) << unknown.Err;
    EXPECT_FALSE(fs::exists(map / "Vynimky.DBF")) << "a refusal writes nothing";
    Outcome except = Review("except LE_00002.blk B:3 -32 --reason 'šikmá značka, zámerne'");
    ASSERT_EQ(except.Status, 0) << except.Err;
    Outcome listed = Review("exceptions");
    ASSERT_EQ(Lines(listed.Out).size(), 1u) << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "\"block\":\"LE_00002.blk\",\"layer\":\"LE\",\"group\":\"B\",\"number\":3,\"code\":-32,\"kind\":5"))
        << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "\"reason\":\"šikmá značka, zámerne\""));
    EXPECT_TRUE(Has(listed.Out, "\"valid\":true"));

    // 3. The run again: the excepted finding is gone from stdout and the table, counted.
    Outcome second = CheckWithSummary(options);
    ASSERT_EQ(second.Status, 1) << second.Err;
    EXPECT_FALSE(Has(second.Out, kRotated)) << second.Out;
    EXPECT_EQ(CountOf(second.Out, "\"status\":\"persisting\""), 2) << second.Out;
    EXPECT_FALSE(InTable(Table(), "LE_00002.blk", 3, -32));
    EXPECT_EQ(Table().size(), 2u);
    EXPECT_TRUE(Has(second.Err, "Počet chýb: 2")) << second.Err;
    EXPECT_TRUE(Has(second.Err, "Nové: 0, trvajúce: 2, opravené: 0, výnimky: 1.")) << second.Err;
    // Blocks checked by two workers: the same left out, the same statuses.
    Outcome parallel = RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --jobs 2 " + options + " " + Quote(map.string()),
                                  temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(parallel.Out, second.Out);
    EXPECT_TRUE(Has(parallel.Err, "Nové: 0, trvajúce: 2, opravené: 0, výnimky: 1.")) << parallel.Err;
    // Without the exceptions every finding is there.
    Outcome all = Check(options + " --no-exceptions");
    EXPECT_TRUE(Has(all.Out, kRotated)) << all.Out;
    EXPECT_TRUE(InTable(Table(), "LE_00002.blk", 3, -32));
    Check(options);  // the table as the exceptions have it

    // 4. The excepted point turned, the foreign-kind point fixed.
    TurnPoint(map / "LE_00002.blk", 3);
    SetPointKind(map / "LE_00002.blk", 2, 5);
    Outcome third = CheckWithSummary(options);
    ASSERT_EQ(third.Status, 1) << third.Err;
    EXPECT_TRUE(Has(third.Out, kRotated)) << "the changed element is reported again: " << third.Out;
    EXPECT_FALSE(Has(third.Out, kForeignKind));
    EXPECT_TRUE(Has(third.Err, "Výnimka už neplatí, prvok sa zmenil: LE_00002.blk B:3 kód -32 (dôvod: šikmá značka, zámerne)"))
        << third.Err;
    EXPECT_EQ(CountOf(third.Err, "Výnimka už neplatí"), 2) << "said in passing and in the summary: " << third.Err;
    EXPECT_TRUE(Has(third.Err, "Nové: 1, trvajúce: 1, opravené: 1, výnimky: 0.")) << third.Err;
    EXPECT_TRUE(InTable(Table(), "LE_00002.blk", 3, -32));
    Outcome invalid = Review("exceptions");
    EXPECT_TRUE(Has(invalid.Out, "\"valid\":false,\"element\":\"changed\"")) << invalid.Out;
    EXPECT_TRUE(Has(invalid.Out, "\"reason\":\"šikmá značka, zámerne\"")) << "kept with the reason given then";

    // 5. The runs and the last two compared.
    Outcome runs = Review("runs");
    ASSERT_EQ(runs.Status, 0) << runs.Err;
    std::vector<std::string> r = Lines(runs.Out);
    ASSERT_EQ(r.size(), 6u) << runs.Out;  // two workers, --no-exceptions and the table's own run among them
    EXPECT_TRUE(Has(r[0], "\"complete\":true,\"checked\":[\"LE_00002.blk\",\"LE_00003.blk\"],\"skipped\":[],"
                          "\"findings\":3,\"new\":3,\"persisting\":0,\"fixed\":0,\"excepted\":0"))
        << r[0];
    EXPECT_TRUE(Has(r[1], "\"findings\":2,\"new\":0,\"persisting\":2,\"fixed\":0,\"excepted\":1")) << r[1];
    EXPECT_TRUE(Has(r[5], "\"findings\":2,\"new\":1,\"persisting\":1,\"fixed\":1,\"excepted\":0")) << r[5];
    Outcome compare = Review("compare");
    ASSERT_EQ(compare.Status, 0) << compare.Err;
    std::vector<std::string> c = Lines(compare.Out);
    ASSERT_EQ(c.size(), 3u) << compare.Out;
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"fixed\",\"block\":\"LE_00002.blk\",\"group\":\"B\",\"number\":2,\"code\":-31,\"kind\":6"))
        << compare.Out;
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"new\",\"block\":\"LE_00002.blk\",\"group\":\"B\",\"number\":3,\"code\":-32"));
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"persisting\",\"block\":\"LE_00003.blk\",\"group\":\"P\",\"number\":2"));
    const std::string id0 = r[0].substr(8, r[0].find('"', 8) - 8);
    const std::string id5 = r[5].substr(8, r[5].find('"', 8) - 8);
    Outcome named = Review("compare " + id0 + " " + id5);
    EXPECT_EQ(named.Status, 0) << named.Err;
    EXPECT_EQ(CountOf(named.Out, "\"status\":\"fixed\""), 1) << named.Out;
    EXPECT_EQ(Review("compare " + id0 + " nope").Status, 2);

    // 6. Removing the exception.
    EXPECT_EQ(Review("unexcept LE_00002.blk B:3 -32").Status, 0);
    EXPECT_EQ(Review("exceptions").Out, "");
    Outcome again = Review("unexcept LE_00002.blk B:3 -32");
    EXPECT_EQ(again.Status, 2);
    EXPECT_TRUE(Has(again.Err, "neexistuje")) << again.Err;
}

TEST_F(ReviewCycle, MergeReplacesOnlyTheCheckedBlocksRows) {
    ASSERT_EQ(Check("--points 3 --areas 1").Status, 3);  // the whole map (an unclean block in it)
    const std::vector<TErrorRecord> whole = Table();
    ASSERT_TRUE(InTable(whole, "LE_00002.blk", 2, -31));
    ASSERT_TRUE(InTable(whole, "LE_00003.blk", 2, -71));
    SetPointKind(map / "LE_00002.blk", 2, 5);
    Outcome merged = Check("--points 3 --block LE_00002.blk --merge");
    ASSERT_EQ(merged.Status, 1) << merged.Err;
    std::vector<TErrorRecord> rows = Table();
    EXPECT_FALSE(InTable(rows, "LE_00002.blk", 2, -31)) << "the block's rows are replaced";
    EXPECT_TRUE(InTable(rows, "LE_00002.blk", 3, -32));
    std::vector<TErrorRecord> others, othersBefore;
    for (const TErrorRecord& r : rows)
        if (r.Blok != "LE_00002.blk") others.push_back(r);
    for (const TErrorRecord& r : whole)
        if (r.Blok != "LE_00002.blk") othersBefore.push_back(r);
    EXPECT_EQ(others, othersBefore) << "every other block's rows stay";
    EXPECT_FALSE(others.empty());
    // The block's new rows stand where its old ones stood: the table keeps the map's block order.
    auto blocks = [](const std::vector<TErrorRecord>& table) {
        std::vector<std::string> order;
        for (const TErrorRecord& r : table)
            if (order.empty() || order.back() != r.Blok) order.push_back(r.Blok);
        return order;
    };
    EXPECT_EQ(blocks(rows), blocks(whole));

    // A merge whose block now has nothing removes its rows all the same.
    Outcome clean = Check("--areas 1 --block LE_00002.blk --merge");
    EXPECT_EQ(clean.Status, 0) << clean.Err;
    rows = Table();
    for (const TErrorRecord& r : rows) EXPECT_NE(r.Blok, "LE_00002.blk");
    EXPECT_EQ(rows, othersBefore);

    // Without --block, --merge is refused; without --merge the table is replaced whole.
    EXPECT_EQ(Check("--points 3 --merge").Status, 2);
    ASSERT_EQ(Check("--points 3 --block LE_00002.blk").Status, 1);
    for (const TErrorRecord& r : Table()) EXPECT_EQ(r.Blok, "LE_00002.blk");
}

TEST_F(ReviewCycle, DamagedFilesAreNamedAndTheRunGoesOn) {
    std::ofstream(map / "Vynimky.DBF") << "garbage";
    fs::create_directories(map / ".vexa" / "runs");
    std::ofstream(map / ".vexa" / "runs" / "19990101-000000-000.run") << "nonsense";
    Outcome o = CheckWithSummary("--points 3 --block LE_00002.blk");
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_TRUE(Has(o.Err, (map / "Vynimky.DBF").string())) << o.Err;
    EXPECT_TRUE(Has(o.Err, "kontrola pokračuje bez výnimiek")) << o.Err;
    EXPECT_TRUE(Has(o.Err, "19990101-000000-000.run")) << o.Err;
    EXPECT_EQ(Table().size(), 2u);
    EXPECT_EQ(testkit::ReadFileText(map / "Vynimky.DBF"), "garbage");
    EXPECT_EQ(testkit::ReadFileText(map / ".vexa" / "runs" / "19990101-000000-000.run"), "nonsense");
    Outcome except = Review("except LE_00002.blk B:3 -32 --reason x");
    EXPECT_EQ(except.Status, 2);
    EXPECT_TRUE(Has(except.Err, (map / "Vynimky.DBF").string())) << except.Err;
    EXPECT_EQ(testkit::ReadFileText(map / "Vynimky.DBF"), "garbage");
}

TEST_F(ReviewCycle, HelpVersionAndRefusals) {
    Outcome help = RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " --help", temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(Has(help.Out, "Použitie: vexa-review MAPA except"));
    Outcome version = RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " --version", temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("vexa-review ", 0), 0u);
    EXPECT_EQ(Review("nothing").Status, 2);
    EXPECT_EQ(Review("except LE_00002.blk X:3 -32 --reason r").Status, 2);
    Outcome none = Review("compare");
    EXPECT_EQ(none.Status, 2);
    EXPECT_TRUE(Has(none.Err, "aspoň dve kontroly")) << none.Err;
    Outcome never = Review("except LE_00002.blk B:3 -32 --reason r");
    EXPECT_EQ(never.Status, 2);
    EXPECT_TRUE(Has(never.Err, "ešte nebol kontrolovaný")) << never.Err;
    EXPECT_EQ(Review("runs").Out, "");
}

}  // namespace

#endif
