#pragma once

#include "platform/event_monitors.h"

#include <map>

namespace hb::fake {

// Global input injected by the test and delivered at once to the monitors.
class FakeEventMonitors : public platform::EventMonitors {
public:
    std::optional<Token> addFlagsChangedMonitor(std::function<void(std::uint64_t)> handler) override;
    std::optional<Token> addKeyDownMonitor(std::function<void(const platform::KeyEvent&)> handler) override;
    std::optional<Token> addMouseDownMonitor(std::function<void(platform::MouseButton)> handler) override;
    void removeMonitor(Token token) override;
    std::uint64_t currentModifierFlags() override { return flags_; }

    // Monitors cannot be had while false (no display, no permission).
    void setAvailable(bool available) { available_ = available; }

    // Sets the held modifiers and tells the flags monitors.
    void changeFlags(std::uint64_t flags);
    void pressKey(const platform::KeyEvent& key);
    void pressMouse(platform::MouseButton button);

    std::size_t monitorCount() const;

private:
    template <typename Handler>
    std::optional<Token> add(std::map<Token, Handler>& handlers, Handler handler);

    bool available_ = true;
    std::uint64_t flags_ = 0;
    Token nextToken_ = 1;
    std::map<Token, std::function<void(std::uint64_t)>> flagsMonitors_;
    std::map<Token, std::function<void(const platform::KeyEvent&)>> keyMonitors_;
    std::map<Token, std::function<void(platform::MouseButton)>> mouseMonitors_;
};

} // namespace hb::fake
