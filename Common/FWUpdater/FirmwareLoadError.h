#pragma once
// Why a firmware file could not be loaded, for the person who has to fix or replace it: the
// readers keep the first rule the file broke and, for the text formats, the line it broke it on.

#include <cstddef>
#include <string>
#include <utility>

struct FirmwareLoadError
{
    std::string reason; // empty after a successful load
    std::size_t line = 0; // 1-based; 0 when the reason concerns no single line

    void Clear()
    {
        reason.clear();
        line = 0;
    }
    void Set(std::string reason_I, std::size_t line_I = 0)
    {
        reason = std::move(reason_I);
        line = line_I;
    }
    // "line 12: checksum mismatch ..." or the reason alone.
    std::string Text() const { return line > 0 ? "line " + std::to_string(line) + ": " + reason : reason; }
};

// 1-based number of the line that holds byte offset_I of text_I.
inline std::size_t LineOfOffset(const char* text_I, std::size_t offset_I)
{
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset_I; ++i) {
        if (text_I[i] == '\n') {
            ++line;
        }
    }
    return line;
}
