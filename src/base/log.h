#pragma once

#include <fmt/format.h>

#include <functional>
#include <string>
#include <string_view>
#include <tuple>

namespace hb::platform {

inline constexpr std::string_view logSubsystem = "org.mirelo.Hintboard";

enum class LogCategory { scraper, accessibility, hotkey, settings };
enum class LogLevel { debug, info, notice, error }; // notice is the system's "default" level

std::string_view categoryName(LogCategory);
std::string_view levelName(LogLevel);

struct LogRecord {
    LogCategory category;
    LogLevel level;
    std::string message;
};

// Where log lines go: the journal, standard error, or memory in tests.
// Written from any thread.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogRecord& record) = 0;
};

// A value that the log shows only while debug logging is on.
template <typename T>
struct Private {
    const T& value;
};
template <typename T>
Private<T> privately(const T& value)
{
    return Private<T>{value};
}

// Formats lines with fmt and hands them to a sink. Private values print as
// "<private>" unless debug logging is on.
class Log {
public:
    Log(LogSink& sink, std::function<bool()> debugLoggingEnabled)
        : sink_(sink), debugLoggingEnabled_(std::move(debugLoggingEnabled))
    {}

    bool debugLoggingEnabled() const { return debugLoggingEnabled_ && debugLoggingEnabled_(); }

    template <typename... Args>
    void write(LogCategory category, LogLevel level, std::string_view format, const Args&... args)
    {
        [[maybe_unused]] const bool reveal = debugLoggingEnabled();
        auto values = std::make_tuple(present(args, reveal)...);
        std::string message;
        try {
            message =
                std::apply([&](const auto&... v) { return fmt::vformat(format, fmt::make_format_args(v...)); }, values);
        } catch (const fmt::format_error&) {
            message = std::string(format);
        }
        sink_.write(LogRecord{category, level, std::move(message)});
    }

    template <typename... Args>
    void debug(LogCategory c, std::string_view format, const Args&... args)
    {
        write(c, LogLevel::debug, format, args...);
    }
    template <typename... Args>
    void info(LogCategory c, std::string_view format, const Args&... args)
    {
        write(c, LogLevel::info, format, args...);
    }
    template <typename... Args>
    void notice(LogCategory c, std::string_view format, const Args&... args)
    {
        write(c, LogLevel::notice, format, args...);
    }
    template <typename... Args>
    void error(LogCategory c, std::string_view format, const Args&... args)
    {
        write(c, LogLevel::error, format, args...);
    }

private:
    template <typename T>
    static const T& present(const T& value, bool)
    {
        return value;
    }
    template <typename T>
    static std::string present(const Private<T>& value, bool reveal)
    {
        return reveal ? fmt::format("{}", value.value) : std::string("<private>");
    }

    LogSink& sink_;
    std::function<bool()> debugLoggingEnabled_;
};

} // namespace hb::platform
