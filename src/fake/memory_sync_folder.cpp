#include "fake/memory_sync_folder.h"

namespace hb::fake {

std::vector<std::string> MemorySyncFolder::matchingFileNames(const NameFilter& wanted) const
{
    std::vector<std::string> names;
    if (!available_)
        return names;
    for (const auto& entry : files_) {
        if (names.size() < maxListedFiles && wanted(entry.first))
            names.push_back(entry.first);
    }
    return names;
}

std::optional<std::string> MemorySyncFolder::read(std::string_view name, std::size_t maxBytes) const
{
    auto found = files_.find(name);
    if (!available_ || found == files_.end() || found->second.size() > maxBytes)
        return std::nullopt;
    return found->second;
}

bool MemorySyncFolder::mayWrite()
{
    return !allowWrite || allowWrite();
}

bool MemorySyncFolder::write(std::string_view name, std::string_view content)
{
    if (!mayWrite())
        return true;
    if (failWrites || !available_)
        return false;
    ++writes_;
    files_.insert_or_assign(std::string(name), std::string(content));
    if (onWrite)
        onWrite(std::string(name), std::string(content));
    return true;
}

bool MemorySyncFolder::remove(std::string_view name)
{
    if (!mayWrite())
        return true;
    if (failWrites || !available_)
        return false;
    if (auto found = files_.find(name); found != files_.end())
        files_.erase(found);
    return true;
}

void MemorySyncFolder::place(std::string_view name, std::string content)
{
    files_.insert_or_assign(std::string(name), std::move(content));
    notifyChange();
}

void MemorySyncFolder::erase(std::string_view name)
{
    if (auto found = files_.find(name); found != files_.end())
        files_.erase(found);
    notifyChange();
}

void MemorySyncFolder::setAvailable(bool available)
{
    available_ = available;
    notifyChange();
}

} // namespace hb::fake
