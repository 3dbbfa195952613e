#include "popup/popup_layout.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
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
        return metrics::sectionHeader + metrics::groupHeader * double(titledGroups) + metrics::row * double(rows) +
               metrics::separator * double(separators) + metrics::innerSpacing * double(elements - 1);
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

Tally tally(const ShortcutGroup& group)
{
    Tally t;
    t.add(group);
    return t;
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
std::optional<Screen> screenOfFrontWindow(const PopupContent& content, platform::Screens& screens,
                                          platform::Accessibility& accessibility)
{
    const auto* app = std::get_if<AppShortcuts>(&content);
    if (!app || !app->pid)
        return std::nullopt;
    const auto application = accessibility.applicationElement(*app->pid);
    auto window = platform::readElement(accessibility, application, platform::ax::focusedWindow);
    if (!window)
        window = platform::readElement(accessibility, application, platform::ax::mainWindow);
    if (!window)
        return std::nullopt;
    const auto position = platform::readPoint(accessibility, window, platform::ax::position);
    const auto size = platform::readSize(accessibility, window, platform::ax::size);
    const auto all = screens.screens();
    if (!position || !size || all.empty())
        return std::nullopt;
    // Accessibility positions grow downwards from the top left of the primary screen.
    const double centreX = position->x + size->width / 2;
    const double centreY = position->y + size->height / 2;
    return firstScreenContaining(all, Point{centreX, all.front().frame.size.height - centreY});
}

// The section with only the rows that have a key combination; no groups when none has.
MenuSection withShortcutsOnly(const MenuSection& section)
{
    MenuSection reduced = emptySection(section.title);
    for (const auto& group : section.groups) {
        ShortcutGroup kept = emptyGroup(group.title);
        for (const auto& shortcut : group.shortcuts)
            if (!shortcut.keys.empty())
                kept.shortcuts.push_back(shortcut);
        if (!kept.shortcuts.empty())
            reduced.groups.push_back(std::move(kept));
    }
    return reduced;
}

// Rebuilds a source section's pieces with every row of the source: a row
// without key combination joins the piece of the row before it.
std::vector<MenuSection> restorePieces(const MenuSection& source, const std::vector<const MenuSection*>& pieces)
{
    if (pieces.size() == 1)
        return {source};
    std::unordered_map<Uuid, std::size_t> pieceOfRow;
    for (std::size_t p = 0; p < pieces.size(); ++p)
        for (const auto& group : pieces[p]->groups)
            for (const auto& shortcut : group.shortcuts)
                pieceOfRow.emplace(shortcut.id, p);

    std::vector<MenuSection> restored;
    for (const auto* piece : pieces) {
        restored.push_back(emptySection(piece->title));
        restored.back().id = piece->id;
    }
    std::vector<const ShortcutGroup*> lastSourceGroup(pieces.size(), nullptr);
    std::size_t current = 0;
    for (const auto& group : source.groups) {
        for (const auto& shortcut : group.shortcuts) {
            if (auto found = pieceOfRow.find(shortcut.id); found != pieceOfRow.end())
                current = found->second;
            if (lastSourceGroup[current] != &group) {
                restored[current].groups.push_back(emptyGroup(group.title));
                lastSourceGroup[current] = &group;
            }
            restored[current].groups.back().shortcuts.push_back(shortcut);
        }
    }
    return restored;
}

// Puts the rows without key combination back into columns planned without
// them. A section none of whose rows has one goes just before the next
// planned section, or at the end of the last column.
Columns restoreItemsWithoutShortcuts(const Columns& planned, const std::vector<MenuSection>& sources,
                                     const std::unordered_map<Uuid, std::size_t>& sourceOf)
{
    std::vector<std::vector<const MenuSection*>> piecesOf(sources.size());
    for (const auto& column : planned)
        for (const auto& piece : column)
            piecesOf[sourceOf.at(piece.id)].push_back(&piece);
    std::unordered_map<Uuid, MenuSection> restored;
    for (std::size_t source = 0; source < sources.size(); ++source) {
        if (piecesOf[source].empty())
            continue;
        auto full = restorePieces(sources[source], piecesOf[source]);
        for (std::size_t p = 0; p < full.size(); ++p)
            restored.emplace(piecesOf[source][p]->id, std::move(full[p]));
    }

    Columns columns;
    std::size_t next = 0;  // every source before it is placed
    auto placeUpTo = [&](Column& column, std::size_t end) {
        for (; next < end; ++next)
            column.push_back(sources[next]);
    };
    for (const auto& plannedColumn : planned) {
        Column& column = columns.emplace_back();
        for (const auto& piece : plannedColumn) {
            const std::size_t source = sourceOf.at(piece.id);
            if (source >= next) {
                placeUpTo(column, source);
                next = source + 1;
            }
            column.push_back(std::move(restored.at(piece.id)));
        }
    }
    if (!columns.empty())
        placeUpTo(columns.back(), sources.size());
    return columns;
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

} // namespace

platform::Rect popupVisibleFrame(const PopupContent& content, PopupDisplayMode mode, platform::Screens& screens,
                                 platform::Accessibility& accessibility)
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
        screen = screenOfFrontWindow(content, screens, accessibility);
        if (!screen)
            screen = screenWithMouse(screens);
        break;
    }
    return screen ? screen->visibleFrame : Rect{};
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

std::size_t maximumColumns(double visibleWidth)
{
    const double usable = metrics::screenWidthShare * visibleWidth - metrics::outerMargin + metrics::columnGap;
    const double columns = std::floor(usable / (metrics::columnWidth + metrics::columnGap));
    return columns >= 1 ? static_cast<std::size_t>(columns) : 1;
}

double maximumPanelHeight(double visibleHeight) { return metrics::screenHeightShare * visibleHeight; }

std::vector<MenuSection> splitSection(const MenuSection& section, double limit)
{
    if (limit <= metrics::sectionHeader || sectionHeight(section) <= limit)
        return {section};

    std::vector<MenuSection> pieces;
    MenuSection piece = emptySection(section.title);
    Tally pieceTally;
    auto closePiece = [&] {
        if (!piece.groups.empty())
            pieces.push_back(std::move(piece));
        piece = emptySection(section.title);
        pieceTally = {};
    };

    for (const auto& group : section.groups) {
        const Tally groupTally = tally(group);
        if ((pieceTally + groupTally).height() <= limit) {
            piece.groups.push_back(group);
            pieceTally = pieceTally + groupTally;
            continue;
        }
        closePiece();
        if (groupTally.height() <= limit) {
            piece.groups.push_back(group);
            pieceTally = groupTally;
            continue;
        }
        // Even alone the group is too tall: split it by rows, each chunk a piece.
        const Tally titleOnly{group.title ? 1u : 0u, 0, 0};
        ShortcutGroup chunk = emptyGroup(group.title);
        Tally chunkTally = titleOnly;
        for (const auto& shortcut : group.shortcuts) {
            Tally grown = chunkTally;
            grown.add(shortcut);
            if (grown.height() > limit && !chunk.shortcuts.empty()) {
                piece.groups.push_back(std::exchange(chunk, emptyGroup(group.title)));
                closePiece();
                grown = titleOnly;
                grown.add(shortcut);
            }
            chunk.shortcuts.push_back(shortcut);
            chunkTally = grown;
        }
        if (!chunk.shortcuts.empty()) {
            piece.groups.push_back(std::move(chunk));
            closePiece();
        }
    }
    closePiece();
    return pieces;
}

Columns balancedColumns(const std::vector<MenuSection>& sections, std::size_t maxColumns)
{
    const std::size_t n = sections.size();
    const std::size_t k = std::min(maxColumns, n);
    if (n == 0)
        return {};
    if (k < 2)
        return {sections};
    if (n <= k) {
        Columns columns;
        for (const auto& section : sections)
            columns.push_back({section});
        return columns;
    }

    std::vector<double> weights;
    double total = 0;
    for (const auto& section : sections) {
        weights.push_back(sectionHeight(section) + metrics::sectionSpacing);
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

    const auto starts = greedyColumnStarts(weights, hi);
    Columns columns;
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : n;
        columns.emplace_back(sections.begin() + std::ptrdiff_t(starts[c]), sections.begin() + std::ptrdiff_t(end));
    }
    return columns;
}

void mergeOrphanColumn(Columns& columns)
{
    if (columns.size() < 2)
        return;
    double tallestOther = 0;
    for (std::size_t i = 0; i + 1 < columns.size(); ++i)
        tallestOther = std::max(tallestOther, columnHeight(columns[i]));
    if (metrics::orphanRatio * tallestOther > columnHeight(columns.back())) {
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

double panelWidth(std::size_t columnCount)
{
    const double c = double(std::max<std::size_t>(1, columnCount));
    return metrics::columnWidth * c + metrics::columnGap * (c - 1) + metrics::outerMargin;
}

ColumnLayout layoutColumns(const AppShortcuts& app, const platform::Rect& visibleFrame, bool wrapLongSections)
{
    ColumnLayout layout;
    layout.visibleFrame = visibleFrame;
    layout.maximumHeight = maximumPanelHeight(visibleFrame.size.height);
    const double wrapLimit = metrics::wrapThreshold * layout.maximumHeight;

    // What is planned, and the source section each planned piece came from.
    std::vector<MenuSection> planned;
    std::unordered_map<Uuid, std::size_t> sourceOf;
    auto plan = [&](bool shortcutsOnly) {
        planned.clear();
        sourceOf.clear();
        for (std::size_t i = 0; i < app.sections.size(); ++i) {
            MenuSection section = shortcutsOnly ? withShortcutsOnly(app.sections[i]) : app.sections[i];
            if (shortcutsOnly && section.groups.empty())
                continue;
            auto pieces = wrapLongSections ? splitSection(section, wrapLimit) : std::vector{std::move(section)};
            for (auto& piece : pieces) {
                sourceOf.emplace(piece.id, i);
                planned.push_back(std::move(piece));
            }
        }
    };
    bool shortcutsOnly = app.includesItemsWithoutShortcuts;
    plan(shortcutsOnly);
    if (shortcutsOnly && planned.empty()) {
        shortcutsOnly = false;
        plan(false);
    }

    layout.columns = distributeColumns(planned, maximumColumns(visibleFrame.size.width));
    if (shortcutsOnly)
        layout.columns = restoreItemsWithoutShortcuts(layout.columns, app.sections, sourceOf);
    layout.width = panelWidth(layout.columns.size());
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
