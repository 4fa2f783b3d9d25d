#pragma once
// Parsing of text copied into a heap block of exactly its size, with no terminator behind it, so
// a read one byte past the end is caught by AddressSanitizer (a std::string would hide it).

#include "Settings/SettingsParser.h"

#include <algorithm>
#include <memory>
#include <string>

inline std::unique_ptr<char[]> ExactCopy(const std::string& text_I)
{
    auto copy = std::make_unique<char[]>(std::max<std::size_t>(text_I.size(), 1));
    std::copy(text_I.begin(), text_I.end(), copy.get());
    return copy;
}

inline CSettingsObjectPtr ParseExact(const std::string& text_I)
{
    const auto copy = ExactCopy(text_I);
    return ParseSettings(std::string_view(copy.get(), text_I.size()));
}

// ParseValue on an exact copy; the end position goes to pos_O.
inline CSettingsObjectPtr ParseValueExact(const std::string& text_I, std::size_t* pos_O = nullptr)
{
    const auto copy = ExactCopy(text_I);
    std::size_t pos = 0;
    CSettingsObjectPtr value = ParseValue(std::string_view(copy.get(), text_I.size()), pos);
    if (pos_O)
        *pos_O = pos;
    return value;
}

// The value's Dump, or "<empty>" for no value.
inline std::string DumpOf(const CSettingsObjectPtr& value_I)
{
    std::string text = value_I ? "" : "<empty>";
    if (value_I)
        value_I->Dump(text);
    return text;
}
