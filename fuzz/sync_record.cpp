// Records of other machines in the sync folder (and backups' values): the
// property list, the record's stamps and values, and what merging makes of
// them.
#include "base/property_list.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "settings/sync_state.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = hb::platform::parsePropertyList(bytes);
    if (!parsed)
        return 0;
    constexpr std::int64_t now = 1'800'000'000'000;
    std::string failure;
    std::set<hb::SyncStamp> refused;
    if (auto decoded = hb::decodeSyncState(*parsed, now, failure, &refused)) {
        hb::SyncState state;
        state.merge(decoded->state);
        if (!state.covers(decoded->state) || state.merge(decoded->state).size() != 0)
            std::abort(); // merging is idempotent
        for (auto key : hb::keys::synchronised) {
            // Whatever the record holds, the values it gives can be stored.
            if (auto value = state.value(key); value && hb::storedValueProblem(key, *value))
                std::abort();
        }
        // What this machine writes back reads back the same (marks added and
        // removed alike are written as removed only).
        const auto written = hb::platform::serializePropertyList(hb::encodeSyncState(state, decoded->machine, &refused),
                                                                 hb::platform::PlistFormat::binary);
        if (!written)
            std::abort();
        auto again = hb::decodeSyncState(*hb::platform::parsePropertyList(*written), now, failure);
        if (!again || again->state.registers() != state.registers() || again->refused != refused)
            std::abort();
        for (auto key : hb::keys::synchronised) {
            if (again->state.value(key) != state.value(key))
                std::abort();
        }
    }
    for (auto key : hb::keys::synchronised)
        hb::legacySyncState(key, *parsed, now, failure);
    if (const auto* values = parsed->as<hb::platform::PlistDictionary>()) {
        for (const auto& [key, value] : *values)
            hb::storedValueProblem(key, value);
    }
    return 0;
}
