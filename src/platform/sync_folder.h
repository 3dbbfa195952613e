#pragma once

#include "base/observer_list.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::platform {

// A folder that the user's file-synchronisation tool keeps in step between
// the user's machines. Each machine writes only files of its own and replaces
// each one whole; the others' files arrive late, out of order, again, or as
// conflict copies beside the original. Main thread only.
class SyncFolder {
public:
    using ObserverId = ObserverList<>::Id;

    virtual ~SyncFolder() = default;

    // Whether the folder exists now.
    virtual bool isAvailable() const = 0;
    using NameFilter = std::function<bool(std::string_view name)>;
    static constexpr std::size_t maxListedFiles = 1000;

    // The names of the regular files directly inside that `wanted` accepts,
    // hidden ones left out: the first maxListedFiles in name order (logged
    // by the folder when it holds more).
    virtual std::vector<std::string> matchingFileNames(const NameFilter& wanted) const = 0;
    std::vector<std::string> fileNames() const
    {
        return matchingFileNames([](std::string_view) { return true; });
    }
    // The whole content of one file; none when it cannot be read whole
    // within `maxBytes` (logged by the folder).
    virtual std::optional<std::string> read(std::string_view name, std::size_t maxBytes) const = 0;
    // Replaces the file atomically; false when that failed (logged).
    virtual bool write(std::string_view name, std::string_view content) = 0;
    // False when the file exists and could not be removed (logged).
    virtual bool remove(std::string_view name) = 0;

    // Called on the main thread after another program changed the folder's
    // files, and when the folder disappeared or appeared again.
    ObserverId addChangeObserver(std::function<void()> observer) { return observers_.add(std::move(observer)); }
    void removeChangeObserver(ObserverId id) { observers_.remove(id); }

protected:
    void notifyChange() { observers_.notify(); }

private:
    ObserverList<> observers_;
};

} // namespace hb::platform
