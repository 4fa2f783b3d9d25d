#include "DebugOutput.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

std::mutex& SinkMutex()
{
    static std::mutex m;
    return m;
}

DiagnosticSink& CurrentSink()
{
    static DiagnosticSink sink;
    return sink;
}

// Opt-in only: a user running the program normally never sees assertion lines.
void DefaultSink(const char* text)
{
    static const char* target = std::getenv("VFWU_DEBUG");
    if (target == nullptr || *target == '\0')
        return;
    if (std::strcmp(target, "stderr") == 0 || std::strcmp(target, "1") == 0) {
        std::fputs(text, stderr);
        return;
    }
    if (FILE* f = std::fopen(target, "a")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

} // namespace

void SetDiagnosticSink(DiagnosticSink sink)
{
    std::lock_guard<std::mutex> lock(SinkMutex());
    CurrentSink() = std::move(sink);
}

int DebugPrint(const char* format_I, ...)
{
    va_list args;
    va_start(args, format_I);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format_I, measure);
    va_end(measure);
    const int size = length + 1;
    if (length < 0 || size <= 0) {
        va_end(args);
        return -1;
    }
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
    const int written = std::vsnprintf(buffer.get(), static_cast<size_t>(size), format_I, args);
    va_end(args);

    std::lock_guard<std::mutex> lock(SinkMutex());
    if (CurrentSink())
        CurrentSink()(buffer.get());
    else
        DefaultSink(buffer.get());
    return written;
}
