#pragma once

#include "platform/log.h"

namespace hb::linux_platform {

// Writes log lines to the systemd journal with the subsystem and category as
// fields; to standard error when there is no journal, or when asked to.
class JournalLogSink : public platform::LogSink {
public:
    explicit JournalLogSink(bool alsoToStandardError = false);
    void write(const platform::LogRecord& record) override;

private:
    bool toStandardError_;
    bool journalAvailable_;
};

} // namespace hb::linux_platform
