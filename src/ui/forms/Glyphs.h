#pragma once
// The images of the windows, drawn in code: the four 16 x 16 glyphs of the block
// grid and the glyphs of the buttons.
#include <QIcon>
#include <QPixmap>

namespace vexa {

// Index 0 yellow sad face, 1 yellow smiling face (both with a transparent background),
// 2 empty check box, 3 ticked check box (opaque). A null pixmap for any other index.
QPixmap GridGlyph(int index);

enum class TButtonGlyph {
    Ok,          // green tick ("Koniec", "Zatvor")
    Info,        // the information button
    Delete,      // red cross
    TreeAndPen,  // show a finding
    ZoomIn,      // magnifier with plus
    ZoomOut,     // magnifier with minus
    Mountains,   // show with positioning
    Magnifier,   // positioning on or off
    Map,         // the map view
};
QIcon ButtonGlyph(TButtonGlyph glyph);

}  // namespace vexa
