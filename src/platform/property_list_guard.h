#pragma once

#include <cstddef>
#include <string_view>

namespace hb::platform {

// libplist parses and frees recursively, copies a binary object once per
// reference to it, and aborts on a binary dictionary key holding U+0000.
// These bounds keep parsing within the stack and within reason.
inline constexpr int maxPropertyListDepth = 256;             // nested arrays and dictionaries
inline constexpr std::size_t maxPropertyListValues = 1 << 20;  // values after expanding references

// Whether libplist can parse `bytes` within the bounds above and without
// aborting. Conservative: may refuse a list that it could parse, never passes
// one that it cannot.
bool propertyListSafeToParse(std::string_view bytes);

} // namespace hb::platform
