#pragma once
// Paints one piece of the skin into an image, at a scale (1 for the normal
// bitmap, 2 for its high-density twin).

#include "SkinPieces.h"

#include <QImage>

namespace skinart {

[[nodiscard]] QImage PaintPiece(const Piece& piece, int scale);

} // namespace skinart
