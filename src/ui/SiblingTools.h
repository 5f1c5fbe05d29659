#pragma once
// The sibling programs of the suite, installed beside this program, and the
// information box text.
#include "common/FileNames.h"
#include "common/Version.h"

#include <string>

namespace vexa {

inline constexpr const char* kToolPodlaCisla = "Quarn.exe";    // "podľa čísla"
inline constexpr const char* kToolPodlaDruhu = "Velder.exe";   // "podľa druhu"
inline constexpr const char* kToolPrezeracPlo = "Ostrel.exe";  // "Prezerač JPRL a OLP"

inline constexpr const char* kMainCaption = "Kontrola súľadu BLK GXD so štandardom WQS";
inline constexpr const char* kVersion = VEXA_VERSION;

// Directory of the running executable, ending in a delimiter.

// Which entries of the menu "Nástroje" are shown.
struct TToolMenuVisibility {
    bool PodlaCisla = false;
    bool PodlaDruhu = false;
    bool PrezeracPlo = false;
    bool Vyhladavanie = false;  // the submenu: one of its two entries is visible
    bool Nastroje = false;      // the menu: the submenu or the viewer entry is visible
    bool operator==(const TToolMenuVisibility&) const = default;
};

// Each entry is visible exactly when its program file exists in programDir.
TToolMenuVisibility ToolMenuVisibility(const std::string& programDir);

// Starts programDir + name as an independent process without arguments, in this
// program's current directory and environment; it is neither waited for nor watched.
// Returns false (and starts nothing) when the file does not exist or the start fails.
bool RunSiblingTool(const std::string& programDir, const std::string& name);

// The information box: the main caption, then "\rverzia 1.1".
std::string InfoBoxText();

}  // namespace vexa
