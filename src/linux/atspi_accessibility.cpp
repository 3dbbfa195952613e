#include "linux/atspi_accessibility.h"

#include "linux/atspi_connection.h"
#include "linux/atspi_element.h"
#include "linux/atspi_key_binding.h"
#include "linux/atspi_menu_bar.h"
#include "linux/atspi_prefetch.h"
#include "linux/atspi_press.h"
#include "linux/atspi_reads.h"

namespace hb::linux_platform {

using platform::AttributeNumber;
using platform::AttributeValue;
using platform::ElementRef;
namespace ax = platform::ax;
using namespace atspi;

// The pieces of the layer, each with its own state, all used under atspiLock().
struct AtspiAccessibility::Parts {
    explicit Parts(platform::Log& log) : connection(log), reads(connection), prefetcher(connection, reads) {}

    Connection connection;
    Reads reads;
    Prefetcher prefetcher;
};

AtspiAccessibility::AtspiAccessibility(platform::Log& log) : parts_(std::make_unique<Parts>(log)) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isProcessTrusted()
{
    std::lock_guard lock(atspiLock());
    return parts_->connection.accessibilitySwitch().isEnabled().value_or(false);
}

bool AtspiAccessibility::requestTrust()
{
    std::lock_guard lock(atspiLock());
    auto& accessibilitySwitch = parts_->connection.accessibilitySwitch();
    if (accessibilitySwitch.isEnabled().value_or(false))
        return true;
    if (!accessibilitySwitch.enable()) {
        parts_->connection.log().error(platform::LogCategory::accessibility,
                                       "Could not switch on the desktop's accessibility");
        return false;
    }
    parts_->connection.log().notice(platform::LogCategory::accessibility,
                                    "Switched on the desktop's accessibility; applications started before may need a "
                                    "restart to show their menus");
    return accessibilitySwitch.isEnabled().value_or(false);
}

ElementRef AtspiAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<Element>(pid, nullptr, Presentation::application);
}

void AtspiAccessibility::setMessagingTimeout(const ElementRef& application, std::chrono::duration<double> timeout)
{
    std::lock_guard lock(atspiLock());
    parts_->connection.setTimeout(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
    // Called at the start of every read of the application.
    if (const auto* element = dynamic_cast<const Element*>(application.get()))
        parts_->connection.expectAnswers(element->pid);
}

std::optional<AttributeValue> AtspiAccessibility::copyAttribute(const ElementRef& reference, std::string_view attribute)
{
    const auto* element = dynamic_cast<const Element*>(reference.get());
    if (!element)
        return std::nullopt;
    if (attribute == atspi_attribute::processIdentifier)
        return AttributeNumber{static_cast<double>(element->pid)};
    std::lock_guard lock(atspiLock());
    auto& [connection, reads, prefetcher] = *parts_;
    // An application that stopped answering is asked nothing more (each
    // request checks), but what was asked ahead and answered still serves.
    if (!connection.connected())
        return std::nullopt;
    connection.drain();
    if (!reads.resolve(*element))
        return std::nullopt;

    const bool application = element->presentation == Presentation::application;
    if (application && attribute == ax::menuBar) {
        for (const auto& window : windowsActiveFirst(prefetcher, reads, *element))
            if (auto bar = chooseMenuBar(*this, window))
                return bar;
        return std::nullopt;
    }
    if (attribute == ax::children)
        return prefetcher.children(*element);
    if (attribute == atspi_attribute::parent) {
        if (auto parent = reads.parent(*element))
            return ElementRef(parent);
        return std::nullopt;
    }
    if (attribute == ax::title) {
        auto title = reads.name(*element);
        element->lastTitle = title;
        if (title)
            return *title;
        return std::nullopt;
    }
    if (attribute == atspi_attribute::role) {
        auto role = reads.role(*element);
        Text name(role ? atspi_role_get_name(*role) : nullptr);
        if (name)
            return std::string(name.get());
        return std::nullopt;
    }
    if (attribute == atspi_attribute::showing || attribute == atspi_attribute::visible) {
        auto states = reads.states(*element);
        if (!states)
            return std::nullopt;
        const bool set = atspi_state_set_contains(*states, attribute == atspi_attribute::showing ? ATSPI_STATE_SHOWING
                                                                                                 : ATSPI_STATE_VISIBLE);
        g_object_unref(*states);
        return AttributeNumber{set ? 1.0 : 0.0};
    }
    if (attribute == ax::enabled) {
        auto states = reads.states(*element);
        if (!states)
            return std::nullopt;
        const bool enabled = atspi_state_set_contains(*states, ATSPI_STATE_ENABLED);
        g_object_unref(*states);
        return AttributeNumber{enabled ? 1.0 : 0.0};
    }
    if (attribute == atspi_attribute::gtkAccelerator) {
        if (!reads.isGtk(*element))
            return std::nullopt;
        const auto binding = reads.keyBinding(*element);
        const auto accelerator = binding ? gtkAccelerator(*binding) : std::string_view();
        if (accelerator.empty())
            return std::nullopt;
        return std::string(accelerator);
    }
    if (isKeyAttribute(attribute)) {
        const auto& key = reads.key(*element);
        return key ? keyAttribute(*key, attribute) : std::nullopt;
    }
    return std::nullopt;
}

AtspiAccessibility::Presence AtspiAccessibility::presence(pid_t pid)
{
    std::lock_guard lock(atspiLock());
    auto& connection = parts_->connection;
    auto& reads = parts_->reads;
    if (!connection.connected())
        return Presence::noBus;
    if (!connection.answering(pid))
        return Presence::notAnswering;
    connection.drain();
    Element application(pid, nullptr, Presentation::application);
    return reads.resolve(application) ? Presence::onBus : Presence::notOnBus;
}

bool AtspiAccessibility::answers(pid_t pid)
{
    std::lock_guard lock(atspiLock());
    return parts_->connection.answering(pid);
}

std::uint64_t AtspiAccessibility::requestCount() const
{
    std::lock_guard lock(atspiLock());
    return parts_->connection.requests();
}

bool AtspiAccessibility::performAction(const ElementRef& reference, std::string_view action)
{
    const auto* element = dynamic_cast<const Element*>(reference.get());
    if (!element || action != ax::press)
        return false;
    std::lock_guard lock(atspiLock());
    auto& connection = parts_->connection;
    auto& reads = parts_->reads;
    if (!connection.connected())
        return false;
    connection.expectAnswers(element->pid);
    connection.drain();
    if (!reads.resolve(*element))
        return false;
    return press(connection, *element);
}

} // namespace hb::linux_platform
