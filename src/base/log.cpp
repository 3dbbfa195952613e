#include "base/log.h"

namespace hb::platform {

std::string_view categoryName(LogCategory category)
{
    switch (category) {
    case LogCategory::scraper:
        return "scraper";
    case LogCategory::accessibility:
        return "accessibility";
    case LogCategory::hotkey:
        return "hotkey";
    case LogCategory::settings:
        return "settings";
    }
    return "unknown";
}

std::string_view levelName(LogLevel level)
{
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "default";
    case LogLevel::error:
        return "error";
    }
    return "unknown";
}

} // namespace hb::platform
