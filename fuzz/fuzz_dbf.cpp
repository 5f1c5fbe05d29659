// The dBASE layer on any table: open, the field list, every row's values, and a filter
// (its expression taken from the input) over the rows.
#include "FuzzInput.h"
#include "common/Exception.h"
#include "dbase/DbfFilter.h"
#include "dbase/TableDBF.h"

#include <cstdint>
#include <string>

using namespace vexa;

namespace {
const std::vector<std::string> kNames = {"t.dbf", "filter", "t.dbt"};

void ReadAll(TTableDBF& t) {
    TFldValList values;
    int rows = 0;
    for (t.First(); !t.Eof() && rows < 1000; t.Next(), ++rows) t.GetValues(values);
    t.RecordCount();
    t.VisibleCount();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto files = vexafuzz::SplitFiles(data, size, kNames);
    const auto dir = vexafuzz::Scratch("dbf");
    vexafuzz::WriteFile(dir / "t.dbf", files["t.dbf"]);
    if (files.count("t.dbt")) vexafuzz::WriteFile(dir / "t.dbt", files["t.dbt"]);
    const std::string filter = files.count("filter") ? files["filter"] : std::string();

    TTableDBF t;
    t.SetDatabaseName(dir.string());
    t.SetTableName((dir / "t.dbf").string());
    try {
        t.Open();
        TFldDefList fields;
        t.GetFields(fields);
        ReadAll(t);
        if (!filter.empty()) {
            t.SetFilter(filter);
            t.SetFiltered(true);
            ReadAll(t);
        }
        t.Close();
    } catch (const vexa::Exception&) {
    } catch (const std::filesystem::filesystem_error&) {}
    try {
        TDbfFilter::Parse(filter);
    } catch (const vexa::Exception&) {}
    return 0;
}
