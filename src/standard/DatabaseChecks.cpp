// Attribute table checks and repairs.
#include "standard/BlkStandardGXD.h"

namespace vexa {

int TBlkStandardGXD::CheckDatabases(TBlk&, std::uint16_t options) {
    if (options == 0) return 0;
    throw EStdException("Kontrola internej DB ešte nie je k dispozícii.");
}

} // namespace vexa
