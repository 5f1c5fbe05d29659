// The Access-SQL translator on any text, with saved queries named in the input resolved
// to more of it (recursion included).
#include "common/Exception.h"
#include "access/AccessSql.h"

#include <cstdint>
#include <optional>
#include <string>

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // "main\0saved" : the first part is translated, the name "q" resolves to the second.
    const std::size_t cut = text.find('\0');
    const std::string main = text.substr(0, cut);
    const std::string saved = cut == std::string::npos ? std::string("SELECT 1") : text.substr(cut + 1);
    int depth = 0;
    try {
        TranslateAccessSql(main, [&](const std::string& name) -> std::optional<std::string> {
            if (name != "q" && name != "Q") return std::nullopt;
            if (++depth > 50) throw Exception("too deep");
            return saved;
        });
    } catch (const vexa::Exception&) {}
    return 0;
}
