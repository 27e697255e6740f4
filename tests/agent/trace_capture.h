// Captures the agent's trace stream at a chosen debug level for the length of a test.
#pragma once

#include <cstdio>
#include <string>

#include "agent_log.h"

class TraceCapture {
public:
    explicit TraceCapture(int debug = 1) : saved_(settings), saved_stream_(trace_stream), file_(tmpfile())
    {
        settings.debug = debug;
        trace_stream = file_;
    }
    ~TraceCapture()
    {
        trace_stream = saved_stream_;
        settings = saved_;
        fclose(file_);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Everything traced so far.
    std::string text() const
    {
        fflush(file_);
        std::string out;
        long end = ftell(file_);
        rewind(file_);
        out.resize(static_cast<size_t>(end));
        size_t n = fread(out.data(), 1, out.size(), file_);
        out.resize(n);
        fseek(file_, 0, SEEK_END);
        return out;
    }

private:
    AgentSettings saved_;
    FILE* saved_stream_;
    FILE* file_;
};
