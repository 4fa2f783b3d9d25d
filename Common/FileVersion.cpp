#include "FileVersion.h"

#include "DebugOutput.h"

#include <sstream>

FileVersion FileVersion::FromWord(std::uint16_t word_I)
{
    FileVersion v;
    v.mMajor = static_cast<std::uint8_t>(word_I >> 8);
    v.mMinor = static_cast<std::uint8_t>(word_I & 0xFF);
    return v;
}

std::string FileVersion::ToShortString() const
{
    ASSERT(mVariation == 0);
    ASSERT(mBuild == 0);
    ASSERT(mRelease == FileVersion::EUnknownVersion);
    std::ostringstream text;
    text << std::hex << unsigned(mMajor) << (mMinor < 10 ? ".0" : ".") << unsigned(mMinor);
    return text.str();
}
