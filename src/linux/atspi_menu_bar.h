#pragma once

#include "linux/atspi_element.h"
#include "linux/atspi_prefetch.h"
#include "linux/atspi_reads.h"

#include <cstddef>
#include <memory>
#include <vector>

// Where an application's menu bar is: in one of its windows, the active one
// first, below the window (chooseMenuBar in atspi_accessibility.h).
namespace hb::linux_platform::atspi {

// How many objects below a window the menu-bar search looks at, at most: a
// viewport may hold thousands of icons.
inline constexpr std::size_t menuBarSearchBudget = 400;

// The application's windows, the active one first.
std::vector<std::shared_ptr<Element>> windowsActiveFirst(Prefetcher& prefetcher, Reads& reads,
                                                         const Element& application);

} // namespace hb::linux_platform::atspi
