#pragma once
// The update wizard's artwork, painted at build time (":/update/ID.png").

#include <QString>

namespace kestrelupdate {

namespace bmp {
inline constexpr int Picture = 132;     // beside the check page
inline constexpr int TitlePlate = 135;  // in the header
} // namespace bmp

inline const QString kUpdateIcon = QStringLiteral(":/update/icon.png");

[[nodiscard]] inline QString UpdateBitmap(int id)
{
    return QStringLiteral(":/update/%1.png").arg(id);
}

} // namespace kestrelupdate

// Registers the artwork; the windows call it before loading a bitmap.
void InitUpdateArt();
