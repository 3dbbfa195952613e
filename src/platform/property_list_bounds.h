#pragma once

#include <cstddef>
#include <string_view>

namespace hb::platform {

// libplist parses and frees recursively, and copies a binary object once per
// reference to it; these bounds keep both within the stack and within reason.
inline constexpr int maxPropertyListDepth = 256;             // nested arrays and dictionaries
inline constexpr std::size_t maxPropertyListValues = 1 << 20;  // values after expanding references

// Whether parsing `bytes` stays within the bounds above. Conservative: may
// refuse a list that is within them, never passes one that is not.
bool propertyListWithinBounds(std::string_view bytes);

} // namespace hb::platform
