#include "standard/StandardFiles.h"

#include <stdlib.h>

#include <filesystem>
#include <vector>

namespace vexa {

std::string MakePrivateTempDir() {
    std::error_code ec;
    const auto temp = std::filesystem::temp_directory_path(ec);
    if (ec) return std::string();
    std::string pattern = (temp / "vexa-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return std::string();
    return std::string(buffer.data());
}

} // namespace vexa
