#pragma once
// Where the programs find their companion files (the standard, the error table
// template): beside the program in a build tree, in <prefix>/share/vexa once installed.
#include <string>

namespace vexa {

// The data directory of an installed program, relative to its own directory.
inline constexpr const char* kInstalledDataDir = "../share/vexa/";

// programDir + name when that file exists, else programDir + "../share/vexa/" + name
// when that one exists (normalised), else programDir + name (so that a message names
// the place beside the program).
std::string CompanionFile(const std::string& programDir, const std::string& name);

}  // namespace vexa
