#pragma once

#include "base/log.h"

namespace hb::linux_platform {

// Writes log lines to the systemd journal with the subsystem and category as
// fields; to standard error when asked to, or else when there is no journal
// those at or above `levelWithoutJournal`.
class JournalLogSink : public platform::LogSink {
public:
    explicit JournalLogSink(bool alsoToStandardError = false,
                            platform::LogLevel levelWithoutJournal = platform::LogLevel::debug);
    void write(const platform::LogRecord& record) override;

private:
    bool toStandardError_;
    platform::LogLevel levelWithoutJournal_;
    bool journalAvailable_;
};

} // namespace hb::linux_platform
