#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace hb {

// A random (version 4) UUID.
class Uuid {
public:
    static Uuid random();

    std::string toString() const;
    std::size_t hash() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

} // namespace hb

template <>
struct std::hash<hb::Uuid> {
    std::size_t operator()(const hb::Uuid& uuid) const noexcept { return uuid.hash(); }
};
