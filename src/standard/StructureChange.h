#pragma once
// What a repair of an attribute table's structure changed, said in words for the user.
#include "dbase/TableDBF.h"

#include <string>

namespace vexa {

// "pridané: A, B; presunuté: C; odstránené: D; zmenené: E C 10 -> E N 8.2" from the
// field lists before and after (names compared ignoring letter case); "" when equal.
std::string DescribeStructureChange(const TFldDescList& before, const TFldDescList& after);

// "Upravená tabuľka <path>: <change>"
std::string RepairMessage(const std::string& tablePath, const std::string& change);

}  // namespace vexa
