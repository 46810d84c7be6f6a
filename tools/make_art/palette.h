#pragma once

#include <QColor>

// The one palette every image is drawn from: a calm blue accent, its lighter and darker
// steps for hover and pressed looks, and neutral greys. The list colours of the pages
// (row tint, header lines, selection) sit between these blues.
namespace palette {
inline const QColor accent{43, 108, 212};
inline const QColor accent_light{66, 130, 228};
inline const QColor accent_dark{31, 86, 176};
inline const QColor band_top{48, 116, 218};
inline const QColor band_bottom{36, 97, 198};
inline const QColor navy{28, 43, 68};
inline const QColor slate{90, 107, 130};
inline const QColor tint{234, 242, 253};
inline const QColor tint_strong{218, 232, 251};
inline const QColor line{211, 226, 245};
inline const QColor frame{139, 184, 241};
inline const QColor disabled{185, 199, 216};
inline const QColor danger{224, 72, 78};
inline const QColor good{61, 174, 107};
inline const QColor white{255, 255, 255};
}  // namespace palette
