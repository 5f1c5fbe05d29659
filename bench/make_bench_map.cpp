// Writes a synthetic map for the check benchmarks (see bench/README.md):
//   vexa-bench-gen MAPDIR [SCALE] [--blocks N]
// MAPDIR/LE_00001.blk holds, at scale 1, 100,000 lines, 20,000 stands with their
// attribute table, 50,000 points and 20,000 texts, with a few percent of every
// fault the element checks find; SCALE multiplies every count. With --blocks N
// the map holds N copies of that block, LE_00001.blk to LE_<N>.blk.
#include "kit/BenchMap.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: vexa-bench-gen MAPDIR [SCALE] [--blocks N]\n"
    "Writes the benchmark map: LE_00001.blk at SCALE (default 1: 100,000 lines),\n"
    "or N copies of it (LE_00001.blk to LE_<N>.blk).\n";

std::optional<double> Number(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') return std::nullopt;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    int blocks = 1;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (arg == "--blocks") {
                const std::optional<double> n = i + 1 < argc ? Number(argv[++i]) : std::nullopt;
                if (!n || *n < 1 || *n > 100000 || *n != static_cast<int>(*n))
                    throw std::invalid_argument("--blocks needs a whole number from 1 to 100000");
                blocks = static_cast<int>(*n);
            } else if (arg.size() > 1 && arg[0] == '-') {
                throw std::invalid_argument("unknown option " + arg);
            } else {
                positional.push_back(arg);
            }
        }
        if (positional.empty() || positional.size() > 2) throw std::invalid_argument("give MAPDIR and at most SCALE");
    } catch (const std::invalid_argument& e) {
        std::cerr << "vexa-bench-gen: " << e.what() << "\n" << kUsage;
        return 2;
    }
    try {
        const std::optional<double> scale = positional.size() == 2 ? Number(positional[1]) : 1.0;
        if (!scale || !(*scale > 0) || *scale > 1000) {
            std::cerr << "vexa-bench-gen: SCALE must be a number above 0 and at most 1000\n" << kUsage;
            return 2;
        }
        const std::string held = vexa::testkit::WriteBenchMap(positional[0], *scale, blocks);
        std::cout << "LE_00001.blk: " << held << "\n";
        if (blocks > 1) std::cout << blocks << " blocks of the same content\n";
    } catch (const std::exception& e) {
        std::cerr << "vexa-bench-gen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
