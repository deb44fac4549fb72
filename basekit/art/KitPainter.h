#pragma once
// Paints the single pieces of the resource library's kit (faces, checks,
// arrows, plates, panels, rules, glyphs and the hand cursor). Every piece but
// the cursor is opaque: its corners show the controls' colour.

#include "SkinPieces.h"

#include <QPainter>

namespace skinart {

// Paints piece into p (at the piece's own size); returns false when the
// piece's look is not one of the kit's.
bool PaintKitPiece(QPainter& p, const Piece& piece);

} // namespace skinart
