#pragma once

#include "platform/observer_list.h"

namespace hb {

// The callbacks of an observable object (a store, a view model), told after
// each change of its state. Main thread only.
using ChangeObservers = platform::ObserverList<>;

} // namespace hb
