// The one trace sink of the client and its front ends. Front ends inject where the
// texts go (a log window, a file, a terminal); texts pass only at debug level 1.
#pragma once

#include <functional>
#include <string>
#include <string_view>

using LogSink = std::function<void(std::string_view)>;

class TraceLog {
public:
    TraceLog() = default;
    TraceLog(int debugLevel, LogSink sink)
        : on_(debugLevel == 1 && sink), sink_(std::move(sink)) {}

    bool on() const { return on_; }

    void operator()(std::string_view text) const
    {
        if (on_)
            sink_(text);
    }

    // Appends prefix, the number in decimal and suffix as one text. The number is
    // formatted only when tracing is on, since hot loops call this per line.
    void operator()(std::string_view prefix, long long value, std::string_view suffix) const
    {
        if (!on_)
            return;
        std::string text(prefix);
        text += std::to_string(value);
        text += suffix;
        sink_(text);
    }

private:
    bool on_ = false;
    LogSink sink_;
};
