#include "fake/fake_hotkey_service.h"

namespace hb::fake {

int FakeHotkeyService::registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, platform::HotkeyId id)
{
    if (registration_ || heldElsewhere_.count({keyCode, carbonModifiers}))
        return refusedStatus;
    registration_ = Registration{keyCode, carbonModifiers, id};
    return 0;
}

void FakeHotkeyService::unregisterHotkey()
{
    registration_.reset();
    ++unregisterCount_;
}

void FakeHotkeyService::holdElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers)
{
    heldElsewhere_.emplace(keyCode, carbonModifiers);
}

bool FakeHotkeyService::pressRegistered()
{
    if (!registration_)
        return false;
    press(registration_->id);
    return true;
}

void FakeHotkeyService::press(platform::HotkeyId id)
{
    if (handler_)
        handler_(id);
}

void FakeHotkeyService::loseRegistration()
{
    if (!registration_)
        return;
    registration_.reset();
    if (lossHandler_)
        lossHandler_();
}

} // namespace hb::fake
