#pragma once
// The commands of vellum-fwupdater, one file each (CliList.cpp, CliInspect.cpp, CliUpdate.cpp,
// CliUnattended.cpp), and what they share. CliApp.cpp chooses the command and does the start-up
// every command needs.

#include "FWUpdater/CliOptions.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/FrontEndSession.h"

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CDevice;
class CLogUpdateNotifier;
class CFLDeviceInterface;
class CFirmwareUpdaterApp;
class CMainDialogModel;
class CTerminalView;
class LanguageProvider;

int RunList(const CliOptions& options_I, FrontEndSession& session_I);
int RunInspect(const CliOptions& options_I);
int RunUpdate(const CliOptions& options_I, FrontEndSession& session_I, const LanguageProvider& provider_I);
int RunUnattended(FrontEndSession& session_I, LanguageProvider& provider_I, const CFirmwareUpdaterApp& app_I,
                  const CliOptions& options_I);

// Set by the Ctrl-C and termination handlers; read and cleared by the dialog loop.
extern volatile std::sig_atomic_t gCliInterrupted;
void CatchInterrupts();

// The dialog's 500 ms timer. Ends when the view ends the dialog, or (untilUpdateEnds_I) when the
// update has finished and the model has shown its outcome. betweenTicks_I (may be empty) runs
// every 100 ms between the model's ticks, for what the terminal can show sooner than the model.
void RunDialogTimer(CMainDialogModel& model_I, CTerminalView& view_I, bool untilUpdateEnds_I,
                    const std::function<void()>& betweenTicks_I = nullptr);

// The width of the terminal on fd_I, 0 when it is none or does not say.
int TerminalColumns(int fd_I);

// With --json, the one object of a command that ended before it ran: {"error": ...}, or for
// update the failed summary with its "error".
std::string FailureJson(const CliOptions& options_I, const CCliMessage& message_I);

// The log's header for a support person, before the first line the controller writes: program
// version, date and time, command line, simulated or real tablets, operating system.
void WriteLogHeader(CLogUpdateNotifier& notifier_I, const CliOptions& options_I);

std::string VersionString(std::uint16_t version_I);
const char* InterfaceKindName(int kind_I);
// The device's interface of board_I (eBoardPen, eBoardTouch, eBoardBluetooth), may be null.
std::shared_ptr<CFLDeviceInterface> BoardInterface(const CDevice& device_I, int board_I);
