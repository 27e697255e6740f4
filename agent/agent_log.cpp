#include "agent_log.h"

#include <cstdarg>
#include <cstdint>

AgentSettings settings;
FILE* trace_stream = stdout;

void trace_write(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(trace_stream, fmt, ap);
    va_end(ap);
}

void progress(const char* fmt, ...)
{
    if (settings.debug < 0) return;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
}

void report_pause(const char* what, double ms)
{
    if (ms >= 100) progress("vorlanagt: %s stopped the program for %.0f ms\n", what, ms);
}

void trace_flush()
{
    if (tracing()) fflush(trace_stream);
}

unsigned addr32(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}
