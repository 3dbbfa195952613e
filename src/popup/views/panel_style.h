#pragma once

#include "settings/theme_settings.h"

#include <QColor>
#include <QIcon>
#include <QPalette>

#include <initializer_list>

namespace hb::views {

// Symbols drawn by the panel itself, so that it looks whole without an icon theme.
enum class Glyph {
    gear,
    magnifier,
    share,
    star,
    starFilled,
    clear,
    close,
    lightbulb,
    warning,
    keyboard,
    appDashed,
    accessibility,
    arrowRight,
};

// The glyph as an icon in one colour.
QIcon glyphIcon(Glyph glyph, const QColor& color, int size = 16);
// Paints the glyph into `rect`.
void paintGlyph(class QPainter& painter, Glyph glyph, const QRectF& rect, const QColor& color);
// The same from a cache of drawn glyphs, for glyphs painted on many rows.
void paintCachedGlyph(class QPainter& painter, Glyph glyph, const QRectF& rect, const QColor& color);

// The first theme icon of `names` that draws, else the glyph.
QIcon themedIcon(std::initializer_list<const char*> names, Glyph fallback, const QColor& color, int size = 16);

QColor toQColor(const RgbColor& color);
// The system's accent colour on this desktop: the palette's highlight.
RgbColor paletteAccentColor(const QPalette& palette);

// Colours derived from the palette so that light and dark themes both read well.
bool isDark(const QPalette& palette);
QColor secondaryTextColor(const QPalette& palette);
QColor panelBackgroundColor(const QPalette& palette);
QColor panelBorderColor(const QPalette& palette);
// Key text in the accent colour, lightened or darkened until it reads on the panel.
QColor readableKeyColor(const QColor& accent, const QPalette& palette);

inline const QColor favouriteColor{0xF5, 0xB7, 0x00};
inline const QColor conflictColor{0xE8, 0x8A, 0x00};

} // namespace hb::views
