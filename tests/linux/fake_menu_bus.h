#pragma once

#include "linux/exported_menus.h"

#include <glib.h>

#include <map>
#include <string>
#include <vector>

namespace hb::linux_platform {

// Answers from menus held per group and actions held per object path; records what was asked.
class FakeMenuBus final : public MenuBus {
public:
    std::map<std::uint32_t, std::vector<ExportedMenu>> groups;
    std::map<std::string, std::map<std::string, bool>> actions;  // enabled, by object path
    std::string layout;                                           // GetLayout's reply in GVariant text form
    std::vector<std::string> activations;                         // "bus path action [target]", "bus path clicked id"
    std::vector<std::uint32_t> ended;
    int starts = 0;
    bool stalled = false;

    void setTimeout(std::chrono::milliseconds) override {}
    std::optional<std::vector<ExportedMenu>> start(const std::string&, const std::string&,
                                                   const std::vector<std::uint32_t>& asked) override
    {
        ++starts;
        failure = stalled ? Failure::timedOut : Failure::none;
        if (stalled)
            return std::nullopt;
        std::vector<ExportedMenu> menus;
        for (auto group : asked)
            menus.insert(menus.end(), groups[group].begin(), groups[group].end());
        return menus;
    }
    void end(const std::string&, const std::string&, const std::vector<std::uint32_t>& asked) override { ended = asked; }
    std::optional<std::map<std::string, bool>> describeAll(const std::string&, const std::string& path) override
    {
        const auto found = actions.find(path);
        return found == actions.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<bool> describe(const std::string&, const std::string& path, const std::string& action) override
    {
        const auto found = actions.find(path);
        if (found == actions.end() || !found->second.contains(action))
            return std::nullopt;
        return found->second.at(action);
    }
    bool activate(const std::string& bus, const std::string& path, const std::string& action,
                  const std::string& target) override
    {
        activations.push_back(bus + " " + path + " " + action + (target.empty() ? "" : " " + target));
        return true;
    }
    std::optional<MenuModel> dbusMenuLayout(const std::string&, const std::string&, std::size_t maxItems) override
    {
        GVariant* reply = g_variant_parse(G_VARIANT_TYPE("(u(ia{sv}av))"), layout.c_str(), nullptr, nullptr, nullptr);
        if (!reply)
            return std::nullopt;
        auto model = parseDbusMenuLayout(reply, maxItems);
        g_variant_unref(reply);
        return model;
    }
    bool dbusMenuClick(const std::string& bus, const std::string& path, std::int32_t id) override
    {
        activations.push_back(bus + " " + path + " clicked " + std::to_string(id));
        return true;
    }
    Failure lastFailure() const override { return failure; }

private:
    Failure failure = Failure::none;
};

} // namespace hb::linux_platform
