#pragma once

#include "base/property_list.h"
#include "model/key_label.h"
#include "triggers/global_hotkey.h"

#include <optional>

namespace hb::app {

// The settings file as it is now, for the commands that run beside the
// running Hintboard (which owns the file): read once, never written. A file
// that is missing or unreadable reads as no settings.
class StoredSettings {
public:
    static StoredSettings read();

    bool debugLoggingEnabled() const;
    notation::KeyLabels keyLabels() const;
    // The stored hot key; the default one until the first launch stored it.
    std::optional<GlobalHotkey> hotkey() const;

private:
    const platform::PlistValue* value(std::string_view key) const;

    platform::PlistDictionary values_;
};

} // namespace hb::app
