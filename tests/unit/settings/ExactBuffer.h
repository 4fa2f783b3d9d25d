#pragma once
// Parses text held in a heap block of exactly its size, with no terminator behind it, so a
// read one byte past the end is caught by AddressSanitizer (a std::string would hide it).

#include "Settings/SettingsParser.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

class CExactBuffer
{
public:
    explicit CExactBuffer(const std::string& text_I)
        : mSize(text_I.size()), mData(new char[text_I.empty() ? 1 : text_I.size()])
    {
        if (!text_I.empty())
            std::memcpy(mData.get(), text_I.data(), text_I.size());
    }
    std::string_view View() const { return std::string_view(mData.get(), mSize); }

private:
    std::size_t mSize;
    std::unique_ptr<char[]> mData;
};

inline CSettingsObjectPtr ParseExact(const std::string& text_I)
{
    CExactBuffer buffer(text_I);
    return ParseSettings(buffer.View());
}

// ParseValue on an exact buffer; reports the end position through pos_O.
inline CSettingsObjectPtr ParseValueExact(const std::string& text_I, std::size_t* pos_O = nullptr)
{
    CExactBuffer buffer(text_I);
    std::size_t pos = 0;
    CSettingsObjectPtr value = ParseValue(buffer.View(), pos);
    if (pos_O)
        *pos_O = pos;
    return value;
}
