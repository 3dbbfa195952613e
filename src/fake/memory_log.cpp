#include "fake/memory_log.h"

namespace hb::fake {

void MemoryLogSink::write(const platform::LogRecord& record)
{
    std::lock_guard lock(mutex_);
    records_.push_back(record);
}

std::vector<platform::LogRecord> MemoryLogSink::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> MemoryLogSink::messages(platform::LogCategory category) const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& record : records_)
        if (record.category == category)
            result.push_back(record.message);
    return result;
}

bool MemoryLogSink::contains(platform::LogCategory category, platform::LogLevel level, const std::string& message) const
{
    std::lock_guard lock(mutex_);
    for (const auto& record : records_)
        if (record.category == category && record.level == level && record.message == message)
            return true;
    return false;
}

void MemoryLogSink::clear()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

} // namespace hb::fake
