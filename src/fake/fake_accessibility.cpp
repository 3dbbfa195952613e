#include "fake/fake_accessibility.h"

namespace hb::fake {

using platform::AttributeNumber;
using platform::AttributeValue;
using platform::ElementRef;
namespace ax = platform::ax;

FakeElement& FakeElement::set(std::string_view attribute, AttributeValue value)
{
    failing_.erase(std::string(attribute));
    attributes_.insert_or_assign(std::string(attribute), std::move(value));
    return *this;
}

FakeElement& FakeElement::fail(std::string_view attribute)
{
    failing_.emplace(attribute);
    return *this;
}

FakeElement& FakeElement::setEnabled(bool enabled)
{
    return set(ax::enabled, AttributeNumber{enabled ? 1.0 : 0.0});
}

FakeElement& FakeElement::setTitle(std::string title)
{
    return set(ax::title, std::move(title));
}

FakeElement& FakeElement::add(FakeElement& child)
{
    children_.push_back(&child);
    return *this;
}

FakeItem item(std::string title, std::optional<std::string> character, std::optional<std::int64_t> modifiers)
{
    FakeItem result;
    result.title = std::move(title);
    result.character = std::move(character);
    result.modifiers = modifiers;
    return result;
}

FakeItem separator()
{
    return FakeItem{};
}

FakeItem submenu(std::string title, std::vector<FakeItem> items)
{
    FakeItem result;
    result.title = std::move(title);
    result.submenu = std::move(items);
    result.hasSubmenu = true;
    return result;
}

FakeElement& FakeAccessibility::newElement(pid_t pid)
{
    std::lock_guard lock(mutex_);
    auto element = std::make_shared<FakeElement>();
    element->pid_ = pid;
    elements_.push_back(element);
    return *element;
}

FakeElement& FakeAccessibility::build(pid_t pid, const FakeItem& description)
{
    auto& element = newElement(pid);
    element.setTitle(description.title);
    if (description.character)
        element.set(ax::cmdChar, *description.character);
    if (description.modifiers)
        element.set(ax::cmdModifiers, AttributeNumber{static_cast<double>(*description.modifiers)});
    if (description.virtualKey)
        element.set(ax::cmdVirtualKey, AttributeNumber{static_cast<double>(*description.virtualKey)});
    if (description.glyph)
        element.set(ax::cmdGlyph, AttributeNumber{static_cast<double>(*description.glyph)});
    element.setEnabled(true);
    if (description.hasSubmenu) {
        auto& menu = newElement(pid);
        for (const auto& child : description.submenu)
            menu.add(build(pid, child));
        element.add(menu);
    }
    return element;
}

FakeElement& FakeAccessibility::addApplication(pid_t pid, const std::vector<FakeItem>& menus)
{
    auto& application = newElement(pid);
    {
        std::lock_guard lock(mutex_);
        applications_[pid] = &application;
    }
    if (!menus.empty()) {
        auto& menuBar = newElement(pid);
        for (const auto& menu : menus)
            menuBar.add(build(pid, menu));
        application.set(ax::menuBar, ElementRef(menuBar.shared_from_this()));
    }
    return application;
}

FakeElement* FakeAccessibility::find(pid_t pid, const std::vector<std::string>& titlePath)
{
    FakeElement* current = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto found = applications_.find(pid);
        if (found == applications_.end())
            return nullptr;
        auto menuBar = found->second->attributes_.find(ax::menuBar);
        if (menuBar == found->second->attributes_.end())
            return nullptr;
        auto* bar = std::get_if<ElementRef>(&menuBar->second);
        current = const_cast<FakeElement*>(static_cast<const FakeElement*>(bar->get()));
    }
    for (std::size_t depth = 0; depth < titlePath.size(); ++depth) {
        // Below the menu bar, an item's first child is its menu.
        FakeElement* container = current;
        if (depth > 0) {
            if (current->children_.empty())
                return nullptr;
            container = current->children_.front();
        }
        FakeElement* next = nullptr;
        for (auto* child : container->children_) {
            auto title = child->attributes_.find(ax::title);
            if (title != child->attributes_.end() && std::get_if<std::string>(&title->second)
                && std::get<std::string>(title->second) == titlePath[depth]) {
                next = child;
                break;
            }
        }
        if (!next)
            return nullptr;
        current = next;
    }
    return current;
}

void FakeAccessibility::quit(pid_t pid)
{
    std::lock_guard lock(mutex_);
    quit_.insert(pid);
}

void FakeAccessibility::hang(pid_t pid)
{
    std::lock_guard lock(mutex_);
    quit_.insert(pid);
    hung_.insert(pid);
}

bool FakeAccessibility::answers(pid_t pid)
{
    std::lock_guard lock(mutex_);
    return !hung_.contains(pid);
}

ElementRef FakeAccessibility::applicationElement(pid_t pid)
{
    {
        std::lock_guard lock(mutex_);
        if (auto found = applications_.find(pid); found != applications_.end())
            return found->second->shared_from_this();
    }
    // No such application: an element whose every read fails.
    auto& orphan = newElement(pid);
    quit(pid);
    return orphan.shared_from_this();
}

void FakeAccessibility::setMessagingTimeout(const ElementRef& application, std::chrono::duration<double> timeout)
{
    auto* element = dynamic_cast<const FakeElement*>(application.get());
    if (!element)
        return;
    std::lock_guard lock(mutex_);
    timeouts_[element->pid_] = timeout.count();
}

std::optional<double> FakeAccessibility::messagingTimeout(pid_t pid) const
{
    std::lock_guard lock(mutex_);
    auto found = timeouts_.find(pid);
    return found == timeouts_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<AttributeValue> FakeAccessibility::copyAttribute(const ElementRef& reference, std::string_view attribute)
{
    ++attributeReads_;
    if (attribute == ax::menuBar)
        ++menuBarReads_;
    auto* element = dynamic_cast<const FakeElement*>(reference.get());
    if (!element)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    if (quit_.contains(element->pid_) || element->failing_.contains(attribute))
        return std::nullopt;
    if (auto found = element->attributes_.find(attribute); found != element->attributes_.end())
        return found->second;
    if (attribute == ax::children) {
        std::vector<ElementRef> children;
        for (auto* child : element->children_)
            children.push_back(child->shared_from_this());
        return children;
    }
    return std::nullopt;
}

bool FakeAccessibility::performAction(const ElementRef& reference, std::string_view action)
{
    auto* element = const_cast<FakeElement*>(dynamic_cast<const FakeElement*>(reference.get()));
    if (!element || action != ax::press)
        return false;
    {
        std::lock_guard lock(mutex_);
        if (quit_.contains(element->pid_) || element->refusePress_)
            return false;
    }
    ++element->pressCount_;
    return true;
}

} // namespace hb::fake
