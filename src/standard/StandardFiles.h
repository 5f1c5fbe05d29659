#pragma once
// Names and constants of the standard's files.
#include <string>

namespace vexa {

inline constexpr const char* kStandardFileName = "StandardGXD.mdb";  // beside the programs
inline constexpr const char* kErrorTableFileName = "Chyby.dbf";      // the template beside the programs
inline constexpr const char* kStandardPassword = "Gxd8Wqs4";         // every standard file carries it
inline constexpr const char* kStandardIdentity = "#S#t#d#G#X#D#";    // Podpis.IDDB of a standard

// A new directory "vexa-<pid>-XXXXXX" under the temporary directory, for one owner's
// working files; empty when it cannot be made.
std::string MakePrivateTempDir();
// The same; on failure why, as "<temporary directory>: <cause>" in Slovak.
std::string MakePrivateTempDir(std::string& failure);

}  // namespace vexa
