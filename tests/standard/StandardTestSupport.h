#pragma once
// Shared helpers of the standard's tests.
#include <string>
#include <vector>

namespace vexa::stdtest {

// A file of tests/data/standard.
std::string DataFile(const std::string& name);
// A file the build writes beside the programs (Chyby.dbf, StandardGXD.mdb).
std::string BinFile(const std::string& name);
std::string ReadText(const std::string& path);
// Runs SQL text into a new SQLite database at path.
void BuildSqlite(const std::string& path, const std::string& sql);
// The test standard (tests/data/standard/StandardGXD.sql) in SQLite form at path,
// with extra SQL run after it.
void BuildTestStandard(const std::string& path, const std::string& extraSql = "");
// Names of the entries of a directory.
std::vector<std::string> DirEntries(const std::string& dir);

} // namespace vexa::stdtest
