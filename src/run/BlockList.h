#pragma once
// The block list of an opened map, shared by the main window and vexa-check:
// block names are normalised, listed sorted without duplicates, marked as
// conforming (layer code known to the standard) and, when conforming, the
// entry on disk takes the normalised letter case.
#include <functional>
#include <string>
#include <vector>

namespace vexa {

// "le_12345.blk" -> "LE_12345.blk", "SL_Adm01.BLK" -> "SL_ADM01.blk"; "x_1.blk" stays.
std::string NormalizeBlkName(const std::string& entryName);

// One row of the block list (the grid's three cells).
struct TBlockRow {
    std::string Nazov;     // "1" conforming, "0" not
    std::string Kontrola;  // "3" selected, "2" deselected, "" not selectable
    std::string Vrstva;    // normalised block name
    bool operator==(const TBlockRow&) const = default;
    bool Conforming() const { return Nazov == "1"; }
    bool Selected() const { return Nazov == "1" && Kontrola == "3"; }
};

// Answers whether a layer code (the first two characters of a name) is known.
using TLayerKnownFn = std::function<bool(const std::string& layer)>;

// Whether a normalised name conforms: "_" as third character and a known layer code.
bool IsConformingBlkName(const std::string& name, const TLayerKnownFn& isLayerKnown);

// The ".blk" entries of mapDir (directories and ordinary files, hidden ones left
// out), normalised, sorted ignoring letter case, duplicates dropped. Every
// conforming entry whose name on disk differs from its listed name is renamed to
// it, unless another entry already has that name (nothing is ever replaced);
// a failed rename is ignored. Conforming rows are selected ("1", "3").
// Errors of isLayerKnown pass on. A missing directory gives an empty list.
std::vector<TBlockRow> ListMapBlocks(const std::string& mapDir, const TLayerKnownFn& isLayerKnown);

}  // namespace vexa
