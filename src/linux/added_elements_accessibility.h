#pragma once

#include "platform/accessibility.h"

namespace hb::linux_platform {

// The accessibility interface of the desktop with elements of its own added
// to some applications: its application elements wrap the inner ones, so that
// a subclass can answer some of their attributes itself; every call on an
// element it did not make goes to `inner`.
class AddedElementsAccessibility : public platform::Accessibility {
public:
    explicit AddedElementsAccessibility(platform::Accessibility& inner) : inner_(inner) {}

    bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
    bool requestTrust() override { return inner_.requestTrust(); }
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    bool answers(pid_t pid) override { return inner_.answers(pid); }

protected:
    class Application final : public platform::AccessibleElement {
    public:
        Application(pid_t pid, platform::ElementRef inner) : pid(pid), inner(std::move(inner)) {}
        const pid_t pid;
        const platform::ElementRef inner;
    };

    // The key attribute of an item whose GTK accelerator is `accelerator`.
    static std::optional<platform::AttributeValue> acceleratorAttribute(std::string_view accelerator,
                                                                        std::string_view attribute);

    platform::Accessibility& inner_;
};

} // namespace hb::linux_platform
