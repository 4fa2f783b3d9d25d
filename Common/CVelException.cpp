#include "CVelException.h"

#include <sstream>

CVelException::CVelException(const std::string& message_I, std::uint16_t status_I, const char* file_I,
                             std::int32_t line_I, std::unique_ptr<CVelExceptionDetail> detail_I)
    : mFile(file_I), mLine(line_I), mMessage(message_I), mStatus(status_I), mDetail(std::move(detail_I))
{
    std::ostringstream text;
    if (mFile != nullptr)
        text << "File: " << mFile << ", Line: " << mLine << ", ";
    if (mStatus != 0)
        text << "Status: " << std::hex << mStatus << std::dec << ", ";
    text << " \"" << mMessage << "\"";
    mWhat = text.str();
}

CVelException::CVelException(const CVelException& other_I)
    : std::exception(other_I),
      mFile(other_I.mFile),
      mLine(other_I.mLine),
      mMessage(other_I.mMessage),
      mStatus(other_I.mStatus),
      mWhat(other_I.mWhat),
      mDetail(std::move(other_I.mDetail))
{
}

CVelException::~CVelException() = default;

const char* CVelException::what() const noexcept
{
    return mWhat.c_str();
}
