#include "linux/atspi_menu_bar.h"

#include "linux/atspi_accessibility.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>

namespace hb::linux_platform {

using platform::ElementRef;
namespace ax = platform::ax;

namespace atspi {

namespace {

bool isWindowRole(AtspiRole role)
{
    return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG;
}

std::vector<std::shared_ptr<Element>> windows(Prefetcher& prefetcher, Reads& reads, const Element& application)
{
    auto children = prefetcher.listChildren(application);
    std::vector<std::shared_ptr<Element>> windows;
    for (const auto& child : children)
        if (auto role = reads.role(*child); role && isWindowRole(*role))
            windows.push_back(child);
    return windows;
}

std::shared_ptr<Element> activeWindow(Reads& reads, const std::vector<std::shared_ptr<Element>>& windows)
{
    for (const auto& window : windows)
        if (reads.hasState(*window, ATSPI_STATE_ACTIVE))
            return window;
    return nullptr;
}

} // namespace

std::vector<std::shared_ptr<Element>> windowsActiveFirst(Prefetcher& prefetcher, Reads& reads,
                                                         const Element& application)
{
    auto all = windows(prefetcher, reads, application);
    if (auto active = activeWindow(reads, all))
        std::stable_partition(all.begin(), all.end(), [&](const auto& window) { return window == active; });
    return all;
}

} // namespace atspi

namespace {

// How deep below a window the menu bar is looked for.
constexpr int menuBarSearchDepth = 6;
// How many items of a menu bar's first menu tell whether it is the one shown.
constexpr std::size_t menuBarProbeItems = 12;

bool isTrue(platform::Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
{
    return platform::readBoolean(accessibility, element, attribute).value_or(false);
}

bool isShown(platform::Accessibility& accessibility, const ElementRef& element)
{
    return isTrue(accessibility, element, atspi_attribute::showing)
           && isTrue(accessibility, element, atspi_attribute::visible);
}

bool hasKeyEquivalent(platform::Accessibility& accessibility, const ElementRef& item)
{
    return platform::readText(accessibility, item, ax::cmdChar)
           || platform::readInteger(accessibility, item, ax::cmdVirtualKey)
           || platform::readInteger(accessibility, item, ax::cmdGlyph);
}

// How well a menu bar fits: shown, the items of its first menu visible, and
// some of them carrying accelerators, in this order of weight.
int menuBarFitness(platform::Accessibility& accessibility, const ElementRef& bar)
{
    int fitness = isShown(accessibility, bar) ? 4 : 0;
    for (const auto& entry : platform::readChildren(accessibility, bar)) {
        const auto menus = platform::readChildren(accessibility, entry);
        const auto items = menus.empty() ? menus : platform::readChildren(accessibility, menus.front());
        if (items.empty())
            continue;
        bool visible = false;
        bool accelerator = false;
        for (std::size_t i = 0; i < std::min(items.size(), menuBarProbeItems) && !(visible && accelerator); ++i) {
            visible = visible || isTrue(accessibility, items[i], atspi_attribute::visible);
            accelerator = accelerator || hasKeyEquivalent(accessibility, items[i]);
        }
        return fitness + (visible ? 2 : 0) + (accelerator ? 1 : 0);
    }
    return fitness;
}

} // namespace

ElementRef chooseMenuBar(platform::Accessibility& accessibility, const ElementRef& window)
{
    // Breadth first; a tool bar is searched only as the window's own (Firefox
    // keeps its menu bar in one), not the many button rows inside panes.
    static const std::set<std::string, std::less<>> containers = {
        "filler", "panel", "split pane", "root pane", "layered pane", "scroll pane", "viewport", "section", "grouping",
    };
    std::vector<ElementRef> bars;
    std::deque<std::pair<ElementRef, int>> queue{{window, 0}};
    std::size_t examined = 0;
    while (!queue.empty()) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        // A shown bar of the window's own (Qt's, for one) ends the search.
        if (depth == 1 && std::ranges::any_of(bars, [&](const auto& bar) { return isShown(accessibility, bar); }))
            break;
        for (const auto& child : platform::readChildren(accessibility, element)) {
            if (++examined > atspi::menuBarSearchBudget)
                break;
            auto role = platform::readText(accessibility, child, atspi_attribute::role);
            if (!role)
                continue;
            if (*role == "menu bar")
                bars.push_back(child);
            else if (depth + 1 < menuBarSearchDepth
                     && (containers.contains(*role) || (depth == 0 && *role == "tool bar")))
                queue.emplace_back(child, depth + 1);
        }
    }
    if (bars.size() <= 1)
        return bars.empty() ? nullptr : bars.front();
    ElementRef best;
    int bestFitness = -1;
    for (const auto& bar : bars)
        if (const int fitness = menuBarFitness(accessibility, bar); fitness > bestFitness) {
            best = bar;
            bestFitness = fitness;
        }
    return best;
}

} // namespace hb::linux_platform
