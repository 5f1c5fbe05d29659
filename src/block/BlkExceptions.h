#pragma once
// Exceptions of the block store, with their Slovak messages.
#include "common/Exception.h"

#include <cstdint>
#include <string>

namespace vexa {

class EBlkException : public Exception {
public:
    using Exception::Exception;
};

// "Neotvorený blok"
class EBlkNotOpened : public EBlkException {
public:
    EBlkNotOpened();
    // "Neotvorený blok\r(%s: %s)": the block path and why
    EBlkNotOpened(const std::string& path, const std::string& cause);
};
// "Chyba čítania\r(%s)"
class EBlkReadError : public EBlkException {
public:
    explicit EBlkReadError(const std::string& path);
    // "Chyba čítania\r(%s: %s)": the path with what could not be read and why.
    EBlkReadError(const std::string& path, const std::string& detail);
};
// "Chyba zápisu\r(%s)"
class EBlkWriteError : public EBlkException {
public:
    explicit EBlkWriteError(const std::string& path);
};
// "Prvok neexistuje\r(%s, %s:%d)"
class EBlkFeatureNotExist : public EBlkException {
public:
    EBlkFeatureNotExist(const std::string& path, char letter, std::int32_t number);
};
// Broken area or boundary topology; the message is formed by the raiser.
class EBlkPloError : public EBlkException {
public:
    using EBlkException::EBlkException;
    // "Chybná topológia línie plochy\r(%s, P:%d, L:%d)"
    static EBlkPloError LineOfArea(const std::string& path, std::int32_t area, std::int32_t line);
    // "Chybná topológia línii plochy\r(%s, P:%d, L:%d, L:%d)"
    static EBlkPloError LinesOfArea(const std::string& path, std::int32_t area, std::int32_t prev, std::int32_t next);
    // "Chybná topológia línii\r(%s, L:%d, L:%d)"
    static EBlkPloError Lines(const std::string& path, std::int32_t a, std::int32_t b);
};
// "Zlyhala databázová operácia\r(%s, %s)", with "\r<cause>" when a cause is given
class EBlkDBError : public EBlkException {
public:
    EBlkDBError(const std::string& path, const std::string& tablePath, const std::string& cause = std::string());
};

}  // namespace vexa
