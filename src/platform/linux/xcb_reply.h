#pragma once

#include <cstdlib>
#include <memory>

namespace hb::linux_platform {

// An xcb reply, freed with the C allocator that xcb used for it.
template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
XcbReply<T> xcbReply(T* value)
{
    return XcbReply<T>(value, &std::free);
}

} // namespace hb::linux_platform
