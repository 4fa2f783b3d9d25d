#pragma once
// The update controller on Windows: it discovers through SetupAPI and tells the resident tablet
// service, through two named global events, to let go of the device and to take it back.

#include "FWUpdater/CUpdateController.h"

class CWinUpdateController : public CUpdateController
{
public:
    CWinUpdateController();

    // Open the named event (modify access), set it, pause one second; false when no program
    // created the event.
    bool SignalStopEvent() override;
    bool SignalStartEvent() override;

    static bool SignalNamedEvent(const char* name_I);
};

constexpr char kVellumStopEventName[] = "Global\\VellumProStopEvent";
constexpr char kVellumStartEventName[] = "Global\\VellumProStartEvent";
