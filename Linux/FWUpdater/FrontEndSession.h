#pragma once
// What the command-line program and the GTK window share: the controller for attached hardware
// or for the simulated tablets, arrivals and removals forwarded to the dialog model, the
// localized strings in the user's language, and the end of a run.

#include "FWUpdater/CliOptions.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/HardwareController.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CMainDialogModel;
class CSingleInstanceLock;
class CSimBus;
class LanguageProvider;

// Where the hardware topology is looked for without --topology (the working directory).
inline constexpr const char* kDefaultTopology = "./fw_loader.ini";

// The controller and, when simulating, the bus it runs on.
struct FrontEndSession
{
    FrontEndSession();
    ~FrontEndSession();
    FrontEndSession(const FrontEndSession&) = delete;
    FrontEndSession& operator=(const FrontEndSession&) = delete;

    std::unique_ptr<CSimBus> bus;
    std::shared_ptr<CUpdateController> controller;
    std::function<void(InterfaceEventSink)> setEventSink;
    std::string topologyPath;
    // --sim-state: where the simulated tablets are kept between runs; empty when not asked.
    std::string statePath;
};

// Attached hardware, or with --simulate the scenario's tablets (with --sim-state and
// --sim-faults applied). False with a message for the user.
bool OpenFrontEndSession(const CliOptions& options_I, FrontEndSession& session_O, CCliMessage& error_O);

// Stops the arrival and removal deliveries, collects a worker left running by a stop and saves
// the simulated tablets (--sim-state). False with a message when they could not be saved.
bool CloseFrontEndSession(FrontEndSession& session_I, CCliMessage& error_O);

// Runs a delivery where the front end wants it (the GTK main loop); null runs it at once.
using FrontEndDispatch = std::function<void(std::function<void()>)>;

// Arrivals and removals reach the model through dispatch_I; teardown waits for a delivery in
// progress, and a delivery that runs after teardown does nothing, so none reaches a model that
// is gone.
class CEventForwarder
{
public:
    CEventForwarder(FrontEndSession& session_I, CMainDialogModel& model_I, FrontEndDispatch dispatch_I = nullptr);
    ~CEventForwarder();
    CEventForwarder(const CEventForwarder&) = delete;
    CEventForwarder& operator=(const CEventForwarder&) = delete;

private:
    struct State
    {
        std::mutex mutex;
        CMainDialogModel* model = nullptr;
    };
    FrontEndSession& mSession;
    std::shared_ptr<State> mState;
};

// The dialog model's localized strings in the provider's language.
std::function<std::u16string(int)> StringLoader(const LanguageProvider& provider_I);

// --lang: a name of the language table (any letter case, e.g. "de", "zh_TW"), else a POSIX locale
// name ("de_DE.UTF-8") mapped through the fallback chain; anything unknown ends in English.
void SelectCliLanguage(LanguageProvider& provider_I, const std::string& locale_I);

// The command line's language (SetCliLanguage) as the dialog's would be: locale_I (--lang) when
// not empty, else the locale environment.
void SetCliLanguageForLocale(const std::string& locale_I);

// One copy at a time, of the command-line program and the window together (both drive the same
// tablets). False, with the lock's path and the holder's process id on stderr, when another copy
// runs; a lock that cannot be taken at all only warns on stderr, since refusing to run would
// leave the user with no updater. A simulated run takes no lock: it drives no real tablet, so a
// demonstration must not keep an update waiting, nor an update a demonstration.
// With refusal_O the refusal's text is handed back instead of printed (the caller prints it in
// its own form).
bool TakeSingleInstanceLock(CSingleInstanceLock& lock_I, const std::string& program_I, const CliOptions& options_I,
                            CCliMessage* refusal_O = nullptr);

// The refusal's text, without the program name.
CCliMessage AnotherCopyMessage(const CSingleInstanceLock& lock_I);
