#pragma once
// Where a device interface reports while it works: the update controller implements it and
// forwards to the update notifier (errors with code 8). Texts are UTF-8; a multi-line message
// is one call whose text holds newline characters.

#include <cstdint>
#include <string>

class CInterfaceNotifier
{
public:
    virtual ~CInterfaceNotifier() = default;
    virtual void Log(const std::string& message_I) = 0;
    virtual void ReportError(const std::string& message_I) = 0;
    virtual void ReportProgress(std::int32_t percent_I) = 0;
};
