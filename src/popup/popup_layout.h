#pragma once

#include "model/shortcut.h"
#include "platform/screens.h"
#include "platform/workspace.h"
#include "settings/settings.h"

#include <optional>
#include <vector>

// Where the popup goes, how the menu sections fill its columns and how large
// it is. Heights are estimated from row counts, so all of it is decided before
// anything is drawn.
namespace hb::layout {

namespace metrics {
inline constexpr double sectionHeader = 26;
inline constexpr double groupHeader = 22;
inline constexpr double row = 21;
inline constexpr double separator = 9;
inline constexpr double innerSpacing = 2;
inline constexpr double sectionSpacing = 14;
inline constexpr double columnWidth = 264; // the narrowest column
inline constexpr double maximumColumnWidth = 440;
inline constexpr double columnGap = 16;
inline constexpr double outerMargin = 32;
inline constexpr double screenWidthShare = 0.96;
inline constexpr double screenHeightShare = 0.86;
inline constexpr double wrapThreshold = 0.6;
inline constexpr double orphanRatio = 0.3;
} // namespace metrics

using Column = std::vector<MenuSection>;
using Columns = std::vector<Column>;

// The visible frame of the screen the popup uses; for the active application's
// screen, the one holding the active window's centre as the window system
// places it, else the mouse's. Empty when there are no screens.
platform::Rect popupVisibleFrame(PopupDisplayMode mode, platform::Screens& screens, platform::Workspace& workspace);

// The sections without the lines that would stand alone when drawn: a
// separator that is not between two rows of its group, a group without a
// row, a section without a group.
std::vector<MenuSection> withoutStrayLines(std::vector<MenuSection> sections);

// Gives the rows of a newer read the ids of the rows they replace, so that a
// selection follows them: within the menu and submenu of the same title, a
// row of the same title, else the row at the same place.
void keepRowIdentities(const std::vector<MenuSection>& shown, std::vector<MenuSection>& read);

double sectionHeight(const MenuSection& section);
// Sum of the sections' heights and the spacing between them.
double columnHeight(const Column& column);

std::size_t maximumColumns(double visibleWidth, double columnWidth = metrics::columnWidth);
double maximumPanelHeight(double visibleHeight);

// Pieces of at most `limit` points (a single row may exceed it), each titled
// like the section; a section within the limit comes back whole.
std::vector<MenuSection> splitSection(const MenuSection& section, double limit);

// In order, into at most `maxColumns` columns whose tallest is as short as a
// greedy fill allows.
Columns balancedColumns(const std::vector<MenuSection>& sections, std::size_t maxColumns);
// Moves a last column much shorter than the others into the one before it.
void mergeOrphanColumn(Columns& columns);
// balancedColumns followed by mergeOrphanColumn.
Columns distributeColumns(const std::vector<MenuSection>& sections, std::size_t maxColumns);

double panelWidth(std::size_t columnCount, double columnWidth = metrics::columnWidth);

struct ColumnLayout {
    Columns columns;
    double columnWidth = metrics::columnWidth;
    double width = 0;         // the panel's width
    double maximumHeight = 0; // taller content scrolls
    platform::Rect visibleFrame;
};

// The columns of an application's sections on a screen. With items without
// shortcuts included, the columns are planned on the rows that have shortcuts
// and the other items then join the pieces they follow.
// Columns are as wide as `wantedColumnWidth` (the width that shows every
// row's title and keys whole, within the limits above) where the screen
// allows: with fewer columns when those still fit its height, else as wide
// as the screen leaves them.
ColumnLayout layoutColumns(const AppShortcuts& app, const platform::Rect& visibleFrame, bool wrapLongSections,
                           double wantedColumnWidth = metrics::columnWidth);

struct PanelFrame {
    platform::Rect frame;
    bool fitsWithoutScrolling = true;
};

// The panel for laid-out columns whose content view reports `fittingHeight`
// at the layout's width, centred on the screen.
PanelFrame panelFrame(const ColumnLayout& layout, double fittingHeight);

// The fixed size of a message (permission, no application, no shortcuts);
// absent for content that is laid out in columns.
std::optional<platform::Size> messageSize(const PopupContent& content);

platform::Rect centred(platform::Size size, const platform::Rect& visibleFrame);

} // namespace hb::layout
