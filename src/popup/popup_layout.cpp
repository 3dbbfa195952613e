#include "popup/popup_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace hb::layout {
namespace {

using platform::Point;
using platform::Rect;
using platform::Screen;

// The element counts a section's height is made of.
struct Tally {
    std::size_t titledGroups = 0;
    std::size_t rows = 0;
    std::size_t separators = 0;

    void add(const Shortcut& shortcut) { ++(shortcut.isSeparator ? separators : rows); }
    void add(const ShortcutGroup& group)
    {
        if (group.title)
            ++titledGroups;
        for (const auto& shortcut : group.shortcuts)
            add(shortcut);
    }
    Tally operator+(const Tally& other) const
    {
        return {titledGroups + other.titledGroups, rows + other.rows, separators + other.separators};
    }
    // The height of a section made of these elements under its title.
    double height() const
    {
        const std::size_t elements = 1 + titledGroups + rows + separators;
        return metrics::sectionHeader + metrics::groupHeader * double(titledGroups) + metrics::row * double(rows)
               + metrics::separator * double(separators) + metrics::innerSpacing * double(elements - 1);
    }
};

MenuSection emptySection(const std::string& title)
{
    MenuSection section;
    section.title = title;
    return section;
}

ShortcutGroup emptyGroup(const std::optional<std::string>& title)
{
    ShortcutGroup group;
    group.title = title;
    return group;
}

std::optional<Screen> firstScreenContaining(const std::vector<Screen>& screens, Point point)
{
    for (const auto& screen : screens)
        if (screen.frame.contains(point))
            return screen;
    return std::nullopt;
}

std::optional<Screen> screenWithMouse(platform::Screens& screens)
{
    const auto all = screens.screens();
    if (auto screen = firstScreenContaining(all, screens.mouseLocation()))
        return screen;
    if (auto main = screens.mainScreen())
        return main;
    if (!all.empty())
        return all.front();
    return std::nullopt;
}

std::optional<Screen> primaryScreen(platform::Screens& screens)
{
    const auto all = screens.screens();
    if (!all.empty())
        return all.front();
    return screens.mainScreen();
}

// The screen holding the centre of the application's focused (or main) window.
std::optional<Screen> screenOfActiveWindow(platform::Screens& screens, platform::Workspace& workspace)
{
    const auto frame = workspace.activeWindowFrame();
    const auto all = screens.screens();
    if (!frame || all.empty())
        return std::nullopt;
    // The window system's y grows downwards from the top left of the first screen.
    return firstScreenContaining(all, Point{frame->midX(), all.front().frame.size.height - frame->midY()});
}

// The rows of a section the layout plans with: all of them, or only those
// that have a key combination. Groups left without rows are not part of it.
struct PlannedGroup {
    std::size_t source;              // index of the group in its section
    std::vector<std::uint32_t> rows; // indices of the planned rows in the group
    Tally tally;
};
using PlannedSection = std::vector<PlannedGroup>;

PlannedSection plannedRows(const MenuSection& section, bool shortcutsOnly)
{
    PlannedSection planned;
    planned.reserve(section.groups.size());
    for (std::size_t g = 0; g < section.groups.size(); ++g) {
        const auto& group = section.groups[g];
        PlannedGroup kept{g, {}, {}};
        kept.rows.reserve(group.shortcuts.size());
        for (std::size_t r = 0; r < group.shortcuts.size(); ++r) {
            const auto& shortcut = group.shortcuts[r];
            if (shortcutsOnly && shortcut.keys.empty())
                continue;
            kept.rows.push_back(static_cast<std::uint32_t>(r));
            kept.tally.add(shortcut);
        }
        if (!shortcutsOnly || !kept.rows.empty()) {
            if (group.title)
                ++kept.tally.titledGroups;
            planned.push_back(std::move(kept));
        }
    }
    return planned;
}

// Planned rows [begin, end) of one planned group; `whole` when the piece takes
// the group as it is rather than a chunk of its rows.
struct Slice {
    std::size_t group;
    std::size_t begin;
    std::size_t end;
    bool whole;
};
// One piece of a section: slices in row order, and its height.
struct PieceSpan {
    std::vector<Slice> slices;
    double height = 0;
    bool wholeSection = false; // the section was within the limit
};

// The splitter: groups are packed into pieces of at most `limit` points while
// they fit; a group too tall on its own is cut into chunks of rows. A section
// within the limit is one piece; an empty one none.
std::vector<PieceSpan> splitPlanned(const MenuSection& section, const PlannedSection& groups, double limit)
{
    Tally whole;
    for (const auto& group : groups)
        whole = whole + group.tally;
    if (limit <= metrics::sectionHeader || whole.height() <= limit) {
        PieceSpan piece{{}, whole.height(), true};
        for (std::size_t g = 0; g < groups.size(); ++g)
            piece.slices.push_back(Slice{g, 0, groups[g].rows.size(), true});
        return {std::move(piece)};
    }

    std::vector<PieceSpan> pieces;
    PieceSpan piece;
    Tally pieceTally;
    auto closePiece = [&] {
        if (!piece.slices.empty()) {
            piece.height = pieceTally.height();
            pieces.push_back(std::move(piece));
        }
        piece = {};
        pieceTally = {};
    };

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto& group = groups[g];
        const std::size_t rowCount = group.rows.size();
        if ((pieceTally + group.tally).height() <= limit) {
            piece.slices.push_back(Slice{g, 0, rowCount, true});
            pieceTally = pieceTally + group.tally;
            continue;
        }
        closePiece();
        if (group.tally.height() <= limit) {
            piece.slices.push_back(Slice{g, 0, rowCount, true});
            pieceTally = group.tally;
            continue;
        }
        // Even alone the group is too tall: split it by rows, each chunk a piece.
        const auto& shortcuts = section.groups[group.source].shortcuts;
        const Tally titleOnly{section.groups[group.source].title ? 1u : 0u, 0, 0};
        std::size_t chunkBegin = 0;
        Tally chunkTally = titleOnly;
        for (std::size_t r = 0; r < rowCount; ++r) {
            const auto& shortcut = shortcuts[group.rows[r]];
            Tally grown = chunkTally;
            grown.add(shortcut);
            if (grown.height() > limit && r > chunkBegin) {
                piece.slices.push_back(Slice{g, chunkBegin, r, false});
                pieceTally = chunkTally;
                closePiece();
                chunkBegin = r;
                grown = titleOnly;
                grown.add(shortcut);
            }
            chunkTally = grown;
        }
        if (rowCount > chunkBegin) {
            piece.slices.push_back(Slice{g, chunkBegin, rowCount, false});
            pieceTally = chunkTally;
            closePiece();
        }
    }
    closePiece();
    return pieces;
}

// The section of a piece of a section planned with all its rows.
MenuSection pieceSection(const MenuSection& source, const PlannedSection& groups, const PieceSpan& piece)
{
    MenuSection section = emptySection(source.title);
    section.groups.reserve(piece.slices.size());
    for (const auto& slice : piece.slices) {
        const auto& group = source.groups[groups[slice.group].source];
        if (slice.whole) {
            section.groups.push_back(group);
            continue;
        }
        ShortcutGroup chunk = emptyGroup(group.title);
        chunk.shortcuts.assign(group.shortcuts.begin() + std::ptrdiff_t(slice.begin),
                               group.shortcuts.begin() + std::ptrdiff_t(slice.end));
        section.groups.push_back(std::move(chunk));
    }
    return section;
}

// The pieces of a section planned on its rows with a key combination, with
// every row of the section: a row without one joins the piece of the row
// before it, and the rows before the first planned one join the first piece.
std::vector<MenuSection> restoredPieces(const MenuSection& source, const PlannedSection& groups,
                                        const std::vector<PieceSpan>& pieces)
{
    if (pieces.size() == 1)
        return {source};
    // Where each piece after the first begins: its first planned row.
    std::vector<std::pair<std::size_t, std::size_t>> starts;
    for (std::size_t p = 1; p < pieces.size(); ++p) {
        const auto& first = pieces[p].slices.front();
        const auto& group = groups[first.group];
        starts.emplace_back(group.source, group.rows[first.begin]);
    }

    std::vector<MenuSection> restored;
    restored.reserve(pieces.size());
    for (std::size_t p = 0; p < pieces.size(); ++p)
        restored.push_back(emptySection(source.title));
    std::size_t current = 0;
    for (std::size_t g = 0; g < source.groups.size(); ++g) {
        const auto& group = source.groups[g];
        std::size_t r = 0;
        while (r < group.shortcuts.size()) {
            while (current < starts.size() && starts[current] == std::pair{g, r})
                ++current;
            // The rows up to the next piece's start, or to the group's end.
            std::size_t end = group.shortcuts.size();
            if (current < starts.size() && starts[current].first == g)
                end = starts[current].second;
            ShortcutGroup part = emptyGroup(group.title);
            part.shortcuts.assign(group.shortcuts.begin() + std::ptrdiff_t(r),
                                  group.shortcuts.begin() + std::ptrdiff_t(end));
            restored[current].groups.push_back(std::move(part));
            r = end;
        }
    }
    return restored;
}

// The index of the first section of each column of a greedy fill up to `limit`.
std::vector<std::size_t> greedyColumnStarts(const std::vector<double>& weights, double limit)
{
    std::vector<std::size_t> starts{0};
    double running = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (i > starts.back() && running + weights[i] > limit) {
            starts.push_back(i);
            running = 0;
        }
        running += weights[i];
    }
    return starts;
}

// The first item of each column when items of these heights fill at most
// `maxColumns` columns in order: one item per column when there are few
// enough, else a greedy fill with the smallest limit that needs no more.
std::vector<std::size_t> balancedStarts(const std::vector<double>& heights, std::size_t maxColumns)
{
    const std::size_t n = heights.size();
    const std::size_t k = std::min(maxColumns, n);
    if (n == 0)
        return {};
    if (k < 2)
        return {0};
    std::vector<std::size_t> starts;
    if (n <= k) {
        for (std::size_t i = 0; i < n; ++i)
            starts.push_back(i);
        return starts;
    }

    std::vector<double> weights;
    weights.reserve(n);
    double total = 0;
    for (double height : heights) {
        weights.push_back(height + metrics::sectionSpacing);
        total += weights.back();
    }
    // The smallest column limit for which the greedy fill needs at most k columns.
    double lo = 0;
    double hi = total;
    while (hi - lo > 0.5) {
        const double mid = (lo + hi) / 2;
        if (greedyColumnStarts(weights, mid).size() > k)
            lo = mid;
        else
            hi = mid;
    }
    return greedyColumnStarts(weights, hi);
}

// Whether the last of these columns is short enough to join the one before.
bool lastColumnIsOrphan(const std::vector<double>& columnHeights)
{
    if (columnHeights.size() < 2)
        return false;
    const double tallestOther = *std::max_element(columnHeights.begin(), columnHeights.end() - 1);
    return metrics::orphanRatio * tallestOther > columnHeights.back();
}

// Heights of the columns that begin at `starts`, of sections this tall.
std::vector<double> columnHeights(const std::vector<double>& heights, const std::vector<std::size_t>& starts)
{
    std::vector<double> result;
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : heights.size();
        double height = metrics::sectionSpacing * double(end - starts[c] - 1);
        for (std::size_t i = starts[c]; i < end; ++i)
            height += heights[i];
        result.push_back(height);
    }
    return result;
}

// The columns of sections this tall: balanced, then the orphan merged.
std::vector<std::size_t> distributedStarts(const std::vector<double>& heights, std::size_t maxColumns)
{
    auto starts = balancedStarts(heights, maxColumns);
    if (lastColumnIsOrphan(columnHeights(heights, starts)))
        starts.pop_back();
    return starts;
}

} // namespace

platform::Rect popupVisibleFrame(PopupDisplayMode mode, platform::Screens& screens, platform::Workspace& workspace)
{
    std::optional<Screen> screen;
    switch (mode) {
    case PopupDisplayMode::mouseCursor:
        screen = screenWithMouse(screens);
        break;
    case PopupDisplayMode::mainDisplay:
        screen = primaryScreen(screens);
        break;
    case PopupDisplayMode::activeAppWindow:
        screen = screenOfActiveWindow(screens, workspace);
        if (!screen)
            screen = screenWithMouse(screens);
        break;
    }
    return screen ? screen->visibleFrame : Rect{};
}

std::vector<MenuSection> withoutStrayLines(std::vector<MenuSection> sections)
{
    for (auto& section : sections) {
        for (auto& group : section.groups) {
            auto& rows = group.shortcuts;
            std::vector<Shortcut> kept;
            kept.reserve(rows.size());
            for (auto& row : rows) {
                // A separator stays only after a row and is dropped again at the end.
                if (row.isSeparator && (kept.empty() || kept.back().isSeparator))
                    continue;
                kept.push_back(std::move(row));
            }
            if (!kept.empty() && kept.back().isSeparator)
                kept.pop_back();
            rows = std::move(kept);
        }
        std::erase_if(section.groups, [](const ShortcutGroup& group) { return group.shortcuts.empty(); });
    }
    std::erase_if(sections, [](const MenuSection& section) { return section.groups.empty(); });
    return sections;
}

void keepRowIdentities(const std::vector<MenuSection>& shown, std::vector<MenuSection>& read)
{
    auto sameTitle = [](const auto& title) { return [&title](const auto& item) { return item.title == title; }; };
    for (auto& section : read) {
        auto previous = std::find_if(shown.begin(), shown.end(), sameTitle(section.title));
        if (previous == shown.end())
            continue;
        section.id = previous->id;
        for (auto& group : section.groups) {
            auto before = std::find_if(previous->groups.begin(), previous->groups.end(), sameTitle(group.title));
            if (before == previous->groups.end())
                continue;
            group.id = before->id;
            const auto& oldRows = before->shortcuts;
            auto& rows = group.shortcuts;
            std::vector<bool> taken(oldRows.size()), matched(rows.size());
            auto take = [&](std::size_t row, std::size_t old) {
                rows[row].id = oldRows[old].id;
                taken[old] = matched[row] = true;
            };
            for (std::size_t row = 0; row < rows.size(); ++row) {
                for (std::size_t old = 0; old < oldRows.size() && !rows[row].isSeparator; ++old) {
                    if (!taken[old] && !oldRows[old].isSeparator && oldRows[old].title == rows[row].title) {
                        take(row, old);
                        break;
                    }
                }
            }
            for (std::size_t row = 0; row < rows.size() && row < oldRows.size(); ++row)
                if (!matched[row] && !taken[row] && !rows[row].isSeparator && !oldRows[row].isSeparator)
                    take(row, row);
        }
    }
}

double sectionHeight(const MenuSection& section)
{
    Tally t;
    for (const auto& group : section.groups)
        t.add(group);
    return t.height();
}

double columnHeight(const Column& column)
{
    if (column.empty())
        return 0;
    double height = metrics::sectionSpacing * double(column.size() - 1);
    for (const auto& section : column)
        height += sectionHeight(section);
    return height;
}

std::size_t maximumColumns(double visibleWidth, double columnWidth)
{
    const double usable = metrics::screenWidthShare * visibleWidth - metrics::outerMargin + metrics::columnGap;
    const double columns = std::floor(usable / (columnWidth + metrics::columnGap));
    return columns >= 1 ? static_cast<std::size_t>(columns) : 1;
}

double maximumPanelHeight(double visibleHeight)
{
    return metrics::screenHeightShare * visibleHeight;
}

std::vector<MenuSection> splitSection(const MenuSection& section, double limit)
{
    const auto groups = plannedRows(section, false);
    const auto pieces = splitPlanned(section, groups, limit);
    if (pieces.size() == 1 && pieces.front().wholeSection)
        return {section};
    std::vector<MenuSection> sections;
    sections.reserve(pieces.size());
    for (const auto& piece : pieces)
        sections.push_back(pieceSection(section, groups, piece));
    return sections;
}

Columns balancedColumns(const std::vector<MenuSection>& sections, std::size_t maxColumns)
{
    std::vector<double> heights;
    heights.reserve(sections.size());
    for (const auto& section : sections)
        heights.push_back(sectionHeight(section));
    const auto starts = balancedStarts(heights, maxColumns);
    Columns columns;
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : sections.size();
        columns.emplace_back(sections.begin() + std::ptrdiff_t(starts[c]), sections.begin() + std::ptrdiff_t(end));
    }
    return columns;
}

void mergeOrphanColumn(Columns& columns)
{
    std::vector<double> heights;
    for (const auto& column : columns)
        heights.push_back(columnHeight(column));
    if (lastColumnIsOrphan(heights)) {
        Column last = std::move(columns.back());
        columns.pop_back();
        columns.back().insert(columns.back().end(), std::make_move_iterator(last.begin()),
                              std::make_move_iterator(last.end()));
    }
}

Columns distributeColumns(const std::vector<MenuSection>& sections, std::size_t maxColumns)
{
    Columns columns = balancedColumns(sections, maxColumns);
    mergeOrphanColumn(columns);
    return columns;
}

double panelWidth(std::size_t columnCount, double columnWidth)
{
    const double c = double(std::max<std::size_t>(1, columnCount));
    return columnWidth * c + metrics::columnGap * (c - 1) + metrics::outerMargin;
}

ColumnLayout layoutColumns(const AppShortcuts& app, const platform::Rect& visibleFrame, bool wrapLongSections,
                           double wantedColumnWidth)
{
    ColumnLayout layout;
    layout.visibleFrame = visibleFrame;
    layout.maximumHeight = maximumPanelHeight(visibleFrame.size.height);
    const double wrapLimit =
        wrapLongSections ? metrics::wrapThreshold * layout.maximumHeight : std::numeric_limits<double>::infinity();

    // The columns are planned on counts: the planned rows of each section, its
    // pieces, and for each planned piece its source section and its height.
    // Only the final columns copy rows.
    const std::size_t sourceCount = app.sections.size();
    std::vector<PlannedSection> plannedOf(sourceCount);
    std::vector<std::vector<PieceSpan>> piecesOf(sourceCount);
    struct PlannedPiece {
        std::size_t source;
        std::size_t piece;
    };
    std::vector<PlannedPiece> planned;
    std::vector<double> heights;
    auto plan = [&](bool shortcutsOnly) {
        planned.clear();
        heights.clear();
        for (std::size_t i = 0; i < sourceCount; ++i) {
            plannedOf[i] = plannedRows(app.sections[i], shortcutsOnly);
            piecesOf[i].clear();
            if (shortcutsOnly && plannedOf[i].empty())
                continue;
            piecesOf[i] = splitPlanned(app.sections[i], plannedOf[i], wrapLimit);
            for (std::size_t p = 0; p < piecesOf[i].size(); ++p) {
                planned.push_back(PlannedPiece{i, p});
                heights.push_back(piecesOf[i][p].height);
            }
        }
    };
    bool shortcutsOnly = app.includesItemsWithoutShortcuts;
    plan(shortcutsOnly);
    if (shortcutsOnly && planned.empty()) {
        shortcutsOnly = false;
        plan(false);
    }
    const double screenWidth = visibleFrame.size.width;
    auto starts = distributedStarts(heights, maximumColumns(screenWidth));
    const double wanted = std::clamp(wantedColumnWidth, metrics::columnWidth, metrics::maximumColumnWidth);
    layout.columnWidth = metrics::columnWidth;
    if (wanted > metrics::columnWidth && !starts.empty()) {
        const auto tallest = [&](const std::vector<std::size_t>& columnStarts) {
            double height = 0;
            for (std::size_t c = 0; c < columnStarts.size(); ++c) {
                const std::size_t end = c + 1 < columnStarts.size() ? columnStarts[c + 1] : heights.size();
                double column = 0;
                for (std::size_t j = columnStarts[c]; j < end; ++j)
                    column += heights[j] + (j > columnStarts[c] ? metrics::sectionSpacing : 0);
                height = std::max(height, column);
            }
            return height;
        };
        const std::size_t wideColumns = maximumColumns(screenWidth, wanted);
        if (wideColumns < starts.size()) {
            auto fewer = distributedStarts(heights, wideColumns);
            if (tallest(fewer) <= layout.maximumHeight)
                starts = std::move(fewer);
        }
        const double count = double(starts.size());
        const double room =
            (metrics::screenWidthShare * screenWidth - metrics::outerMargin - metrics::columnGap * (count - 1)) / count;
        layout.columnWidth = std::max(metrics::columnWidth, std::min(wanted, std::floor(room)));
    }

    if (!shortcutsOnly) {
        for (std::size_t c = 0; c < starts.size(); ++c) {
            const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : planned.size();
            Column& column = layout.columns.emplace_back();
            column.reserve(end - starts[c]);
            for (std::size_t j = starts[c]; j < end; ++j) {
                const auto& source = app.sections[planned[j].source];
                const auto& piece = piecesOf[planned[j].source][planned[j].piece];
                column.push_back(piece.wholeSection ? source
                                                    : pieceSection(source, plannedOf[planned[j].source], piece));
            }
        }
    } else {
        // The rows without key combination join the pieces planned without
        // them. A section none of whose rows has one goes just before the
        // next planned section, or at the end of the last column.
        std::size_t next = 0; // every source before it is placed
        std::vector<MenuSection> restored;
        for (std::size_t c = 0; c < starts.size(); ++c) {
            const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : planned.size();
            Column& column = layout.columns.emplace_back();
            for (std::size_t j = starts[c]; j < end; ++j) {
                const auto [source, piece] = planned[j];
                if (source >= next) {
                    for (; next < source; ++next)
                        column.push_back(app.sections[next]);
                    next = source + 1;
                    restored = restoredPieces(app.sections[source], plannedOf[source], piecesOf[source]);
                }
                column.push_back(std::move(restored[piece]));
            }
        }
        if (!layout.columns.empty())
            for (; next < sourceCount; ++next)
                layout.columns.back().push_back(app.sections[next]);
    }
    layout.width = panelWidth(layout.columns.size(), layout.columnWidth);
    return layout;
}

PanelFrame panelFrame(const ColumnLayout& layout, double fittingHeight)
{
    const bool fits = fittingHeight <= layout.maximumHeight;
    const platform::Size size{layout.width, fits ? fittingHeight : layout.maximumHeight};
    return PanelFrame{centred(size, layout.visibleFrame), fits};
}

std::optional<platform::Size> messageSize(const PopupContent& content)
{
    if (std::holds_alternative<NeedsPermission>(content))
        return platform::Size{420, 300};
    if (std::holds_alternative<NoApp>(content))
        return platform::Size{360, 200};
    if (std::get<AppShortcuts>(content).hasNoShortcuts())
        return platform::Size{380, 200};
    return std::nullopt;
}

platform::Rect centred(platform::Size size, const platform::Rect& visibleFrame)
{
    return Rect{Point{visibleFrame.midX() - size.width / 2, visibleFrame.midY() - size.height / 2}, size};
}

} // namespace hb::layout
