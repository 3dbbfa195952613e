#pragma once

#include "base/observer_list.h"
#include "base/property_list.h"
#include "platform/settings_domain.h"

#include <functional>
#include <optional>

namespace hb {

// A colour with components from 0 to 1.
struct RgbColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

// The colour as the other desktop's keyed archiver writes one RGB colour
// object (binary property list), so that backups move both ways.
// None for a colour with a component that is not a number.
std::optional<platform::PlistData> archiveColor(const RgbColor& color);
// None unless the data is such an archive of one colour with components: RGB,
// grey, or the components of a colour space of its own.
std::optional<RgbColor> unarchiveColor(const platform::PlistData& data);

// The colour of key glyphs: a custom colour kept under `keyAccentColor`, or
// else the system accent colour, read at each use so that changes of it show.
// Main thread only.
class ThemeSettings {
public:
    using SystemAccentColor = std::function<RgbColor()>;

    ThemeSettings(platform::SettingsDomain& settings, SystemAccentColor systemAccentColor);

    const std::optional<RgbColor>& customColor() const { return customColor_; }
    // Observers hear of it only when the colour differs.
    void setCustomColor(std::optional<RgbColor> color);
    // Stores the custom colour, or removes the key when there is none.
    void save();
    RgbColor effectiveColor() const;
    // Makes the colour in use the custom colour, and saves it.
    void adoptEffectiveColor();

    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    platform::SettingsDomain& settings_;
    SystemAccentColor systemAccentColor_;
    std::optional<RgbColor> customColor_;
    platform::ObserverList<> observers_;
};

} // namespace hb
