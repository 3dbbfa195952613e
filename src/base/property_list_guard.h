#pragma once

#include <cstddef>
#include <string_view>

namespace hb::platform {

// libplist parses and frees recursively, copies a binary object once per
// reference to it, and aborts on a binary dictionary key holding U+0000.
// These bounds keep parsing within the stack and within reason.
inline constexpr int maxPropertyListDepth = 256;              // nested arrays and dictionaries
inline constexpr std::size_t maxPropertyListValues = 1 << 20; // values after expanding references
// A binary list may reuse objects (writers share equal keys and values), but
// never expand to more than this many values per object it holds...
inline constexpr std::size_t maxValuesPerObject = 32;
inline constexpr std::size_t valueAllowance = 4096;
// ...nor to more text and data bytes than this many times its own size.
inline constexpr std::size_t maxExpansionPerByte = 4;
inline constexpr std::size_t byteAllowance = 1 << 20;

// Whether libplist can parse `bytes` within the bounds above and without
// aborting. Conservative: may refuse a list that it could parse, never passes
// one that it cannot.
bool propertyListSafeToParse(std::string_view bytes);

} // namespace hb::platform
