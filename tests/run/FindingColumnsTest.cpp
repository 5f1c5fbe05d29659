// The table of finding columns behind the error table's and the exceptions table's fields,
// the printed formats' columns and headers, and the GIS layers' fields.
#include "export/GisLayers.h"
#include "kit/BlockKit.h"
#include "review/Exceptions.h"
#include "run/FindingPrinter.h"
#include "dbase/TableDBF.h"
#include "standard/ErrorTable.h"
#include "standard/FindingColumns.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vexa;

namespace {

// A dBASE file's field descriptors as "NAME TYPE WIDTH".
std::vector<std::string> HeaderFields(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    for (std::size_t at = 32; at + 32 <= bytes.size() && bytes[at] != '\x0D'; at += 32) {
        const std::string name = bytes.substr(at, 11).c_str();
        fields.push_back(name + " " + bytes[at + 11] + " " + std::to_string(static_cast<unsigned char>(bytes[at + 16])));
    }
    return fields;
}

TEST(FindingColumns, TheErrorTablesHeaderIsTheTableOfColumns) {
    testkit::TempDir temp;
    const std::string path = temp / "Chyby.DBF";
    TErrorTable::CreateTemplate(path);
    std::vector<std::string> fromTable;
    for (const TFindingColumnDef& c : kFindingColumns)
        fromTable.push_back(std::string(c.DbfName) + " " + LetterOf(c.DbfType) + " " + std::to_string(c.Width));
    EXPECT_EQ(HeaderFields(path), fromTable);
    // The columns other tools read stay as they are, byte for byte.
    EXPECT_EQ(fromTable, (std::vector<std::string>{"Id N 4", "Blok C 254", "Vrstva C 2", "Prvok C 1", "Druh N 6",
                                                   "Cislo N 11", "Chyba C 254"}));
    // Texts are cut to the table's widths.
    const TErrorRecord fitted = TErrorTable::Fit({-31, "B", std::string("LEX"), "BX", 1, 2, std::string(300, 'a')});
    EXPECT_EQ(fitted.Vrstva, "LE");
    EXPECT_EQ(fitted.Prvok, "B");
    EXPECT_EQ(fitted.Chyba.size(), 254u);
}

TEST(FindingColumns, TheExceptionsTableKeepsTheFindingsColumnsThenItsOwn) {
    // The header of a table made with the fields, as Vynimky.DBF is written.
    testkit::TempDir temp;
    const std::string path = temp / "Vynimky.DBF";
    const TFldDefList fields = review::ExceptionFields();
    TTableDBF::CreateTable(path, fields, 1250);
    EXPECT_EQ(HeaderFields(path), (std::vector<std::string>{"Blok C 254", "Vrstva C 2", "Prvok C 1", "Druh N 6", "Cislo N 11",
                                              "Id N 4", "Chyba C 254", "Odtlacok C 16", "Dovod C 254",
                                              "Pouzivatel C 32", "Datum D 8", "Tabulka C 64"}));
    for (std::size_t i = 0; i < std::size(kExceptionColumns); ++i)
        EXPECT_EQ(fields[i].Name, ColumnDef(kExceptionColumns[i]).DbfName);
}

TEST(FindingColumns, ThePrintedFormatsAndTheGisLayersNameTheColumnsAsTheTable) {
    EXPECT_EQ(run::TextHeader(), "blok\tskupina\tčíslo\tdruh\tkód\ttext");
    EXPECT_EQ(run::CsvHeader(), "block,layer,group,kind,number,code,text,min_x,min_y,max_x,max_y,x,y,table,value,"
                                "limit,status,since,detail");
    const std::string said = run::OutputKeysSaid();
    EXPECT_EQ(said.rfind("block=blok, layer=vrstva, group=skupina, kind=druh, number=číslo, code=kód, "
                         "text=text chyby, min_x..max_y=obdĺžnik, x,y=bod, table=",
                         0),
              0u)
        << said;
    for (const gisexport::TLayerDef& layer : gisexport::FindingLayerDefs()) {
        SCOPED_TRACE(layer.Name);
        ASSERT_GE(layer.Fields.size(), std::size(kPrintedColumns) + 2);
        for (std::size_t i = 0; i < std::size(kPrintedColumns); ++i)
            EXPECT_EQ(layer.Fields[i].Name, ColumnDef(kPrintedColumns[i]).Key);
        EXPECT_EQ(layer.Fields[3].Type, gisexport::TFieldType::Integer) << "kind";
        EXPECT_EQ(layer.Fields[7].Name, "value");
        EXPECT_EQ(layer.Fields[8].Name, "limit");
        EXPECT_EQ(layer.Fields[8].Type, gisexport::TFieldType::Real);
    }
}

TFinding LimitFinding() {
    TFinding f;
    f.Record = {-15, "LE_00002.blk", "LE", "L", 3, 12, "dĺžka, \"krátka\""};
    f.Value = 0.5;
    f.Limit = 1;
    return f;
}

TEST(FindingColumns, TheStatusIsPrintedFromTheFindingItself) {
    TFinding f = LimitFinding();
    // Without a review: no status in the JSON line, empty columns in the CSV row.
    EXPECT_EQ(run::FindingJson(f), "{\"block\":\"LE_00002.blk\",\"layer\":\"LE\",\"group\":\"L\",\"kind\":3,"
                                   "\"number\":12,\"code\":-15,\"text\":\"dĺžka, \\\"krátka\\\"\",\"bbox\":null,"
                                   "\"point\":null,\"geometry\":null,\"value\":0.5,\"limit\":1}");
    EXPECT_EQ(run::FindingCsv(f), "LE_00002.blk,LE,L,3,12,-15,\"dĺžka, \"\"krátka\"\"\",,,,,,,,0.5,1,,,");
    f.Status = "persisting";
    f.Since = "2026-12-09 15:00:01";
    const std::string json = run::FindingJson(f);
    EXPECT_NE(json.find(",\"status\":\"persisting\",\"since\":\"2026-12-09 15:00:01\"}"), std::string::npos) << json;
    EXPECT_EQ(run::FindingCsv(f), "LE_00002.blk,LE,L,3,12,-15,\"dĺžka, \"\"krátka\"\"\",,,,,,,,0.5,1,persisting,"
                                  "2026-12-09 15:00:01,");
    // A table's finding: its layer from the block's name, its null columns null or empty.
    TFinding table;
    table.Record = {-91, "LE_00002.blk", std::nullopt, "L", std::nullopt, std::nullopt, "DB l0021.dbf neexistuje"};
    EXPECT_EQ(run::FindingCsv(table).substr(0, 48), "LE_00002.blk,LE,L,,,-91,DB l0021.dbf neexistuje,");
    EXPECT_NE(run::FindingJson(table).find("\"kind\":null,\"number\":null,\"code\":-91"), std::string::npos);
    EXPECT_EQ(FindingLine(table.Record), "LE_00002.blk\tL\t\t\t-91\tDB l0021.dbf neexistuje");
    EXPECT_EQ(run::Measured(LimitFinding()), " (0.5 m, limit 1 m)");
}

}  // namespace
