#include "FWUpdater/FrontEndSession.h"

#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "FWUpdater/CFastSimClock.h"
#include "FWUpdater/CLinuxLanguagePlatform.h"
#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSingleInstanceLock.h"
#include "FWUpdater/CUpdateWorker.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/DataDirectory.h"
#include "LanguageProvider.h"
#include "ResourceUtils.h"
#include "SimFaults.h"
#include "SimScenarios.h"
#include "SimState.h"
#include "StringUtils.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

namespace {

bool FileExists(const std::string& path_I)
{
    return std::ifstream(path_I).good();
}

// VFWU_SIM_SPEED=N (2 to 1000) makes the simulated tablets' time run N times faster; read only
// for simulated tablets, so it never applies to hardware. Installed once for the process: events
// of the simulated boards stay on the clock they were scheduled on.
void InstallSimulationSpeed()
{
    const char* text = std::getenv("VFWU_SIM_SPEED");
    const long speed = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    if (speed >= 2 && speed <= 1000)
        SetClock(std::make_shared<CFastSimClock>(static_cast<std::uint32_t>(speed)));
}

} // namespace

FrontEndSession::FrontEndSession() = default;
FrontEndSession::~FrontEndSession() = default;

bool OpenFrontEndSession(const CliOptions& options_I, FrontEndSession& session_O, CCliMessage& error_O)
{
    // What the simulation's own readers report stays as they give it.
    std::string reason;
    if (!options_I.simulate) {
        session_O.topologyPath = options_I.topology.empty() ? kDefaultTopology : options_I.topology;
        HardwareController hardware = CreateHardwareController(session_O.topologyPath);
        session_O.controller = hardware.controller;
        session_O.setEventSink = hardware.setEventSink;
        return true;
    }
    SimFaultSpec faults;
    if (options_I.hasSimFaults && !ParseSimFaultSpec(options_I.simFaults, faults, reason)) {
        error_O = "--sim-faults: " + reason;
        return false;
    }
    const std::string dataDir = FindDataDirectory();
    if (dataDir.empty()) {
        error_O = CCliMessage::Id(IDS_CLI_NO_SIMULATION_DATA);
        return false;
    }
    SimScenario scenario;
    if (!GetSimScenario(options_I.scenario, dataDir, scenario)) {
        std::string known;
        for (const std::string& name : SimScenarioNames())
            known += (known.empty() ? "" : ", ") + name;
        error_O = CCliMessage(IDS_CLI_UNKNOWN_SCENARIO, {options_I.scenario, known});
        return false;
    }
    session_O.topologyPath = options_I.topology.empty() ? scenario.topologyPath : options_I.topology;
    InstallSimulationSpeed();
    session_O.bus = std::make_unique<CSimBus>();
    PlugInSimScenario(scenario, *session_O.bus);
    if (options_I.hasSimState) {
        // A missing file is the first run: the tablets leave the factory.
        if (FileExists(options_I.simState) && !LoadSimState(*session_O.bus, options_I.simState, &reason)) {
            error_O = "--sim-state " + options_I.simState + ": " + reason;
            return false;
        }
        session_O.statePath = options_I.simState;
    }
    if (faults.Any())
        session_O.bus->SetFaults(faults);
    session_O.controller = std::make_shared<CSimUpdateController>(session_O.bus->Host(), session_O.topologyPath);
    CSimBus* bus = session_O.bus.get();
    session_O.setEventSink = [bus](InterfaceEventSink sink_I) { bus->SetInterfaceEventSink(std::move(sink_I)); };
    return true;
}

bool CloseFrontEndSession(FrontEndSession& session_I, CCliMessage& error_O)
{
    // A worker left running by a stop (it never outlives its controller) is collected here.
    CUpdateWorker::JoinStragglers();
    if (session_I.setEventSink)
        session_I.setEventSink(nullptr);
    if (!session_I.statePath.empty() && !SaveSimState(*session_I.bus, session_I.statePath)) {
        error_O = CCliMessage(IDS_CLI_CANNOT_SAVE_SIMULATION, {session_I.statePath});
        return false;
    }
    return true;
}

CEventForwarder::CEventForwarder(FrontEndSession& session_I, CMainDialogModel& model_I, FrontEndDispatch dispatch_I)
    : mSession(session_I), mState(std::make_shared<State>())
{
    mState->model = &model_I;
    std::shared_ptr<State> state = mState;
    mSession.setEventSink([state, dispatch_I](bool arrival_I, const std::string& path_I) {
        auto deliver = [state, arrival_I, path_I] {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->model == nullptr)
                return;
            arrival_I ? state->model->OnDeviceArrival(path_I) : state->model->OnDeviceRemoval(path_I);
        };
        if (dispatch_I)
            dispatch_I(std::move(deliver));
        else
            deliver();
    });
}

CEventForwarder::~CEventForwarder()
{
    mSession.setEventSink(nullptr);
    std::lock_guard<std::mutex> lock(mState->mutex);
    mState->model = nullptr;
}

std::function<std::u16string(int)> StringLoader(const LanguageProvider& provider_I)
{
    const std::uint16_t languageId = provider_I.GetResourceLanguageId();
    return [languageId](int id_I) { return ResourceUtils::LoadResourceString(static_cast<std::uint32_t>(id_I), languageId); };
}

void SelectCliLanguage(LanguageProvider& provider_I, const std::string& locale_I)
{
    const std::string lower = ToLower(locale_I);
    for (const LanguageRecord& record : provider_I.GetLanguageTable()) {
        if (ToLower(record.mName) == lower) {
            provider_I.SelectLanguage(locale_I);
            return;
        }
    }
    provider_I.SelectLanguageId(LanguageIdFromLocaleName(locale_I));
}

void SetCliLanguageForLocale(const std::string& locale_I)
{
    LanguageProvider provider("userUI", std::make_shared<CLinuxLanguagePlatform>());
    if (!locale_I.empty())
        SelectCliLanguage(provider, locale_I);
    SetCliLanguage(provider.GetResourceLanguageId());
}

CCliMessage AnotherCopyMessage(const CSingleInstanceLock& lock_I)
{
    if (lock_I.HolderProcessId() > 0)
        return CCliMessage(IDS_CLI_ANOTHER_COPY, {std::to_string(lock_I.HolderProcessId()), lock_I.Path()});
    return CCliMessage(IDS_CLI_ANOTHER_COPY_NO_PID, {lock_I.Path()});
}

bool TakeSingleInstanceLock(CSingleInstanceLock& lock_I, const std::string& program_I, const CliOptions& options_I,
                            CCliMessage* refusal_O)
{
    if (options_I.simulate)
        return true;
    std::string error;
    switch (lock_I.Acquire(std::string(), error)) {
    case CSingleInstanceLock::EResult::eAcquired:
        return true;
    case CSingleInstanceLock::EResult::eHeldByOther:
        if (refusal_O != nullptr)
            *refusal_O = AnotherCopyMessage(lock_I);
        else
            std::cerr << program_I << ": " << AnotherCopyMessage(lock_I).Text() << "\n";
        return false;
    case CSingleInstanceLock::EResult::eUnavailable:
        std::cerr << program_I << ": " << CliText(IDS_CLI_LOCK_NOT_TAKEN, {error}) << "\n";
        return true;
    }
    return true;
}
