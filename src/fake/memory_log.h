#pragma once

#include "base/log.h"

#include <mutex>
#include <string>
#include <vector>

namespace hb::fake {

// Keeps every log line in memory.
class MemoryLogSink : public platform::LogSink {
public:
    void write(const platform::LogRecord& record) override;

    std::vector<platform::LogRecord> records() const;
    // The messages of one category, in order.
    std::vector<std::string> messages(platform::LogCategory category) const;
    bool contains(platform::LogCategory category, platform::LogLevel level, const std::string& message) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<platform::LogRecord> records_;
};

} // namespace hb::fake
