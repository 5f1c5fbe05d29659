// Exceptions of many findings at once (the error browser's rows selected): one rewrite of
// the table for all of them, all or nothing, and fingerprints read block by block.
#include "common/Exception.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/ReviewTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <tuple>

using namespace vexa;
using namespace vexa::review;
using namespace vexa::reviewtest;

namespace {

class ExceptionsBatch : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    std::string MapDir() const { return map.string() + "/"; }
    TReviewException Exception(const std::string& block, int number, const std::string& reason) const {
        TReviewException e;
        e.Block = block;
        e.Layer = block.substr(0, 2);
        e.Group = "B";
        e.Kind = 5;
        e.Number = number;
        e.Code = -32;
        e.Text = "uhol otočenia";
        e.Fingerprint = "0123456789abcdef";
        e.Reason = reason;
        e.User = "tester";
        e.Date = {2026, 12, 10};
        return e;
    }
    std::vector<std::string> Reasons() const {
        std::vector<std::string> r;
        for (const TReviewException& e : LoadExceptions(MapDir()))
            r.push_back(e.Block + ":" + std::to_string(*e.Number) + " " + e.Reason);
        return r;
    }
    // The table file's identity: a rewrite puts a new file in its place.
    ino_t Inode() const {
        struct stat st {};
        return ::stat((map / kExceptionsFileName).c_str(), &st) == 0 ? st.st_ino : 0;
    }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

TEST_F(ExceptionsBatch, ManyAreAddedReplacingTheirFindingsOnesAndTheLaterOfTwoStays) {
    AddException(MapDir(), Exception("LE_00002.blk", 3, "starý dôvod"));
    AddException(MapDir(), Exception("LE_00003.blk", 9, "iný nález"));
    AddExceptions(MapDir(), {Exception("LE_00002.blk", 1, "spolu"), Exception("LE_00002.blk", 3, "spolu"),
                             Exception("LE_00002.blk", 2, "prvý raz"), Exception("LE_00002.blk", 2, "spolu")});
    EXPECT_EQ(Reasons(), (std::vector<std::string>{"LE_00003.blk:9 iný nález", "LE_00002.blk:1 spolu",
                                                   "LE_00002.blk:3 spolu", "LE_00002.blk:2 spolu"}));
    // None: the table is not touched.
    const ino_t before = Inode();
    AddExceptions(MapDir(), {});
    EXPECT_EQ(Inode(), before);
}

TEST_F(ExceptionsBatch, OneReasonTooLongLeavesTheTableAsItWas) {
    AddException(MapDir(), Exception("LE_00002.blk", 3, "ostáva"));
    const ino_t before = Inode();
    EXPECT_THROW(AddExceptions(MapDir(), {Exception("LE_00002.blk", 1, "krátky"),
                                          Exception("LE_00002.blk", 2, std::string(255, 'x'))}),
                 vexa::Exception);
    EXPECT_EQ(Inode(), before);
    EXPECT_EQ(Reasons(), std::vector<std::string>{"LE_00002.blk:3 ostáva"});
}

TEST_F(ExceptionsBatch, ManyAreRemovedInOneRewriteAndNoneLeavesTheFile) {
    AddExceptions(MapDir(), {Exception("LE_00002.blk", 1, "a"), Exception("LE_00002.blk", 2, "b"),
                             Exception("LE_00003.blk", 1, "c")});
    const std::vector<TReviewException> kept = LoadExceptions(MapDir());
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(RemoveExceptions(MapDir(), {kept[0].Key(), kept[2].Key(), "no such key", kept[0].Key()}), 2u);
    EXPECT_EQ(Reasons(), std::vector<std::string>{"LE_00002.blk:2 b"});
    const ino_t before = Inode();
    EXPECT_EQ(RemoveExceptions(MapDir(), {kept[0].Key()}), 0u);
    EXPECT_EQ(Inode(), before) << "nothing removed: not rewritten";
    EXPECT_FALSE(RemoveException(MapDir(), kept[2].Key()));
    EXPECT_TRUE(RemoveException(MapDir(), kept[1].Key()));
    EXPECT_TRUE(LoadExceptions(MapDir()).empty());
}

// The fingerprints of many elements, block after block and back, are those of one element
// asked alone; a block that cannot be read and an element that is none give nothing.
TEST_F(ExceptionsBatch, FingerprintsOfManyElementsAreThoseOfEachAlone) {
    TFingerprints many;
    const std::string b1 = MapDir() + "LE_00001.blk", b2 = MapDir() + "LE_00002.blk", b3 = MapDir() + "LE_00003.blk";
    const std::vector<std::tuple<std::string, std::string, int>> asked = {{b2, "B", 1}, {b2, "B", 3}, {b1, "B", 1},
                                                                          {b3, "L", 1}, {b2, "B", 2}, {b2, "L", 2}};
    for (const auto& [block, group, number] : asked) {
        const std::optional<std::string> alone = ElementFingerprint(block, group, number);
        ASSERT_TRUE(alone) << block << " " << group << number;
        EXPECT_EQ(many.Of(block, group, number), alone) << block << " " << group << number;
    }
    EXPECT_EQ(many.Of(b2, "B", 99), std::nullopt);
    EXPECT_EQ(many.Of(MapDir() + "none.blk", "B", 1), std::nullopt);
    EXPECT_EQ(many.Of(MapDir() + "none.blk", "L", std::nullopt), std::string(kNoElement));
    EXPECT_EQ(many.Of(b2, "B", 2), ElementFingerprint(b2, "B", 2)) << "after a block that cannot be read";
    // An exception made through them is the one made alone.
    const TReviewException alone = MakeException(MapDir(), "LE_00002.blk", "LE", "B", 5, 3, -32, "uhol", "d");
    const TReviewException through = MakeException(MapDir(), "LE_00002.blk", "LE", "B", 5, 3, -32, "uhol", "d", &many);
    EXPECT_EQ(through.Fingerprint, alone.Fingerprint);
    EXPECT_THROW(MakeException(MapDir(), "LE_00002.blk", "LE", "B", 5, 99, -32, "uhol", "d", &many), vexa::Exception);
}

}  // namespace
