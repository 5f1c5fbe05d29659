// A chosen dBASE table as TestTab outside a check run (the query tool), and its
// changes written back the way the attribute checks write them.
#include "standard/BlkStandardGXD.h"

namespace vexa {

void TBlkStandardGXD::LinkTestTable(const std::string& dbfPath) {
    FCurrentDbfPath = dbfPath;
    LinkTestTable();
}

void TBlkStandardGXD::SaveTestTable() { WriteBackTestTable(); }

}  // namespace vexa
