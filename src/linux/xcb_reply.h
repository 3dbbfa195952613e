#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace hb::linux_platform {

// An xcb reply, freed with the C allocator that xcb used for it.
template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
XcbReply<T> xcbReply(T* value)
{
    return XcbReply<T>(value, &std::free);
}

// The atoms of `names`, asked for together; XCB_ATOM_NONE where the server gives none.
template <std::size_t N>
std::array<xcb_atom_t, N> internAtoms(xcb_connection_t* connection, const std::array<std::string_view, N>& names)
{
    std::array<xcb_intern_atom_cookie_t, N> cookies;
    for (std::size_t i = 0; i < N; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, names[i].size(), names[i].data());
    std::array<xcb_atom_t, N> atoms;
    for (std::size_t i = 0; i < N; ++i) {
        auto reply = xcbReply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    return atoms;
}

} // namespace hb::linux_platform
