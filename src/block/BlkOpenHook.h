#pragma once
// For tests that count how often blocks are read: the hook is called with the path of every
// element file TBlk::Open opens on disk, from whichever thread opens it (the hook must bear
// that). None by default.
#include <string>

namespace vexa {

using TBlkFileOpenHook = void (*)(const std::string& path);
void SetBlkFileOpenHook(TBlkFileOpenHook hook);

}  // namespace vexa
