#include "fake/fake_event_monitors.h"

#include <vector>

namespace hb::fake {

namespace {

// Handlers may remove monitors while being told, so each round works on a copy.
template <typename Handler, typename... Args>
void tell(const std::map<platform::EventMonitors::Token, Handler>& handlers, const Args&... args)
{
    std::vector<Handler> copies;
    for (const auto& entry : handlers)
        copies.push_back(entry.second);
    for (const auto& handler : copies)
        handler(args...);
}

} // namespace

template <typename Handler>
std::optional<platform::EventMonitors::Token> FakeEventMonitors::add(std::map<Token, Handler>& handlers,
                                                                     Handler handler)
{
    if (!available_)
        return std::nullopt;
    Token token = nextToken_++;
    handlers.emplace(token, std::move(handler));
    return token;
}

std::optional<platform::EventMonitors::Token>
FakeEventMonitors::addFlagsChangedMonitor(std::function<void(std::uint64_t)> handler)
{
    return add(flagsMonitors_, std::move(handler));
}

std::optional<platform::EventMonitors::Token>
FakeEventMonitors::addKeyDownMonitor(std::function<void(const platform::KeyEvent&)> handler)
{
    return add(keyMonitors_, std::move(handler));
}

std::optional<platform::EventMonitors::Token>
FakeEventMonitors::addMouseDownMonitor(std::function<void(platform::MouseButton)> handler)
{
    return add(mouseMonitors_, std::move(handler));
}

void FakeEventMonitors::removeMonitor(Token token)
{
    flagsMonitors_.erase(token);
    keyMonitors_.erase(token);
    mouseMonitors_.erase(token);
}

void FakeEventMonitors::changeFlags(std::uint64_t flags)
{
    flags_ = flags;
    tell(flagsMonitors_, flags);
}

void FakeEventMonitors::pressKey(const platform::KeyEvent& key)
{
    tell(keyMonitors_, key);
}

void FakeEventMonitors::pressMouse(platform::MouseButton button)
{
    tell(mouseMonitors_, button);
}

std::size_t FakeEventMonitors::monitorCount() const
{
    return flagsMonitors_.size() + keyMonitors_.size() + mouseMonitors_.size();
}

} // namespace hb::fake
