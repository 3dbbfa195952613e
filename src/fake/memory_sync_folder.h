#pragma once

#include "platform/sync_folder.h"

#include <functional>
#include <map>

namespace hb::fake {

// One machine's copy of a sync folder, in memory. What the machine writes
// stays here and is handed to `onWrite`; a test (or its copier standing in
// for a sync tool) brings the other machines' files with `place`.
class MemorySyncFolder final : public platform::SyncFolder {
public:
    using Files = std::map<std::string, std::string, std::less<>>;

    bool isAvailable() const override { return available_; }
    std::vector<std::string> matchingFileNames(const NameFilter& wanted) const override;
    std::optional<std::string> read(std::string_view name, std::size_t maxBytes) const override;
    bool write(std::string_view name, std::string_view content) override;
    bool remove(std::string_view name) override;

    // Changes made by another program: the observers are told.
    void place(std::string_view name, std::string content);
    void erase(std::string_view name);
    void setAvailable(bool available);

    const Files& files() const { return files_; }
    // Writes fail while set, as in a read-only or full folder.
    bool failWrites = false;
    // Asked before every write or removal; false drops it unseen, as when
    // the writing process was killed before it.
    std::function<bool()> allowWrite;
    // Told of every write that happened.
    std::function<void(const std::string& name, const std::string& content)> onWrite;
    int writeCount() const { return writes_; }

private:
    bool mayWrite();

    Files files_;
    bool available_ = true;
    int writes_ = 0;
};

} // namespace hb::fake
