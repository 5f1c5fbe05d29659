// The binding between a block's elements and their dBASE attribute tables:
// table names by group and kind, one element's row, and the group and kind
// that a table's file name stands for.
#include "block/BlkObj.h"

#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"

#include <climits>
#include <exception>

namespace vexa {

std::string TBlk::AttributeFileName(TBlkElementGroup group, std::int16_t kind) {
    CheckOpened();
    const char* pattern = nullptr;
    switch (group) {
    case egLine: pattern = "l%0.4d.dbf"; break;
    case egPoint: pattern = "b%0.4d.dbf"; break;
    case egArea: pattern = "p%0.4d.dbf"; break;
    default: return {};  // texts have no attribute tables
    }
    std::string name = Format(pattern, static_cast<int>(kind));
    // Tables written on Windows may differ in letter case ("L0012.DBF").
    auto found = FindEntryIgnoreCase(fs::path(FPath), name);
    if (!found) return {};
    std::error_code ec;
    if (!fs::is_regular_file(*found, ec)) return {};
    return FPath + found->filename().string();
}

void TBlk::ReadAttributes(TBlkElementGroup group, std::int16_t kind, std::int32_t number, TFldValList& values) {
    values.clear();
    const std::string tablePath = AttributeFileName(group, kind);
    if (tablePath.empty()) return;
    try {
        TTableDBF table;
        table.SetDatabaseName(FPath);
        table.SetTableName(tablePath);
        table.SetFilter(Format("Cislo=%d", number));
        table.SetFiltered(true);
        table.OpenTable();
        if (table.Active() && table.VisibleCount() > 0) {
            table.First();
            table.GetValues(values);
        }
        table.Close();
    } catch (const std::exception& e) {
        values.clear();
        throw EBlkDBError(FPath, tablePath, SystemCause(e));
    }
}

void TBlk::ParseAttributeFileName(const std::string& fileName, TBlkElementGroup& group, std::int32_t& kind) {
    // The name part after the last backslash or colon (a slash too), without its extension.
    std::string name = ChangeFileExt(ExtractFileName(fileName), "");
    // Lines, points and areas have attribute tables; texts do not.
    const auto found = name.empty() ? std::nullopt : GroupOfLetter(name[0]);
    if (!found || *found == egText) throw Exception("Neznámy prvok");
    group = *found;
    std::string rest = name.substr(1);
    auto value = TextToInt(rest);
    if (!value || *value < INT32_MIN || *value > INT32_MAX)
        throw EConvertError(Format("'%s' is not a valid integer value", rest.c_str()));
    kind = static_cast<std::int32_t>(*value);
}

}  // namespace vexa
