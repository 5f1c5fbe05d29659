#include "common/SysError.h"

#include <cerrno>
#include <cstring>

namespace vexa {

std::string SysCause(int err) {
    switch (err) {
    case 0: return "neznáma príčina";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "disk je plný";
    case EACCES:
    case EPERM: return "prístup zamietnutý";
    case EROFS: return "súbor je len na čítanie";
    case ENOENT: return "neexistuje";
    case ENOTDIR: return "nie je adresár";
    case EISDIR: return "je adresár";
    case ENOMEM: return "nedostatok pamäte";
    case EEXIST: return "už existuje";
    case ENAMETOOLONG: return "príliš dlhé meno";
    case EIO: return "chyba vstupu/výstupu";
    case EMFILE:
    case ENFILE: return "príliš veľa otvorených súborov";
#ifdef EFBIG
    case EFBIG: return "súbor je príliš veľký";
#endif
    default: return std::string("systémová chyba ") + std::to_string(err) + " (" + std::strerror(err) + ")";
    }
}

std::string SysCause(const std::error_code& ec) {
    if (ec.category() == std::generic_category() || ec.category() == std::system_category())
        return SysCause(ec.value());
    return ec.message();
}

std::string FileFailure(const std::string& what, const std::string& path, int err) {
    return what + "\r(" + path + ": " + SysCause(err) + ")";
}

std::string OutOfMemoryMessage(const std::string& during) {
    return during.empty() ? std::string("Nedostatok pamäte") : "Nedostatok pamäte\r(" + during + ")";
}

}  // namespace vexa

#include <filesystem>
#include <new>
namespace vexa {
std::string SystemCause(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return SysCause(ENOMEM);
    if (auto fe = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
        std::string path = fe->path1().string();
        return (path.empty() ? std::string() : path + ": ") + SysCause(fe->code());
    }
    return std::string();
}

std::string UserMessage(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return OutOfMemoryMessage();
    if (auto fe = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
        std::string path = fe->path1().string();
        if (!fe->path2().empty()) path += ", " + fe->path2().string();
        return "Chyba súboru\r(" + path + ": " + SysCause(fe->code()) + ")";
    }
    return e.what();
}
}  // namespace vexa
