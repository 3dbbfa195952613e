#include "platform/accessibility.h"

namespace hb::platform {
namespace {

template <typename T>
std::optional<T> readAs(Accessibility& accessibility, const AXElementRef& element, std::string_view attribute)
{
    if (!element)
        return std::nullopt;
    auto value = accessibility.copyAttribute(element, attribute);
    if (!value)
        return std::nullopt;
    if (auto* typed = std::get_if<T>(&*value))
        return std::move(*typed);
    return std::nullopt;
}

} // namespace

std::optional<std::string> readText(Accessibility& accessibility, const AXElementRef& element,
                                    std::string_view attribute)
{
    return readAs<std::string>(accessibility, element, attribute);
}

std::optional<std::int64_t> readInteger(Accessibility& accessibility, const AXElementRef& element,
                                        std::string_view attribute)
{
    auto number = readAs<AXNumber>(accessibility, element, attribute);
    return number ? std::optional(number->integer()) : std::nullopt;
}

std::optional<bool> readBoolean(Accessibility& accessibility, const AXElementRef& element,
                                std::string_view attribute)
{
    auto number = readAs<AXNumber>(accessibility, element, attribute);
    return number ? std::optional(number->boolean()) : std::nullopt;
}

AXElementRef readElement(Accessibility& accessibility, const AXElementRef& element, std::string_view attribute)
{
    return readAs<AXElementRef>(accessibility, element, attribute).value_or(nullptr);
}

std::vector<AXElementRef> readChildren(Accessibility& accessibility, const AXElementRef& element)
{
    return readAs<std::vector<AXElementRef>>(accessibility, element, ax::children).value_or(std::vector<AXElementRef>{});
}

} // namespace hb::platform
