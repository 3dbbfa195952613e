#pragma once

#include "platform/app_presence.h"

#include <optional>
#include <set>
#include <string>

namespace hb::fake {

// Records the program's presence and icon.
class FakeAppPresence : public platform::AppPresence {
public:
    void setRegular(bool regular) override { regular_ = regular; }
    bool setIcon(std::string_view imageName) override
    {
        if (!availableImages.contains(std::string(imageName)))
            return false;
        icon_ = std::string(imageName);
        return true;
    }
    void resetIcon() override { icon_.reset(); }

    bool isRegular() const { return regular_; }
    // The image in use; none for the program's own icon.
    const std::optional<std::string>& icon() const { return icon_; }

    std::set<std::string> availableImages{"AppIconOption", "AppIconControl"};

private:
    bool regular_ = false;
    std::optional<std::string> icon_;
};

} // namespace hb::fake
