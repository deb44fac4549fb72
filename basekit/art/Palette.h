#pragma once
// The suite's colours, in one place: the art generator paints with them and
// the dialogs use the same values for their controls. Plain values, no Qt.

namespace skinpalette {

struct Rgb {
    int r, g, b;
};

// The controls' background (and the text background on it): the colour
// value 16118000 as the dialogs have always used it, 0x00F5F0F0 in the
// 0x00BBGGRR layout: red 240, green 240, blue 245.
inline constexpr Rgb kControl{240, 240, 245};

inline constexpr Rgb kCaptionDark{38, 47, 66};     // slate: the top band
inline constexpr Rgb kCaptionLight{70, 88, 120};   // the header's lower edge
inline constexpr Rgb kAccent{196, 96, 42};         // rufous, the kestrel's back
inline constexpr Rgb kAccentLight{236, 150, 82};
inline constexpr Rgb kPanelTop{222, 218, 232};     // the category column
inline constexpr Rgb kPanelBottom{198, 192, 214};
inline constexpr Rgb kFrame{150, 144, 170};        // edges and rules
inline constexpr Rgb kFace{250, 249, 252};         // a button at rest
inline constexpr Rgb kFaceHover{255, 241, 226};    // hovered or focused
inline constexpr Rgb kFacePressed{236, 214, 196};  // pressed or selected
inline constexpr Rgb kText{30, 36, 51};
inline constexpr Rgb kTextMuted{92, 98, 117};
inline constexpr Rgb kTextOnDark{246, 244, 250};

} // namespace skinpalette
