// User-interface definitions found in other programs' resource bundles: the
// shortcuts window they define and the titles its groups show.
#include "sources/shortcuts_window_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

struct NoSink : hb::platform::LogSink {
    void write(const hb::platform::LogRecord&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static NoSink sink;
    static hb::platform::Log log(sink, [] { return true; });
    const std::string_view definition(reinterpret_cast<const char*>(data), size);
    auto window = hb::sources::readShortcutsWindow(definition, log);
    if (!window)
        return 0;
    std::size_t shortcuts = 0;
    const auto translate = [](const hb::sources::UiText& text) { return text.text; };
    for (const auto& group : window->groups) {
        hb::sources::groupTitle(*window, group, translate, "Shortcuts");
        for (const auto& shortcut : group.shortcuts) {
            if (shortcut.title.text.size() > hb::sources::maxTitleBytes
                || shortcut.accelerator.size() > hb::sources::maxAcceleratorBytes)
                std::abort();
        }
        shortcuts += group.shortcuts.size();
    }
    if (shortcuts > hb::sources::maxWindowShortcuts || window->textDomain.find('/') != std::string::npos)
        std::abort();
    return 0;
}
