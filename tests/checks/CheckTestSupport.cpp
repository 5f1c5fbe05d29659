#include "checks/CheckTestSupport.h"

#include "common/FileNames.h"
#include "common/Text.h"
#include "ui/CheckRun.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace vexa::checkstest {

std::string StandardFile() { return std::string(VEXA_TEST_DATA) + "/checks/StandardGXD.mdb"; }
std::string TemplateFile() { return std::string(VEXA_BIN_DIR) + "/Chyby.dbf"; }

std::vector<TErrorRecord> ReadErrorRows(const std::string& path) { return ReadErrorTable(path); }

TErrorRecord Finding(std::int32_t id, const std::string& block, const std::string& letter, std::int32_t kind,
                     std::int32_t number, const std::string& text) {
    TErrorRecord r;
    r.Id = id;
    r.Blok = block;
    r.Vrstva = block.substr(0, 2);
    r.Prvok = letter;
    r.Druh = kind;
    r.Cislo = number;
    r.Chyba = text;
    return r;
}

std::string Describe(const std::vector<TErrorRecord>& records) {
    std::ostringstream out;
    for (const TErrorRecord& r : records) {
        out << r.Id << " " << r.Blok << " " << r.Vrstva.value_or("<null>") << " " << r.Prvok << " "
            << (r.Druh ? std::to_string(*r.Druh) : "<null>") << " " << (r.Cislo ? std::to_string(*r.Cislo) : "<null>")
            << " " << r.Chyba << "\n";
    }
    return out.str();
}

void CheckFixture::SetUp() {
    namespace fs = std::filesystem;
    fs::create_directories(Temp.Path() / "map");
    fs::create_directories(Temp.Path() / "tmp");
    MapDir = IncludeTrailingDelimiter((Temp.Path() / "map").string());
    // The standard keeps its working copies in the temporary directory: one per test.
    if (const char* old = std::getenv("TMPDIR")) {
        FHadTmp = true;
        FOldTmp = old;
    }
    ::setenv("TMPDIR", (Temp.Path() / "tmp").c_str(), 1);
    Standard = std::make_unique<TBlkStandardGXD>(StandardFile(), TemplateFile(), UI);
    UI = CountingUI{};  // count what the passes do, not the loading of the standard
}

void CheckFixture::TearDown() {
    Blk.Close();
    Standard.reset();
    if (FHadTmp)
        ::setenv("TMPDIR", FOldTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

std::string CheckFixture::Write(const testkit::BlockSpec& content, const std::string& name) {
    std::string path = MapDir + name;
    testkit::WriteBlock(path, content);
    return path;
}

void CheckFixture::Open(const std::string& name) { Blk.Open(MapDir + name); }

std::vector<TErrorRecord> CheckFixture::Rows() const { return ReadErrorRows(Standard->ErrorTablePath()); }

} // namespace vexa::checkstest
