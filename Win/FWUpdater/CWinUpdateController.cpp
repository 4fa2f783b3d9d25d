#include "CWinUpdateController.h"

#include "CWinDiscovery.h"
#include "Clock.h"

#include <windows.h>

namespace {
constexpr std::uint32_t kServicePauseMs = 1000;
}

CWinUpdateController::CWinUpdateController() : CUpdateController(std::make_unique<CWinDiscovery>()) {}

bool CWinUpdateController::SignalNamedEvent(const char* name_I)
{
    const HANDLE event = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name_I);
    if (event == nullptr)
        return false;
    ::SetEvent(event);
    // The handle is ours to close; the event itself belongs to the service.
    ::CloseHandle(event);
    GetClock()->sleep(kServicePauseMs);
    return true;
}

bool CWinUpdateController::SignalStopEvent()
{
    return SignalNamedEvent(kVellumStopEventName);
}

bool CWinUpdateController::SignalStartEvent()
{
    return SignalNamedEvent(kVellumStartEventName);
}
