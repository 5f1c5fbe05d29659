#pragma once
// Shared by the fuzz targets: a fuzz input as a set of named files, and a private
// scratch directory per process.
//
// Input format (scripts/fuzz-seeds.py writes it): records of
//   [1 byte file index][4 bytes little-endian length][length bytes]
// up to the end; a short last record takes what is left. File index i names
// kNames[i % count] of the target's list. Any input is valid.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vexafuzz {

namespace fs = std::filesystem;

inline std::map<std::string, std::string> SplitFiles(const std::uint8_t* data, std::size_t size,
                                                     const std::vector<std::string>& names) {
    std::map<std::string, std::string> files;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t index = data[at++] % names.size();
        std::uint32_t length = 0;
        for (int i = 0; i < 4 && at < size; ++i) length |= std::uint32_t(data[at++]) << (8 * i);
        const std::size_t take = std::min<std::size_t>(length, size - at);
        files[names[index]].assign(reinterpret_cast<const char*>(data + at), take);
        at += take;
    }
    return files;
}

// A directory of this process' own under the temporary directory, emptied on every call.
inline fs::path Scratch(const std::string& name) {
    static const fs::path base = [] {
        fs::path p = fs::temp_directory_path() / ("vexa-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("vexa-fuzz-" + std::to_string(::getpid())), ec);
        });
        return p;
    }();
    const fs::path dir = base / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir;
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexafuzz
