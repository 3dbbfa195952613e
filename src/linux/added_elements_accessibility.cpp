#include "linux/added_elements_accessibility.h"

#include "linux/atspi_key_binding.h"

namespace hb::linux_platform {

platform::ElementRef AddedElementsAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<Application>(pid, inner_.applicationElement(pid));
}

void AddedElementsAccessibility::setMessagingTimeout(const platform::ElementRef& application,
                                                     std::chrono::duration<double> timeout)
{
    const auto* own = dynamic_cast<const Application*>(application.get());
    inner_.setMessagingTimeout(own ? own->inner : application, timeout);
}

std::optional<platform::AttributeValue> AddedElementsAccessibility::acceleratorAttribute(std::string_view accelerator,
                                                                                         std::string_view attribute)
{
    if (!isKeyAttribute(attribute) || accelerator.empty())
        return std::nullopt;
    const auto key = parseKeyBinding(accelerator, KeyBindingStyle::gtk, "", false);
    return key ? keyAttribute(*key, attribute) : std::nullopt;
}

} // namespace hb::linux_platform
