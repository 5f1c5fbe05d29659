#pragma once
// JSON forms of block records and the argument parsing shared by vexa-info's block options.
#include "block/BlkObj.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// One JSON object per record: the interpreted fields under their names, the
// rectangle as [MinX,MinY,MaxX,MaxY], and Deleted (the group's deleted test).
std::string LineJson(const TBlkLine& rec);
std::string PointJson(const TBlkPoint& rec);
std::string TextJson(const TBlkText& rec);
std::string AreaJson(const TBlkArea& rec);
// The same by the record's type (the walks over a group call it).
inline std::string JsonOf(const TBlkLine& rec) { return LineJson(rec); }
inline std::string JsonOf(const TBlkPoint& rec) { return PointJson(rec); }
inline std::string JsonOf(const TBlkText& rec) { return TextJson(rec); }
inline std::string JsonOf(const TBlkArea& rec) { return AreaJson(rec); }
std::string RectJson(const TBlkRect& rect);
std::string CrdsJson(const TCrds& crds);  // [[x,y],...]

// "L", "B", "T" or "P" (either letter case); anything else raises Exception.
TBlkElementGroup ParseGroupLetter(const std::string& text);
// A whole decimal 32-bit integer; anything else raises Exception naming what.
std::int32_t ParseInt32(const std::string& text, const std::string& what);
// "a:b:c" split at every colon.
std::vector<std::string> SplitArgument(const std::string& arg);

}  // namespace vexa
