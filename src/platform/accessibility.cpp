#include "platform/accessibility.h"

namespace hb::platform {
namespace {

template <typename T>
std::optional<T> readAs(Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
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

std::optional<std::string> readText(Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
{
    return readAs<std::string>(accessibility, element, attribute);
}

std::optional<std::int64_t> readInteger(Accessibility& accessibility, const ElementRef& element,
                                        std::string_view attribute)
{
    auto number = readAs<AttributeNumber>(accessibility, element, attribute);
    return number ? std::optional(number->integer()) : std::nullopt;
}

std::optional<bool> readBoolean(Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
{
    auto number = readAs<AttributeNumber>(accessibility, element, attribute);
    return number ? std::optional(number->boolean()) : std::nullopt;
}

ElementRef readElement(Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
{
    return readAs<ElementRef>(accessibility, element, attribute).value_or(nullptr);
}

std::vector<ElementRef> readChildren(Accessibility& accessibility, const ElementRef& element)
{
    return readAs<std::vector<ElementRef>>(accessibility, element, ax::children).value_or(std::vector<ElementRef>{});
}

} // namespace hb::platform
