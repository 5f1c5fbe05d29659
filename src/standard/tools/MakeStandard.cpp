// Build tool: turns a standard written as SQL text into the SQLite form of the
// standard database.  Usage: vexa-make-standard INPUT.sql OUTPUT
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vexa-make-standard INPUT.sql OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    const std::filesystem::path target = argv[2];
    const std::filesystem::path temp = target.string() + ".tmp";
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::cerr << "cannot create " << temp << "\n";
        sqlite3_close(db);
        return 1;
    }
    char* error = nullptr;
    const std::string sql = "begin;\n" + text.str() + "\ncommit;";
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::cerr << argv[1] << ": " << (error ? error : "SQL error") << "\n";
        sqlite3_free(error);
        sqlite3_close(db);
        std::filesystem::remove(temp, ec);
        return 1;
    }
    sqlite3_close(db);
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::cerr << "cannot write " << target << ": " << ec.message() << "\n";
        std::filesystem::remove(temp, ec);
        return 1;
    }
    return 0;
}
