#include "common/Companions.h"
#include "common/FileNames.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vexa;

TEST(FileNames, PartsOfPaths) {
    EXPECT_EQ(ExtractFileName("C:\\mapa\\LE_1.blk\\l0012.dbf"), "l0012.dbf");
    EXPECT_EQ(ExtractFileName("/mapa/LE_1.blk/p0120.dbf"), "p0120.dbf");
    EXPECT_EQ(ExtractFileName("D:x.dbf"), "x.dbf");
    EXPECT_EQ(ExtractFilePath("/mapa/LE_1.blk/p0120.dbf"), "/mapa/LE_1.blk/");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/LE_1.blk"), ".blk");
    EXPECT_EQ(ChangeFileExt("/a/LE_1.blk", ".pra"), "/a/LE_1.pra");
    EXPECT_EQ(ChangeFileExt("/a.x/LE_1", ".pra"), "/a.x/LE_1.pra");
    EXPECT_EQ(IncludeTrailingDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingDelimiter("/a/b//"), "/a/b");
}

TEST(FileNames, FindsEntriesWhateverTheirLetterCase) {
    fs::path dir = fs::temp_directory_path() / ("vexa-fn-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "TN.LIN") << "x";
    auto found = FindEntryIgnoreCase(dir, "tn.lin");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->filename(), "TN.LIN");
    EXPECT_FALSE(FindEntryIgnoreCase(dir, "tn.crd").has_value());
    EXPECT_EQ(ResolveIgnoreCase(dir, "tn.crd"), dir / "tn.crd");  // new files keep the written name
    std::ofstream(dir / "tn.lin") << "y";
    EXPECT_EQ(FindEntryIgnoreCase(dir, "tn.lin")->filename(), "tn.lin");  // exact match wins
    fs::remove_all(dir);
}

// A companion file beside the program wins; an installed program's is in ../share/vexa;
// with neither the place beside the program is named.
TEST(FileNames, CompanionFilesBesideTheProgramOrInItsShareDirectory) {
    const fs::path root = fs::temp_directory_path() / ("vexa-companion-" + std::to_string(::getpid()));
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share" / "vexa");
    const std::string bin = (root / "bin").string() + "/";
    EXPECT_EQ(CompanionFile(bin, "Chyby.dbf"), bin + "Chyby.dbf");
    std::ofstream(root / "share" / "vexa" / "Chyby.dbf") << "installed";
    EXPECT_EQ(CompanionFile(bin, "Chyby.dbf"), (root / "share" / "vexa" / "Chyby.dbf").string());
    std::ofstream(root / "bin" / "Chyby.dbf") << "built";
    EXPECT_EQ(CompanionFile(bin, "Chyby.dbf"), bin + "Chyby.dbf");
    EXPECT_EQ(CompanionFile(bin, "StandardGXD.mdb"), bin + "StandardGXD.mdb");
    fs::remove_all(root);
}
