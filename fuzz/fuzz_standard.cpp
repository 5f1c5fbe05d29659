// The standard loader on any file: format detection, the SQLite copy or the Jet import in
// its child process, the identity check and the lists; a loaded standard's saved queries
// are run against an empty TestTab under the SQL guard.
#include "FuzzInput.h"
#include "common/Exception.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string templatePath = [] {
        const auto dir = vexafuzz::Scratch("template");
        const std::string path = (dir / "Chyby.dbf").string();
        TErrorTable::CreateTemplate(path);
        ::setenv("VEXA_JET_TIMEOUT", "5", 1);
        return path;
    }();
    const auto dir = vexafuzz::Scratch("standard");
    const std::string path = (dir / "StandardGXD.mdb").string();
    vexafuzz::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
    try {
        TBlkStandardGXD standard(path, templatePath);
        standard.Description();
        TAccessDb& db = standard.Database();
        db.ExecuteNative("drop table if exists TestTab");
        db.ExecuteNative("create table TestTab (Cislo INTEGER, Plocha REAL, Meno TEXT)");
        int n = 0;
        for (const std::string& name : db.SavedQueryNames()) {
            if (++n > 20) break;
            try {
                db.ExecuteSaved(name);
            } catch (const vexa::Exception&) {}
        }
    } catch (const vexa::Exception&) {
    } catch (const std::filesystem::filesystem_error&) {}
    return 0;
}
