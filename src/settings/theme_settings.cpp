#include "settings/theme_settings.h"

#include "settings/settings_keys.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace hb {
namespace {

using platform::PlistArray;
using platform::PlistData;
using platform::PlistDictionary;
using platform::PlistUid;
using platform::PlistValue;

constexpr std::int64_t calibratedRgbColorSpace = 1;
constexpr std::int64_t deviceRgbColorSpace = 2;
constexpr std::int64_t calibratedWhiteColorSpace = 3;
constexpr std::int64_t deviceWhiteColorSpace = 4;

template <typename T>
const T* member(const PlistDictionary& dictionary, std::string_view key)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.as<T>();
}

// The archive's object at a reference.
const PlistDictionary* object(const PlistArray& objects, const PlistUid* reference)
{
    if (!reference || reference->index >= objects.size())
        return nullptr;
    return objects[reference->index].as<PlistDictionary>();
}

// Numbers separated by white space ("r g b", "w a" …), ending at the first NUL.
std::optional<std::vector<double>> components(const PlistData& bytes)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    text = text.substr(0, text.find('\0'));
    std::vector<double> result;
    while (!text.empty()) {
        const auto start = text.find_first_not_of(" \t\n");
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        double value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || !std::isfinite(value))
            return std::nullopt;
        result.push_back(std::clamp(value, 0.0, 1.0));
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    }
    return result;
}

} // namespace

std::optional<PlistData> archiveColor(const RgbColor& color)
{
    for (double component : {color.red, color.green, color.blue, color.alpha}) {
        if (!std::isfinite(component))
            return std::nullopt;
    }
    auto text = fmt::format("{:.10g} {:.10g} {:.10g}", color.red, color.green, color.blue);
    if (color.alpha != 1)
        text += fmt::format(" {:.10g}", color.alpha);
    PlistData rgb(text.begin(), text.end());
    rgb.push_back(0);

    const PlistDictionary archive{
        {"$archiver", "NSKeyedArchiver"},
        {"$version", 100000},
        {"$top", PlistDictionary{{"root", PlistUid{1}}}},
        {"$objects",
         PlistArray{
             "$null",
             PlistDictionary{{"NSColorSpace", deviceRgbColorSpace}, {"NSRGB", std::move(rgb)}, {"$class", PlistUid{2}}},
             PlistDictionary{{"$classname", "NSColor"}, {"$classes", PlistArray{"NSColor", "NSObject"}}},
         }},
    };
    const auto bytes = platform::serializePropertyList(archive, platform::PlistFormat::binary);
    if (!bytes)
        return std::nullopt;
    return PlistData(bytes->begin(), bytes->end());
}

std::optional<RgbColor> unarchiveColor(const PlistData& data)
{
    auto root = platform::parsePropertyList(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    const auto* archive = root ? root->as<PlistDictionary>() : nullptr;
    if (!archive)
        return std::nullopt;
    const auto* archiver = member<std::string>(*archive, "$archiver");
    const auto* objects = member<PlistArray>(*archive, "$objects");
    const auto* top = member<PlistDictionary>(*archive, "$top");
    if (!archiver || *archiver != "NSKeyedArchiver" || !objects || !top)
        return std::nullopt;

    const auto* color = object(*objects, member<PlistUid>(*top, "root"));
    if (!color)
        return std::nullopt;
    // Only the colour class is accepted.
    const auto* colorClass = object(*objects, member<PlistUid>(*color, "$class"));
    const auto* className = colorClass ? member<std::string>(*colorClass, "$classname") : nullptr;
    if (!className || *className != "NSColor")
        return std::nullopt;

    // A colour in a colour space of its own keeps its components there, which
    // is what a colour picker shows; the RGB or white beside them is converted.
    // Anything else (a catalog colour, a pattern) has no components to show.
    const auto* space = member<std::int64_t>(*color, "NSColorSpace");
    const bool rgbSpace = space && (*space == calibratedRgbColorSpace || *space == deviceRgbColorSpace);
    const bool whiteSpace = space && (*space == calibratedWhiteColorSpace || *space == deviceWhiteColorSpace);
    const PlistData* own = member<PlistData>(*color, "NSComponents");
    const PlistData* stored = own          ? own
                              : rgbSpace   ? member<PlistData>(*color, "NSRGB")
                              : whiteSpace ? member<PlistData>(*color, "NSWhite")
                                           : nullptr;
    auto values = stored ? components(*stored) : std::nullopt;
    if (!values)
        return std::nullopt;
    const bool grey = own ? values->size() <= 2 : whiteSpace;
    const std::size_t colours = grey ? 1 : 3;
    if (values->size() != colours && values->size() != colours + 1)
        return std::nullopt;
    const double alpha = values->size() == colours + 1 ? values->back() : 1.0;
    if (grey)
        return RgbColor{(*values)[0], (*values)[0], (*values)[0], alpha};
    return RgbColor{(*values)[0], (*values)[1], (*values)[2], alpha};
}

ThemeSettings::ThemeSettings(platform::SettingsDomain& settings, SystemAccentColor systemAccentColor)
    : settings_(settings), systemAccentColor_(std::move(systemAccentColor))
{
    auto stored = settings_.object(keys::keyAccentColor);
    if (const auto* data = stored ? stored->as<PlistData>() : nullptr)
        customColor_ = unarchiveColor(*data);
}

void ThemeSettings::setCustomColor(std::optional<RgbColor> color)
{
    if (color == customColor_)
        return;
    customColor_ = color;
    observers_.notify();
}

void ThemeSettings::save()
{
    auto archive = customColor_ ? archiveColor(*customColor_) : std::nullopt;
    if (archive)
        settings_.set(keys::keyAccentColor, std::move(*archive));
    else
        settings_.remove(keys::keyAccentColor);
}

RgbColor ThemeSettings::effectiveColor() const
{
    return customColor_ ? *customColor_ : systemAccentColor_();
}

void ThemeSettings::adoptEffectiveColor()
{
    setCustomColor(effectiveColor());
    save();
}

} // namespace hb
