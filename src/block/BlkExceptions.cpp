#include "block/BlkExceptions.h"

#include "common/Text.h"

namespace vexa {

EBlkNotOpened::EBlkNotOpened() : EBlkException("Neotvorený blok") {}

EBlkNotOpened::EBlkNotOpened(const std::string& path, const std::string& cause)
    : EBlkException(Format("Neotvorený blok\r(%s: %s)", path.c_str(), cause.c_str())) {}

EBlkReadError::EBlkReadError(const std::string& path) : EBlkException(Format("Chyba čítania\r(%s)", path.c_str())) {}
EBlkReadError::EBlkReadError(const std::string& path, const std::string& detail)
    : EBlkException(Format("Chyba čítania\r(%s: %s)", path.c_str(), detail.c_str())) {}

EBlkWriteError::EBlkWriteError(const std::string& path) : EBlkException(Format("Chyba zápisu\r(%s)", path.c_str())) {}

EBlkFeatureNotExist::EBlkFeatureNotExist(const std::string& path, char letter, std::int32_t number)
    : EBlkException(Format("Prvok neexistuje\r(%s, %c:%d)", path.c_str(), letter, int(number))) {}

EBlkPloError EBlkPloError::LineOfArea(const std::string& path, std::int32_t area, std::int32_t line) {
    return EBlkPloError(Format("Chybná topológia línie plochy\r(%s, P:%d, L:%d)", path.c_str(), int(area), int(line)));
}

EBlkPloError EBlkPloError::LinesOfArea(const std::string& path, std::int32_t area, std::int32_t prev,
                                       std::int32_t next) {
    return EBlkPloError(
        Format("Chybná topológia línii plochy\r(%s, P:%d, L:%d, L:%d)", path.c_str(), int(area), int(prev), int(next)));
}

EBlkPloError EBlkPloError::Lines(const std::string& path, std::int32_t a, std::int32_t b) {
    return EBlkPloError(Format("Chybná topológia línii\r(%s, L:%d, L:%d)", path.c_str(), int(a), int(b)));
}

EBlkDBError::EBlkDBError(const std::string& path, const std::string& tablePath, const std::string& cause)
    : EBlkException(Format("Zlyhala databázová operácia\r(%s, %s)", path.c_str(), tablePath.c_str()) +
                    (cause.empty() ? std::string() : "\r" + cause)) {}

}  // namespace vexa
