#include "linux/journal_log.h"

#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace hb::linux_platform {
namespace {

int syslogPriority(platform::LogLevel level)
{
    switch (level) {
    case platform::LogLevel::debug:
        return LOG_DEBUG;
    case platform::LogLevel::info:
        return LOG_INFO;
    case platform::LogLevel::notice:
        return LOG_NOTICE;
    case platform::LogLevel::error:
        return LOG_ERR;
    }
    return LOG_INFO;
}

} // namespace

JournalLogSink::JournalLogSink(bool alsoToStandardError, platform::LogLevel levelWithoutJournal)
    : toStandardError_(alsoToStandardError), levelWithoutJournal_(levelWithoutJournal),
      journalAvailable_(access("/run/systemd/journal/socket", W_OK) == 0)
{}

void JournalLogSink::write(const platform::LogRecord& record)
{
    auto category = platform::categoryName(record.category);
    if (journalAvailable_) {
        sd_journal_send("MESSAGE=%s", record.message.c_str(), "PRIORITY=%d", syslogPriority(record.level),
                        "SUBSYSTEM=%.*s", static_cast<int>(platform::logSubsystem.size()),
                        platform::logSubsystem.data(), "CATEGORY=%.*s", static_cast<int>(category.size()),
                        category.data(), "SYSLOG_IDENTIFIER=hintboard", nullptr);
    }
    if (toStandardError_ || (!journalAvailable_ && record.level >= levelWithoutJournal_)) {
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        std::fprintf(stderr, "[%.*s] %s: %s\n", static_cast<int>(category.size()), category.data(),
                     platform::levelName(record.level).data(), record.message.c_str());
    }
}

} // namespace hb::linux_platform
