// vexa-check end to end: the sample map (faults of every kind, an unclean block, a
// name that does not conform), the error table it leaves, exit statuses and refusals.
#include "checks/CheckTestSupport.h"
#include "common/Version.h"
#include "block/Real48.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"

#include "kit/BenchMap.h"

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#ifdef VEXA_CHECK_PROGRAM

using namespace vexa;
using namespace vexa::checkstest;
namespace fs = std::filesystem;

namespace {

class VexaCheck : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
    }
    Outcome Run(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " " + args, temp.Path() / "tmp", temp.Path());
    }
    std::vector<TErrorRecord> Table(const fs::path& dir) const { return ReadErrorTable((dir / "Chyby.DBF").string()); }
    std::vector<TErrorRecord> Table() const { return Table(map); }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

// The unclean block, said on one line by its name.
const std::string kWarning = "Blok LE_00009.blk nebol vyčistený, nebude kontrolovaný";
const std::string kNotCleaned = "Blok LE_00009.blk nebude kontrolovaný: nebol vyčistený";
// The sample map's conforming blocks: every one but the unclean LE_00009.blk goes through.
// The sample's abc.blk does not conform: left out, said first and named in the summary.
const std::string kLeftOut =
    "Blok abc.blk nebude kontrolovaný: meno nevyhovuje štandardu (kód vrstvy pred \"_\" nie je v štandarde)";
// The summary names both blocks left out, each with why.
const std::string kSampleBlocks = "Skontrolované bloky: 4, vynechané: 2.\n" + kLeftOut + "\n" + kNotCleaned;

// The sample map's point, text and area findings with every admissibility and rotation option.
const std::vector<TErrorRecord> kPointsTextsAreas = {
    Finding(-31, "LE_00002.blk", "B", 6, 2, "neprípustný druh vo vrstve"),
    Finding(-32, "LE_00002.blk", "B", 5, 3, "uhol otočenia"),
    Finding(-51, "LE_00002.blk", "T", 3, 2, "neprípustný druh vo vrstve"),
    Finding(-52, "LE_00002.blk", "T", 1, 3, "uhol otočenia"),
    Finding(-71, "LE_00003.blk", "P", 20, 2, "neprípustný druh vo vrstve"),
    Finding(-72, "LE_00003.blk", "P", 1, 3, "chybná topológia plochy")};

TEST_F(VexaCheck, SampleMapWithEveryOptionOfTheWindow) {
    Outcome o = Run("--lines 63 --points 3 --texts 3 --areas 7 " + Quote(map.string()));
    // Findings, but the unclean block was not checked: 3 rather than 1.
    EXPECT_EQ(o.Status, 3) << o.Err;
    // The warning, the blocks checked and skipped, then the count on stderr.
    EXPECT_EQ(o.Err, kLeftOut + "\n" + kWarning + "\n" + kSampleBlocks +
                         "\nPočet chýb: 10 (" + (map / "Chyby.DBF").string() + ")\n" +
                         "Nové: 10, trvajúce: 0, opravené: 0, výnimky: 0.\n");
    std::vector<TErrorRecord> expected = {Finding(-73, "LE_00002.blk", "L", 1, 8, "zhoda prilahlých plôch"),
                                          Finding(-11, "LE_00002.blk", "L", 10, 13, "neprípustný druh vo vrstve"),
                                          Finding(-11, "LE_00002.blk", "L", 1, 19, "nadbytočná línia v ploche")};
    expected.insert(expected.end(), kPointsTextsAreas.begin(), kPointsTextsAreas.end());
    expected.push_back(Finding(-11, "PO_00001.blk", "L", 2, 8, "neprípustná línia vo vrstve plôch"));
    EXPECT_EQ(Table(), expected) << Describe(Table());
    // Each finding on a line of its own (block, group, number, kind, code, text), nothing else.
    std::string out;
    for (const TErrorRecord& r : expected)
        out += r.Blok + "\t" + r.Prvok + "\t" + std::to_string(*r.Cislo) + "\t" + std::to_string(*r.Druh) + "\t" +
               std::to_string(r.Id) + "\t" + r.Chyba + "\n";
    EXPECT_EQ(o.Out, out);
}

TEST_F(VexaCheck, SampleMapWithoutAdmissibilityButWithLimits) {
    Outcome o =
        Run("--lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    std::vector<TErrorRecord> expected = {
        Finding(-73, "LE_00002.blk", "L", 1, 8, "zhoda prilahlých plôch"),
        Finding(-12, "LE_00002.blk", "L", 21, 14, "krivka"),
        Finding(-13, "LE_00002.blk", "L", 21, 15, "línia mimo rozsah opísaného obdĺžnika"),
        Finding(-14, "LE_00002.blk", "L", 22, 16, "duplikátne línie: 17"),
        Finding(-14, "LE_00002.blk", "L", 22, 17, "duplikátne línie: 16"),
        Finding(-15, "LE_00002.blk", "L", 21, 18, "podlimitná dĺžka")};
    expected.insert(expected.end(), kPointsTextsAreas.begin(), kPointsTextsAreas.end());
    expected.push_back(Finding(-74, "LE_00003.blk", "P", 1, 4, "podlimitná plocha"));
    EXPECT_EQ(Table(), expected) << Describe(Table());
}

// Blocks checked by two workers: the same lines, messages and table as one after another,
// also with the database pass (which stays in the run's own thread).
TEST_F(VexaCheck, TwoWorkersGiveWhatOneGives) {
    const fs::path second = temp.Path() / "map2";
    fs::copy(map, second, fs::copy_options::recursive);
    const std::string options = "--lines 63 --points 3 --texts 3 --areas 7 --db 1 --length-limit 1 --area-limit 100 ";
    Outcome one = Run(options + "--jobs 1 " + Quote(map.string()));
    Outcome two = Run(options + "--jobs 2 " + Quote(second.string()));
    ASSERT_EQ(one.Status, 3) << one.Err;
    EXPECT_EQ(two.Status, 3) << two.Err;
    auto inMap = [&](std::string text, const fs::path& dir) {
        for (std::size_t at; (at = text.find(dir.string())) != std::string::npos;) text.replace(at, dir.string().size(), "MAP");
        return text;
    };
    EXPECT_EQ(inMap(two.Out, second), inMap(one.Out, map));
    EXPECT_EQ(inMap(two.Err, second), inMap(one.Err, map));
    auto bytes = [](const fs::path& file) {
        std::vector<unsigned char> b = testkit::ReadFileBytes(file);
        for (std::size_t i = 1; i < 4; ++i) b.at(i) = 0;  // the date of the last change
        return b;
    };
    EXPECT_EQ(bytes(second / "Chyby.DBF"), bytes(map / "Chyby.DBF"));
    EXPECT_GT(Table().size(), 10u);
}

TEST_F(VexaCheck, CleanBlockLeavesTheEarlierTable) {
    std::ofstream(map / "Chyby.DBF") << "earlier";
    Outcome o = Run("--lines 63 --points 3 --texts 3 --areas 7 --block le_00001.BLK " + Quote(map.string()));
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, "");
    EXPECT_EQ(o.Err, "Bez chýb.\n");
    EXPECT_EQ(ReadFileText(map / "Chyby.DBF"), "earlier");
}

// A block named without its ".blk" is the block of that name.
TEST_F(VexaCheck, BlockNamedWithoutItsExtension) {
    Outcome o = Run("--quiet --points 1 --block le_00002 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_EQ(o.Out, "LE_00002.blk\tB\t2\t6\t-31\tneprípustný druh vo vrstve\n");
}

TEST_F(VexaCheck, NamedBlocksAreTakenInListOrder) {
    Outcome o = Run("--points 1 --areas 1 --block LE_00003.blk --block le_00002.blk " + Quote(map.string()));
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_EQ(o.Err, "Počet chýb: 2 (" + (map / "Chyby.DBF").string() + ")\nNové: 2, trvajúce: 0, opravené: 0, výnimky: 0.\n")
        << "the unclean block was not named";
    EXPECT_EQ(Table(),
              (std::vector<TErrorRecord>{Finding(-31, "LE_00002.blk", "B", 6, 2, "neprípustný druh vo vrstve"),
                                         Finding(-71, "LE_00003.blk", "P", 20, 2, "neprípustný druh vo vrstve")}));
}

TEST_F(VexaCheck, ErrorsExitWithTwoAndWriteNothing) {
    struct Case {
        std::string Args, Err;
    };
    const std::string m = Quote(map.string());
    std::vector<Case> cases = {
        {"--lines 1 --block LE_00077.blk " + m, "Blok LE_00077.blk nie je v zozname blokov mapy\n"},
        {"--lines 1 --block ABC.blk " + m, "Blok abc.blk nevyhovuje štandardu\n"},
        {"--lines 64 " + m, "Neplatná maska --lines: 64 (povolené sú súčty bitov 63)\n"},
        {"--areas x " + m, "Neplatná maska --areas: x (povolené sú súčty bitov 7)\n"},
        {"--length-limit 1,5 " + m,
         "Neplatný limit --length-limit: 1,5 (desatinná bodka, nie čiarka: --length-limit 1.5)\n"},
        {"--area-limit x " + m, "Neplatný limit --area-limit: x\n"},
        {"--export " + Quote((temp.Path() / "none" / "f.gpkg").string()) + " --lines 1 " + m,
         "Adresár pre export neexistuje\n(" + (temp.Path() / "none").string() +
             ")\nVytvorte ho alebo zadajte súbor v existujúcom adresári.\n"},
        {"--lines 1 " + Quote((map / "LE_00001.blk").string()),
         "Adresár je blok, nie mapa\n(" + (map / "LE_00001.blk").string() +
             ")\nMapa je adresár nad ním: vexa-check ... " + map.string() + " --block LE_00001.blk\n"},
        {"--lines 1 --block LE_00077 " + m, "Blok LE_00077 nie je v zozname blokov mapy\n"},
        {"--db 16 " + m, "Neplatná maska --db: 16 (povolené sú súčty bitov 15)\n"},
        {"--jobs 0 " + m, "Neplatný počet --jobs: 0 (povolené 1 až 256)\n"},
        {"-j x " + m, "Neplatný počet -j: x (povolené 1 až 256)\n"},
        {"--lines 1 " + Quote((temp.Path() / "none").string()),
         "Adresár mapy neexistuje\n(" + (temp.Path() / "none").string() + ")\n"},
        {"--lines 1 " + Quote((map / "LE_00001.blk" / "tn.lin").string()),
         "Mapa nie je adresár\n(" + (map / "LE_00001.blk" / "tn.lin").string() + ")\n"},
        {"--standard " + Quote((temp.Path() / "missing.mdb").string()) + " --lines 1 " + m,
         "Štandard sa nedá otvoriť: súbor neexistuje\n(" + (temp.Path() / "missing.mdb").string() +
             ")\nZadajte voľbou --standard súbor štandardu (StandardGXD.mdb).\n"},
        {"--standard " + Quote(map.string()) + " --lines 1 " + m,
         "Štandard sa nedá otvoriť: súbor je adresár, nie súbor\n(" + map.string() +
             ")\nZadajte voľbou --standard súbor štandardu (StandardGXD.mdb).\n"},
        {"--standard " + Quote((map / "LE_00001.blk" / "tn.lin").string()) + " --lines 1 " + m,
         "Súbor nie je databáza Access ani SQLite, nemôže byť štandardom (StandardGXD.mdb)\n(" +
             (map / "LE_00001.blk" / "tn.lin").string() + ")\n"},
        {"--frobnicate " + m, "Neznáma voľba --frobnicate\n"},
        {"--format xml --lines 1 " + m, "Neznámy formát xml (text, json, csv)\n"},
        {"--export x.kml --lines 1 " + m, "Neznámy formát exportu (.gpkg, .geojson, .shp, .csv, .fgb)\n(x.kml)\n"},
        {"--lines 1", "Zadajte práve jeden adresár mapy (vexa-check --help)\n"},
        {"--lines", "Chýba hodnota voľby --lines\n"},
        // Nothing to check: no mask, or a map without blocks.
        {m, "Nie je zvolená žiadna kontrola.\n"},
        {"--lines 0 --db 0 " + m, "Nie je zvolená žiadna kontrola.\n"},
        {"--lines 1 " + Quote((temp.Path() / "tmp").string()), "Nie je zvolený žiadny blok na kontrolu.\n"},
    };
    for (const Case& c : cases) {
        Outcome o = Run(c.Args);
        EXPECT_EQ(o.Status, 2) << c.Args;
        EXPECT_EQ(o.Err, c.Err) << c.Args;
        EXPECT_EQ(o.Out, "") << c.Args;
    }
    Outcome o = Run("--standard " + Quote((temp.Path() / "missing.mdb").string()) + " --lines 1 " + m);
    EXPECT_EQ(o.Status, 2);
    EXPECT_FALSE(o.Err.empty());
    EXPECT_FALSE(fs::exists(map / "Chyby.DBF"));
}

TEST_F(VexaCheck, DatabasePassReportsMissingTables) {
    Outcome o = Run("--db 1 --block LE_00001.blk " + Quote(map.string()));
    EXPECT_EQ(o.Status, 1) << o.Err;
    std::vector<TErrorRecord> rows = Table();
    ASSERT_FALSE(rows.empty());
    bool missingLineTable = false;
    for (const TErrorRecord& r : rows) {
        EXPECT_TRUE(r.Id == -91 || r.Id == -92 || r.Id == -93) << r.Id;
        EXPECT_EQ(r.Blok, "LE_00001.blk");
        EXPECT_FALSE(r.Vrstva.has_value());
        EXPECT_FALSE(r.Druh.has_value());
        if (r.Id == -91 && r.Prvok == "L" && r.Chyba == "DB l0001.dbf neexistuje" && !r.Cislo) missingLineTable = true;
    }
    EXPECT_TRUE(missingLineTable) << Describe(rows);
}

// Element numbers of every area attribute table of the map, per table.
std::map<std::string, std::vector<TValue>> ElementNumbers(const fs::path& map) {
    std::map<std::string, std::vector<TValue>> numbers;
    for (const auto& block : fs::directory_iterator(map)) {
        const fs::path table = block.path() / "p0001.dbf";
        if (!fs::exists(table)) continue;
        TTableDBF t;
        t.SetTableName(table.string());
        t.Open();
        auto& column = numbers[block.path().filename().string()];
        for (t.First(); !t.Eof(); t.Next()) column.push_back(t.FieldValue("CISLO"));
    }
    return numbers;
}

TEST_F(VexaCheck, EveryRepairOnTheSampleMapRunsToItsEndAndKeepsTheElementNumbers) {
    const auto before = ElementNumbers(map);
    ASSERT_GE(before.size(), 3u);
    Outcome o = Run("--lines 63 --points 3 --texts 3 --areas 7 --db 15 --length-limit 1 --area-limit 100 " +
                    Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_EQ(ElementNumbers(map), before);
    // The repaired tables have the standard's structure; the columns the repair
    // added are empty, so the contents test reports their rows.
    int badRows = 0;
    for (const TErrorRecord& r : Table()) {
        EXPECT_NE(r.Chyba, "chybná DB štruktúra") << r.Blok;
        if (r.Id == -93 && r.Chyba == "zle vyplnený DB záznam") ++badRows;
    }
    EXPECT_GT(badRows, 0);
    EXPECT_EQ(o.Err.find("Error"), std::string::npos) << o.Err;
    // Each rewritten table is named with what changed: as it happens and again in the summary.
    std::map<std::string, int> repairs;
    std::istringstream lines(o.Err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Upravená tabuľka ", 0) == 0) ++repairs[line];
    EXPECT_FALSE(repairs.empty()) << o.Err;
    for (const auto& [line, times] : repairs) {
        EXPECT_EQ(times, 2) << line;
        EXPECT_NE(line.find((map / "").string()), std::string::npos) << line;
        EXPECT_TRUE(line.find(": pridané: ") != std::string::npos || line.find(": presunuté: ") != std::string::npos ||
                    line.find(": odstránené: ") != std::string::npos || line.find(": zmenené: ") != std::string::npos)
            << line;
    }
    // Repaired once, the tables need nothing more: nothing is said.
    o = Run("--db 14 " + Quote(map.string()));
    EXPECT_EQ(o.Err.find("Upravená tabuľka"), std::string::npos) << o.Err;
}

// Every *.blk entry is checked or named: names that do not conform (a dash, a copy's
// suffix) are left out with the reason and make the run not clean, unless blocks were
// chosen by --block.
TEST_F(VexaCheck, BlocksWithNamesThatDoNotConformAreNamedAndNotClean) {
    fs::remove_all(map / "LE_00009.blk");
    fs::remove_all(map / "abc.blk");
    fs::copy(map / "LE_00001.blk", map / "le-00002.blk", fs::copy_options::recursive);
    fs::copy(map / "LE_00001.blk", map / "LE_00001 - kópia.blk", fs::copy_options::recursive);
    const std::string reason = " nebude kontrolovaný: meno nevyhovuje štandardu (kód vrstvy pred \"_\" nie je v štandarde)";
    Outcome o = Run("--lines 63 --block LE_00001.blk " + Quote(map.string()));
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Err, "Bez chýb.\n");

    o = Run("--lines 63 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_NE(o.Err.find("Blok le-00002.blk" + reason + "\n"), std::string::npos) << o.Err;
    // A copy's suffix after a known layer code still conforms: it is checked, not left out.
    EXPECT_EQ(o.Err.find("kópia.blk" + reason), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("Skontrolované bloky: 5, vynechané: 1.\n"), std::string::npos) << o.Err;
    EXPECT_EQ(o.Err.find("Bez chýb."), std::string::npos) << o.Err;

    // --quiet drops the summary, never the blocks left out.
    o = Run("--quiet --lines 63 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_NE(o.Err.find("Blok le-00002.blk" + reason), std::string::npos) << o.Err;
}

// Only the unclean block named: nothing was checked, so neither "Bez chýb." nor 0.
TEST_F(VexaCheck, AllSkippedIsNotClean) {
    std::ofstream(map / "Chyby.DBF") << "earlier";
    Outcome o = Run("--points 1 --block LE_00009.blk " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_EQ(o.Out, "");
    EXPECT_EQ(o.Err, kWarning + "\nSkontrolované bloky: 0, vynechané: 1.\n" + kNotCleaned + "\n");
    EXPECT_EQ(ReadFileText(map / "Chyby.DBF"), "earlier");
}

// One bad block never voids the run: a block whose line names vertices far beyond
// tn.crd is skipped with a warning naming it and why, the others' findings are handed
// over, and the run ends with 3, in turn and with workers alike.
TEST_F(VexaCheck, UnreadableBlockIsSkippedAndTheOthersHandedOver) {
    // Checks that read the lines' vertices.
    const std::string options = "--lines 62 --areas 7 ";
    Outcome clean = Run(options + "--jobs 1 " + Quote(map.string()));
    ASSERT_EQ(clean.Status, 3) << clean.Err;
    const std::vector<TErrorRecord> before = Table();
    std::vector<TErrorRecord> others;
    for (const TErrorRecord& r : before)
        if (r.Blok != "LE_00003.blk") others.push_back(r);
    ASSERT_FALSE(others.empty());
    // The first line of LE_00003.blk runs from a vertex far beyond the end of tn.crd.
    const fs::path lin = map / "LE_00003.blk" / "tn.lin";
    std::vector<unsigned char> bytes = testkit::ReadFileBytes(lin);
    ASSERT_GE(bytes.size(), 2 * sizeof(TBlkLine));
    TBlkLine line;
    std::memcpy(static_cast<void*>(&line), bytes.data() + sizeof(TBlkLine), sizeof line);
    line.FirstCrd = 50000000;
    std::memcpy(bytes.data() + sizeof(TBlkLine), &line, sizeof line);
    std::ofstream(lin, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const fs::path second = temp.Path() / "map2";
    fs::copy(map, second, fs::copy_options::recursive);
    for (const auto& [dir, jobs] : {std::pair{map, "1"}, std::pair{second, "2"}}) {
        fs::remove(dir / "Chyby.DBF");
        Outcome o = Run(options + "--jobs " + std::string(jobs) + " " + Quote(dir.string()));
        EXPECT_EQ(o.Status, 3) << o.Err;
        EXPECT_NE(o.Err.find("Blok\n" + (dir / "LE_00003.blk").string() + "\nsa nedá prečítať, nebude kontrolovaný\n(" +
                             "Chyba čítania"),
                  std::string::npos)
            << o.Err;
        // which element and why
        EXPECT_NE(o.Err.find("tn.crd má vrcholy 1 až"), std::string::npos) << o.Err;
        EXPECT_NE(o.Err.find(": línia " + std::to_string(line.Number) + ", vrcholy 50000000 až "), std::string::npos)
            << o.Err;
        // the unreadable block, the uncleaned one and abc.blk, whose name does not conform
        EXPECT_NE(o.Err.find("Skontrolované bloky: 3, vynechané: 3."), std::string::npos) << o.Err;
        EXPECT_EQ(o.Err.find("Bez chýb."), std::string::npos) << o.Err;
        EXPECT_EQ(Table(dir), others) << Describe(Table(dir));
    }
}

// A block name whose bytes are not UTF-8 (Latin-1 from an old archive) is checked like any
// other: its findings reach Chyby.DBF and the printed lines with the name's stray bytes
// escaped.
TEST_F(VexaCheck, BlockNameThatIsNotUtf8IsChecked) {
    const std::string latin1 = "LE_0000\xe9.blk";
    fs::rename(map / "LE_00002.blk", map / latin1);
    Outcome o = Run("--lines 63 --points 3 --texts 3 --areas 7 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_NE(o.Err.find(kSampleBlocks), std::string::npos) << o.Err;
    int named = 0;
    for (const TErrorRecord& r : Table())
        if (r.Blok == "LE_0000\\xE9.blk") ++named;
    EXPECT_EQ(named, 7) << Describe(Table());
    EXPECT_NE(o.Out.find("LE_0000\\xE9.blk\tL\t"), std::string::npos) << o.Out;
    EXPECT_EQ(o.Out.find(latin1), std::string::npos);
}

// A block file that is a symbolic link to a file outside the map is read, never written:
// its target keeps every byte (no fresh time stamp) and a warning says why.
TEST_F(VexaCheck, BlockFileLinkedOutsideTheMapIsNotWritten) {
    const fs::path outside = temp.Path() / "elsewhere";
    fs::create_directories(outside);
    for (const char* name : {"tn.lin", "tn.pnt", "tn.tbx", "tn.are"}) {
        fs::rename(map / "LE_00002.blk" / name, outside / name);
        fs::create_symlink(outside / name, map / "LE_00002.blk" / name);
    }
    std::vector<std::vector<unsigned char>> before;
    for (const char* name : {"tn.lin", "tn.pnt", "tn.tbx", "tn.are"}) before.push_back(testkit::ReadFileBytes(outside / name));
    const std::uint32_t otherBefore = HeaderTime((map / "LE_00003.blk" / "tn.lin").string(), 15);
    Outcome o = Run("--lines 63 --points 3 --texts 3 --areas 7 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    std::size_t i = 0;
    for (const char* name : {"tn.lin", "tn.pnt", "tn.tbx", "tn.are"}) {
        EXPECT_EQ(testkit::ReadFileBytes(outside / name), before[i++]) << name;
        EXPECT_TRUE(fs::is_symlink(map / "LE_00002.blk" / name)) << name;
        EXPECT_NE(o.Err.find("Súbor " + (map / "LE_00002.blk" / name).string() + " je odkaz mimo adresára mapy"),
                  std::string::npos)
            << o.Err;
    }
    // The block was checked all the same, and the other blocks got their stamps.
    int found = 0;
    for (const TErrorRecord& r : Table())
        if (r.Blok == "LE_00002.blk") ++found;
    EXPECT_EQ(found, 7) << Describe(Table());
    EXPECT_NE(HeaderTime((map / "LE_00003.blk" / "tn.lin").string(), 15), otherBefore);
}

// --header names the columns first (also with no finding), --quiet leaves only the
// findings and the warnings; --version.
TEST_F(VexaCheck, HeaderQuietAndVersion) {
    const std::string m = Quote(map.string());
    Outcome text = Run("--header --quiet --points 1 --block LE_00002.blk " + m);
    EXPECT_EQ(text.Status, 1) << text.Err;
    EXPECT_EQ(text.Out, "blok\tskupina\tčíslo\tdruh\tkód\ttext\nLE_00002.blk\tB\t2\t6\t-31\tneprípustný druh vo vrstve\n");
    EXPECT_EQ(text.Err, "");
    Outcome csv = Run("--header --format csv --lines 63 --block LE_00001.blk " + m);
    EXPECT_EQ(csv.Status, 0) << csv.Err;
    EXPECT_EQ(csv.Out,
              "block,layer,group,kind,number,code,text,min_x,min_y,max_x,max_y,x,y,table,value,limit,status,"
              "since,detail\n");
    EXPECT_EQ(csv.Err, "Bez chýb.\n");
    Outcome json = Run("--header --format json --quiet --points 1 --block LE_00009.blk " + m);
    EXPECT_EQ(json.Status, 3);
    EXPECT_EQ(json.Out, "");
    EXPECT_EQ(json.Err, kWarning + "\n") << "the warning stays";
    Outcome version = Run("--version");
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("vexa-check ") + VEXA_VERSION + "\n");
}

// Ctrl+C during the first of three blocks: that block is finished and handed over, the
// others are not begun; the run says so and exits 3. The first block's findings are more
// than a pipe holds, so while the test does not read, the run cannot leave that block.
TEST_F(VexaCheck, CtrlCStopsAfterTheBlockBegun) {
    const fs::path bench = temp.Path() / "bench";
    testkit::WriteBenchMap(bench, 0.5, 3);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string err = (temp.Path() / "err").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(e, STDERR_FILENO);
        ::close(out[0]);
        ::setenv("TMPDIR", (temp.Path() / "tmp").c_str(), 1);
        ::execl(VEXA_CHECK_PROGRAM, VEXA_CHECK_PROGRAM, "--jobs", "1", "--lines", "63", "--points", "3", "--texts", "3",
                "--areas", "7", bench.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // The first findings are there: the run has begun (and Ctrl+C is caught).
    int waiting = 0;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         ::ioctl(out[0], FIONREAD, &waiting) == 0 && waiting == 0 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(waiting, 0);
    ::kill(pid, SIGINT);
    std::string printed;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);
    const std::string stderrText = ReadFileText(err);
    EXPECT_NE(stderrText.find("Kontrola bola zastavená; skontrolované bloky: 1.\n"), std::string::npos) << stderrText;
    EXPECT_EQ(stderrText.find("Bez chýb."), std::string::npos);
    // Every finding of the first block, printed whole and handed over; none of the others.
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = printed.find('\n', at)) != std::string::npos; at = end + 1, ++lines)
        EXPECT_EQ(printed.compare(at, 13, "LE_00001.blk\t"), 0) << printed.substr(at, end - at);
    EXPECT_GT(printed.size(), 70000u);
    EXPECT_EQ(printed.back(), '\n');
    EXPECT_EQ(Table(bench).size(), lines);
}

TEST_F(VexaCheck, HelpExplainsTheCommand) {
    Outcome o = Run("--help");
    EXPECT_EQ(o.Status, 0);
    // No line is wider than 88 characters (the finding codes' own texts aside), and every
    // option's text starts in the column after the longest option.
    std::istringstream lines(o.Out);
    for (std::string line; std::getline(lines, line) && line.rfind("Kódy chýb", 0) != 0;) {
        std::size_t chars = 0;
        for (unsigned char c : line) chars += (c & 0xC0) != 0x80;
        if (line.find("Ak sa nájde aspoň jedna chyba") == std::string::npos) {
            EXPECT_LE(chars, 88u) << line;
        }
    }
    for (const char* entry : {"\n  --standard SÚBOR   štandard", "\n  --lines MASKA      línie: súčet bitov 1 ",
                              "\n  --export SÚBOR     chyby", "\n  --crs SYSTÉM       súradnicový"})
        EXPECT_NE(o.Out.find(entry), std::string::npos) << entry;
    // Wrapped lines read as one text: the phrases below may cross a line end.
    std::string text;
    for (std::size_t i = 0; i < o.Out.size(); ++i) {
        if (o.Out[i] != '\n') {
            text += o.Out[i];
            continue;
        }
        text += ' ';
        while (i + 1 < o.Out.size() && o.Out[i + 1] == ' ') ++i;
    }
    EXPECT_EQ(o.Out.rfind("Použitie: vexa-check [--standard SÚBOR]", 0), 0u);
    EXPECT_NE(o.Out.find("--length-limit X"), std::string::npos);
    // The machine formats' English keys are documented in Slovak.
    EXPECT_NE(text.find("block=blok, layer=vrstva, group=skupina, kind=druh, number=číslo"), std::string::npos);
    EXPECT_NE(text.find("32 zhoda susedných plôch"), std::string::npos);
    EXPECT_NE(text.find("bit 1 (prípustnosť vo vrstve) rozhoduje o línii sám: s ním sa bity 2, 4, 8 a 16 neskúmajú "
                        "(bit 32 áno)"),
              std::string::npos);
    EXPECT_NE(text.find("plochy: 1 prípustnosť vo vrstve, 2 topológia plôch, 4 plocha <="),
              std::string::npos);
    // The formats, from their table.
    EXPECT_NE(text.find("[--format text|json|csv]"), std::string::npos);
    EXPECT_NE(text.find("výpis chýb: text (predvolený), json (JSON Lines), csv "), std::string::npos);
    EXPECT_NE(text.find("podľa prípony: .gpkg, .geojson (WGS 84), .shp, .csv, .fgb;"), std::string::npos);
    for (const char* status : {"\n  0  ", "\n  1  ", "\n  2  ", "\n  3  niektorý blok nebol skontrolovaný (nevyčistený, meno nevyhovuje štandardu"})
        EXPECT_NE(o.Out.find(status), std::string::npos) << status;
    // Every finding code with its group letter, from the table of finding kinds.
    EXPECT_NE(o.Out.find("   -73  L  32 línie medzi plochami s rovnakými atribútmi"), std::string::npos) << o.Out;
    EXPECT_NE(o.Out.find("   -93  P  1  tabuľky plôch"), std::string::npos);
}

// What the machine formats and the text lines carry: the status of each finding in CSV as
// in JSON, the block's layer for a table's finding, the measured value of a limit finding
// on its text line, and coordinates as the block stores them (no digits of the double).
TEST_F(VexaCheck, OutputsCarryStatusLayerMeasureAndStoredCoordinates) {
    const std::string m = Quote(map.string());
    Outcome first = Run("--quiet --db 1 --format csv --block LE_00001.blk " + m);
    ASSERT_EQ(first.Status, 1) << first.Err;
    // A table's finding: layer LE (the error table leaves it blank), new since this run.
    const std::string missing = "LE_00001.blk,LE,B,,,-92,DB b0001.dbf neexistuje,,,,,,,b0001.dbf,,,new,";
    ASSERT_NE(first.Out.find(missing), std::string::npos) << first.Out;
    const std::size_t at = first.Out.find(missing) + missing.size();
    const std::string since = first.Out.substr(at, first.Out.find_first_of(",\n", at) - at);
    EXPECT_EQ(since.size(), 19u) << since;  // YYYY-MM-DD HH:MM:SS
    EXPECT_EQ(Table().at(0).Vrstva, std::nullopt) << "the error table keeps its blank";
    Outcome json = Run("--quiet --db 1 --format json --block LE_00001.blk " + m);
    EXPECT_NE(json.Out.find("{\"block\":\"LE_00001.blk\",\"layer\":\"LE\",\"group\":\"B\",\"kind\":null,"
                            "\"number\":null,\"code\":-92,"),
              std::string::npos)
        << json.Out;
    EXPECT_EQ(json.Out.find("\"layer\":null"), std::string::npos) << json.Out;
    Outcome again = Run("--quiet --db 1 --format csv --block LE_00001.blk " + m);
    EXPECT_NE(
        again.Out.find("LE_00001.blk,LE,B,,,-92,DB b0001.dbf neexistuje,,,,,,,b0001.dbf,,,persisting," + since + ",\n"),
        std::string::npos)
        << again.Out;

    // The text line of a limit finding says what was measured against which limit.
    Outcome limits = Run("--quiet --lines 16 --areas 4 --length-limit 60 --area-limit 20000 " + m);
    EXPECT_NE(limits.Out.find("LE_00002.blk\tL\t13\t10\t-15\tpodlimitná dĺžka (50 m, limit 60 m)\n"), std::string::npos)
        << limits.Out;
    EXPECT_NE(limits.Out.find("LE_00002.blk\tL\t14\t21\t-15\tpodlimitná dĺžka (44.721 m, limit 60 m)\n"),
              std::string::npos);
    EXPECT_NE(limits.Out.find("LE_00003.blk\tP\t1\t1\t-74\tpodlimitná plocha (10000 m2, limit 20000 m2)\n"),
              std::string::npos);
    for (const TErrorRecord& r : Table())
        EXPECT_TRUE(r.Chyba == "podlimitná plocha" || r.Chyba == "podlimitná dĺžka")
            << "the table keeps the standard's text";

    // A point at -511681.06, -1210400.37 as the block stores it (6-byte reals whose doubles
    // print as -511681.0599999428...), of a kind not admitted in the layer.
    testkit::BlockSpec content;
    content.Points.push_back(testkit::MakePoint(1, 2, -511681.06L, -1210400.37L));
    testkit::WriteBlock(map / "LE_00005.blk", content);
    ASSERT_NE(FloatToText(TReal48::FromValue(-511681.06L).ToDouble()), "-511681.06") << "the double is noisy";
    Outcome point = Run("--quiet --points 1 --format json --block LE_00005.blk " + m);
    ASSERT_EQ(point.Status, 1) << point.Err;
    EXPECT_NE(point.Out.find("\"bbox\":[-511681.06,-1210400.37,-511681.06,-1210400.37],\"point\":[-511681.06,"
                             "-1210400.37],\"geometry\":{\"type\":\"Point\",\"coordinates\":[-511681.06,-1210400.37]}"),
              std::string::npos)
        << point.Out;
    Outcome csv = Run("--quiet --points 1 --format csv --block LE_00005.blk " + m);  // the second run
    EXPECT_NE(csv.Out.find(",-511681.06,-1210400.37,-511681.06,-1210400.37,-511681.06,-1210400.37,,,,persisting,"),
              std::string::npos)
        << csv.Out;
}

// The help's lists and the README's are the same tables': the CSV columns in their order,
// the layers of an exported finding; no option runs into its text.
TEST_F(VexaCheck, HelpAndReadmeListTheColumnsAndLayersOfTheTables) {
    Outcome help = Run("--help");
    ASSERT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("\n  --report SÚBOR.html\n                     správa o kontrole"), std::string::npos)
        << help.Out;
    std::string text;  // the help as one line
    for (std::size_t i = 0; i < help.Out.size(); ++i) {
        if (help.Out[i] != '\n') {
            text += help.Out[i];
            continue;
        }
        text += ' ';
        while (i + 1 < help.Out.size() && help.Out[i + 1] == ' ') ++i;
    }
    Outcome header = Run("--header --format csv --lines 1 --block LE_00001.blk " + Quote(map.string()));
    ASSERT_EQ(header.Status, 0) << header.Err;
    const std::string columns = header.Out.substr(0, header.Out.find('\n'));
    EXPECT_EQ(columns,
              "block,layer,group,kind,number,code,text,min_x,min_y,max_x,max_y,x,y,table,value,limit,status,since,"
              "detail");
    std::string listed;
    for (char c : columns) listed += c == ',' ? std::string(", ") : std::string(1, c);
    EXPECT_NE(text.find("stĺpce csv v tomto poradí: " + listed), std::string::npos) << text;
    const std::string layers =
        "findings_line, findings_point, findings_text, findings_area, findings_area_unclosed, "
        "findings_table, findings_area_walk";
    EXPECT_NE(text.find("; vrstvy " + layers), std::string::npos) << text;

    std::ifstream in(VEXA_README);
    ASSERT_TRUE(in) << VEXA_README;
    std::stringstream readme;
    readme << in.rdbuf();
    std::string doc = readme.str();
    for (std::size_t at; (at = doc.find('\n')) != std::string::npos;) doc.replace(at, 1, " ");
    EXPECT_NE(doc.find("    " + columns + " "), std::string::npos) << "the README shows the header row";
    for (std::size_t at = 0, end; at < layers.size(); at = end + 2) {
        end = std::min(layers.find(", ", at), layers.size());
        const std::string layer = layers.substr(at, end - at);
        EXPECT_NE(doc.find("`" + layer + "`"), std::string::npos) << layer;
        EXPECT_NE(doc.find(layer + " ("), std::string::npos) << "the README's listing of an export has " << layer;
    }
}

}  // namespace

#endif
