// The block list of a map: name normalisation, enumeration, order, conforming
// status and the letter case of entries on disk.
#include "kit/BlockKit.h"
#include "run/BlockList.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

TEST(NormalizeBlkName, LayerCodeAndNumberLetters) {
    EXPECT_EQ(NormalizeBlkName("le_12345.blk"), "LE_12345.blk");
    EXPECT_EQ(NormalizeBlkName("SL_Adm01.BLK"), "SL_ADM01.blk");
    EXPECT_EQ(NormalizeBlkName("SL_Axy01.blk"), "SL_Axy01.blk");
    EXPECT_EQ(NormalizeBlkName("sl_aDm01.blk"), "SL_ADm01.blk") << "only a lower-case \"dm\" is raised";
    EXPECT_EQ(NormalizeBlkName("x_1.blk"), "x_1.blk");
    EXPECT_EQ(NormalizeBlkName("abc.blk"), "abc.blk");
    EXPECT_EQ(NormalizeBlkName("le_.Blk"), "LE_.blk");
    EXPECT_EQ(NormalizeBlkName("le_a"), "LE_A.blk") << "a name without extension keeps all of it";
    EXPECT_EQ(NormalizeBlkName("le_12.345.blk"), "LE_12.345.blk") << "only the last extension goes";
    EXPECT_EQ(NormalizeBlkName("a.b/le_1"), "a.b/le_1.blk") << "a dot before the last delimiter is no extension";
    EXPECT_EQ(NormalizeBlkName("čk_ádm.blk"), "čK_áDM.blk") << "characters, not bytes; only a-z change";
}

TEST(IsConformingBlkName, UnderscoreThirdAndKnownLayer) {
    auto known = [](const std::string& layer) { return layer == "LE" || layer == "HR"; };
    EXPECT_TRUE(IsConformingBlkName("LE_1.blk", known));
    EXPECT_FALSE(IsConformingBlkName("SL_1.blk", known));
    EXPECT_FALSE(IsConformingBlkName("LEX1.blk", known));
    EXPECT_FALSE(IsConformingBlkName("L_", known));
}

class MapListing : public ::testing::Test {
protected:
    void Dir(const std::string& name, const std::string& marker = "") {
        fs::create_directories(map / name);
        if (!marker.empty()) std::ofstream(map / name / marker) << marker;
    }
    void File(const std::string& name) { std::ofstream(map / name) << "x"; }
    bool Has(const std::string& name) const {
        for (const auto& e : fs::directory_iterator(map))
            if (e.path().filename() == name) return true;
        return false;
    }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    TLayerKnownFn known = [](const std::string& layer) { return layer == "LE" || layer == "HR" || layer == "SL"; };
};

TEST_F(MapListing, RowsSortedNormalisedAndMarked) {
    Dir("le_12345.blk", "inside");
    Dir("SL_Adm01.BLK");
    Dir("abc.blk");
    Dir("x_1.blk");
    Dir("ce_1.blk");   // CE is not a known layer here
    File("HR_2.blk");  // a map entry that is not a directory is no block
    Dir(".hidden.blk");
    Dir("notes");
    File("readme.txt");
    auto rows = ListMapBlocks(map.string() + "/", known);
    std::vector<TBlockRow> expected = {{"0", "", "abc.blk"},
                                       {"0", "", "CE_1.blk"},
                                       {"1", "3", "LE_12345.blk"},
                                       {"1", "3", "SL_ADM01.blk"},
                                       {"0", "", "x_1.blk"}};
    EXPECT_EQ(rows, expected);
    // Conforming entries carry the listed letter case on disk now, contents and all.
    EXPECT_TRUE(Has("LE_12345.blk"));
    EXPECT_FALSE(Has("le_12345.blk"));
    EXPECT_TRUE(fs::exists(map / "LE_12345.blk" / "inside"));
    EXPECT_TRUE(Has("SL_ADM01.blk"));
    EXPECT_TRUE(Has("ce_1.blk")) << "not conforming: left as it is";
    EXPECT_TRUE(Has("x_1.blk"));
}

TEST_F(MapListing, EntriesThatNormaliseAlikeAreListedOnceAndNothingIsReplaced) {
    Dir("le_5.blk", "lower");
    Dir("LE_5.blk");  // already spelled as listed: it is the listed one
    Dir("HR_7.BLK", "upper");
    Dir("hr_7.blk", "lower");
    auto rows = ListMapBlocks(map.string(), known);
    EXPECT_EQ(rows, (std::vector<TBlockRow>{{"1", "3", "HR_7.blk"}, {"1", "3", "LE_5.blk"}}));
    EXPECT_TRUE(fs::exists(map / "le_5.blk" / "lower"));
    EXPECT_TRUE(fs::is_empty(map / "LE_5.blk"));
    // Of two differently spelled entries the first in byte order takes the listed name.
    EXPECT_TRUE(fs::exists(map / "HR_7.blk" / "upper"));
    EXPECT_TRUE(fs::exists(map / "hr_7.blk" / "lower"));
}

TEST_F(MapListing, MissingOrEmptyMapAndFailingStandard) {
    EXPECT_TRUE(ListMapBlocks((temp.Path() / "none").string(), known).empty());
    fs::create_directories(map);
    EXPECT_TRUE(ListMapBlocks(map.string(), known).empty());
    Dir("LE_1.blk");
    auto failing = [](const std::string&) -> bool { throw std::runtime_error("Štandard nebol otvorený."); };
    EXPECT_THROW(ListMapBlocks(map.string(), failing), std::runtime_error);
}

}  // namespace
