#pragma once
// Reading an Access (Jet) standard file through libmdb into an SQLite working copy.
#include <optional>
#include <string>
#include <vector>

namespace vexa {

// The database password kept in a Jet 4 file's header page; "" when the file has none.
// Nothing when the file cannot be read or is not Jet 4 (the password cannot be told).
std::optional<std::string> ReadJetPassword(const std::string& jetPath);

struct TSavedQuery {
    std::string Name;
    std::string Sql;   // Access SQL rebuilt from the query definition (the stored text of
                       // data-definition and pass-through queries)
    std::string Kind;  // select, make-table, append, update, delete, crosstab, data-definition,
                       // pass-through or union
};

// The saved queries of a Jet file (MSysObjects rows of type 5, MSysQueries rows),
// each rebuilt into Access SQL; hidden "~" queries are left out. Raises EAccessDbError.
std::vector<TSavedQuery> ReadJetSavedQueries(const std::string& jetPath);

// Creates sqlitePath (replacing a file there) holding every user table of the Jet file
// with its columns' types and values (Yes/No as -1/0, text UTF-8, dates as
// "YYYY-MM-DD[ HH:MM:SS]" text, NULL kept apart from ""), and the saved queries as
// Dotazy(Nazov, SQL, Druh) unless the file has a table of that name. Raises EAccessDbError.
void ImportJetDatabase(const std::string& jetPath, const std::string& sqlitePath);

}  // namespace vexa
