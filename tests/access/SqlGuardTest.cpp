// The guard on the working copy: a standard's saved query reads the working copy and
// changes only TestTab; every escape is refused with an error naming the query.
#include "standard/StandardTestSupport.h"
#include "access/AccessDb.h"
#include "access/SqlGuard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

class SqlGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        stdtest::BuildSqlite(dir_ / "other.sqlite", "create table Victim (a); insert into Victim values (1);");
        stdtest::BuildSqlite(dir_ / "work.sqlite",
                             "create table TestTab (Cislo INTEGER, Plocha REAL);"
                             "insert into TestTab values (1, NULL), (2, 3.5);"
                             "create table Druhy (Kod INTEGER); insert into Druhy values (7);"
                             "create table Dotazy (Nazov TEXT, SQL TEXT);");
        db_ = std::make_unique<TAccessDb>(dir_ / "work.sqlite");
    }
    void Save(const std::string& name, const std::string& sql) {
        db_->ExecuteNative("insert into Dotazy values (:n, :s)", {{"n", TDbValue(name)}, {"s", TDbValue(sql)}});
    }
    std::string Run(const std::string& name) {
        try {
            db_->ExecuteSaved(name);
        } catch (const EAccessDbError& e) {
            return e.what();
        }
        return "(no error)";
    }
    std::int64_t Count(const std::string& table) {
        return db_->SelectNative("select count(*) from " + table).Rows.at(0).at(0).AsInteger();
    }
    testkit::TempDir dir_;
    std::unique_ptr<TAccessDb> db_;
};

TEST_F(SqlGuardTest, TheTableUnderTestMayChangeAndAnythingMayBeRead) {
    Save("qFix", "UPDATE TestTab SET TestTab.Plocha = 0 WHERE TestTab.Plocha Is Null;");
    Save("qDel", "DELETE FROM TestTab WHERE TestTab.Cislo In (SELECT Kod FROM Druhy);");
    Save("qIns", "INSERT INTO TestTab (Cislo) SELECT Kod FROM Druhy;");
    Save("qSel", "SELECT * FROM TestTab;");
    EXPECT_EQ(Run("qFix"), "(no error)");
    EXPECT_EQ(db_->SelectNative("select Plocha from TestTab where Cislo = 1").Rows[0][0], TDbValue(0.0));
    EXPECT_EQ(Run("qIns"), "(no error)");
    EXPECT_EQ(Count("TestTab"), 3);
    EXPECT_EQ(Run("qDel"), "(no error)");
    EXPECT_EQ(Count("TestTab"), 2);
    EXPECT_EQ(Run("qSel"), "(no error)");
    // The system's own schema work stays possible outside a saved query.
    EXPECT_NO_THROW(db_->ExecuteNative("drop table TestTab"));
    EXPECT_NO_THROW(db_->ExecuteNative("create table TestTab (a)"));
}

TEST_F(SqlGuardTest, EscapesAreRefusedWithTheQueryNamed) {
    const std::string other = dir_ / "other.sqlite", copy = dir_ / "copy.sqlite";
    const struct {
        std::string Name, Sql, Why;
    } cases[] = {
        {"qAttach", "ATTACH DATABASE '" + other + "' AS o", "príkaz ATTACH"},
        {"qVacuum", "VACUUM INTO '" + copy + "'", "príkaz VACUUM"},
        {"qVacuum2", "VACUUM", "príkaz VACUUM"},
        {"qOther", "UPDATE Druhy SET Kod = 8", "zmena tabuľky Druhy"},
        {"qDropDotazy", "DELETE FROM Dotazy", "zmena tabuľky Dotazy"},
        {"qTwo", "UPDATE TestTab SET Plocha = 1; DROP TABLE Druhy", "viac ako jeden príkaz"},
        {"qTwoUpdates", "UPDATE TestTab SET Plocha = 1; UPDATE TestTab SET Plocha = 2", "viac ako jeden príkaz"},
        {"qDeep", "UPDATE TestTab SET Plocha = " + std::string(4000, '(') + "1" + std::string(4000, ')'),
         "vnorenie hlbšie ako 40 úrovní zátvoriek"},
        {"qDrop", "DROP TABLE Druhy", "príkaz DROP"},
        {"qCreate", "CREATE TABLE x (a)", "príkaz CREATE"},
        {"qPragma", "PRAGMA writable_schema = 1", "príkaz PRAGMA"},
        {"qBegin", "BEGIN", "príkaz BEGIN"},
        {"qExt", "SELECT load_extension('/tmp/x.so')", "funkcia load_extension"},
        {"qCte", "WITH x AS (SELECT 1) DELETE FROM Druhy", "zmena tabuľky Druhy"},
        {"qReplace", "REPLACE INTO Druhy VALUES (9)", "zmena tabuľky Druhy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Save(c.Name, c.Sql);
        EXPECT_EQ(Run(c.Name), "Uložený dotaz bol odmietnutý: " + c.Why + "\r(" + c.Name + ")");
    }
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(Count("Druhy"), 1);
    EXPECT_EQ(db_->SelectNative("select Kod from Druhy").Rows[0][0], TDbValue(7));
    EXPECT_EQ(Count("Dotazy"), std::int64_t(std::size(cases)));
    EXPECT_EQ(db_->SelectNative("select count(*) from TestTab where Plocha = 1").Rows[0][0], TDbValue(0));
    // The other database was never opened, let alone changed.
    stdtest::BuildSqlite(dir_ / "check.sqlite", "select 1");
    TAccessDb o(other);
    EXPECT_EQ(o.SelectNative("select count(*) from Victim").Rows[0][0], TDbValue(1));
    // A trigger of the standard that writes elsewhere when TestTab changes is refused too.
    db_->ExecuteNative("create trigger t after update on TestTab begin delete from Druhy; end");
    Save("qTrig", "UPDATE TestTab SET Plocha = 5");
    EXPECT_EQ(Run("qTrig"), "Uložený dotaz bol odmietnutý: zmena tabuľky Druhy\r(qTrig)");
    EXPECT_EQ(Count("Druhy"), 1);
}

TEST_F(SqlGuardTest, TheConnectionNeverAttachesAnotherFile) {
    EXPECT_THROW(db_->ExecuteNative("attach database '" + (dir_ / "other.sqlite") + "' as o"), EAccessDbError);
    EXPECT_THROW(db_->Select("select 1 from TestTab; attach database '" + (dir_ / "x.sqlite") + "' as o"),
                 EAccessDbError);
    EXPECT_FALSE(fs::exists(dir_ / "x.sqlite"));
}

}  // namespace
