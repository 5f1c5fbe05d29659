#pragma once
// The files a map keeps and what no output may do to them. A map directory holds its
// blocks ("*.blk", "*.pra" directories), the error table "Chyby.DBF", the exceptions
// "Vynimky.DBF", the history ".vexa" and the lock ".vexa-check.lock"; the standard a run
// reads lives elsewhere and is named by KeepFromOutputs.
#include "common/Exception.h"

#include <filesystem>
#include <string>

namespace vexa {

// Whether dir is a block directory by its name (".blk" or ".pra", any case).
bool IsBlockDirName(const std::filesystem::path& dir);

// Names a file this process reads (the standard) so that no output replaces it.
void KeepFromOutputs(const std::filesystem::path& file);

// Why writing an output at path would replace a file of the map, "" when it would not:
// a file in a block directory or in ".vexa", the map's error table, exceptions or lock,
// a file named by KeepFromOutputs; the path is followed through links first.
std::string MapFileOfOutput(const std::filesystem::path& path);

// Raises Exception "<what> sa nezapíše na miesto súboru mapy (<why>)\r(<path>)" when
// MapFileOfOutput names a file. Every output of the programs and windows goes through it.
void RefuseMapFileOutput(const std::string& what, const std::filesystem::path& path);

// True when the file's mode bits give no one write permission (also for root, whom the
// system would let write anyway).
bool ReadOnlyByMode(const std::filesystem::path& file);

// Raises Exception naming the path when it or one of its ancestors below base is a
// symbolic link: the history and the locks are never written through one.
void RefuseLinkedPath(const std::filesystem::path& base, const std::filesystem::path& below, const std::string& what);

}  // namespace vexa
