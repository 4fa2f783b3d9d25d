#pragma once
// The one channel through which the update machinery reports: log lines, errors with a code,
// update states and progress. Messages are UTF-8.

#include <cstdint>
#include <string>

class CUpdateNotifier
{
public:
    virtual ~CUpdateNotifier() = default;
    virtual void Log(const std::string& message_I) { (void)message_I; }
    virtual void ReportError(std::int32_t code_I, const std::string& message_I) = 0;
    virtual void ReportState(std::int32_t state_I) = 0;
    virtual void ReportProgress(std::int32_t percent_I) = 0;
};
