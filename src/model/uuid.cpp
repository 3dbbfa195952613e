#include "model/uuid.h"

#include <fmt/format.h>

#include <cstring>
#include <random>

namespace hb {

Uuid Uuid::random()
{
    thread_local std::mt19937_64 generator{std::random_device{}()};
    Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes_.size(); i += 8) {
        std::uint64_t word = generator();
        for (std::size_t j = 0; j < 8; ++j)
            uuid.bytes_[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    uuid.bytes_[6] = static_cast<std::uint8_t>((uuid.bytes_[6] & 0x0F) | 0x40);
    uuid.bytes_[8] = static_cast<std::uint8_t>((uuid.bytes_[8] & 0x3F) | 0x80);
    return uuid;
}

std::string Uuid::toString() const
{
    const auto& b = bytes_;
    return fmt::format("{:02X}{:02X}{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-{:02X}{:02X}-"
                       "{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}",
                       b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                       b[15]);
}

std::size_t Uuid::hash() const
{
    // The bytes are random: mixing the two halves is enough.
    std::uint64_t high;
    std::uint64_t low;
    std::memcpy(&high, bytes_.data(), sizeof high);
    std::memcpy(&low, bytes_.data() + sizeof high, sizeof low);
    return static_cast<std::size_t>(high ^ (low * 0x9e3779b97f4a7c15ULL));
}

} // namespace hb
