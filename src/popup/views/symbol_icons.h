#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

namespace hb::views {

// A symbol by the name the texts use ("star.fill", "gearshape", "lock.open.fill" …):
// the desktop icon theme's icon of the matching freedesktop name, else the
// monochrome icon shipped with the program, drawn in `tint`. Never null: an
// unknown name gives the shipped "questionmark" symbol.
QIcon symbolIcon(std::string_view symbol, const QColor& tint, int size = 16);

// Only the shipped icon, drawn in `tint`; for places that must look the same
// on every desktop (large symbols, icons on coloured backgrounds).
QIcon shippedSymbolIcon(std::string_view symbol, const QColor& tint, int size = 16);

// Whether the program ships an icon for the symbol.
bool hasShippedSymbol(std::string_view symbol);

} // namespace hb::views
