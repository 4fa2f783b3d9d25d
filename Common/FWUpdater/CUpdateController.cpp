#include "FWUpdater/CUpdateController.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CIntelHex.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "Clock.h"
#include "DebugOutput.h"
#include "UpdateNotifier.h"

#include <cctype>
#include <cstdio>
#include <sstream>

namespace {

constexpr int kWaitAttempts = 90;
constexpr std::uint32_t kWaitStepMs = 1000;

bool PathsMatch(const std::string& a_I, const std::string& b_I)
{
    if (a_I == b_I)
        return true;
    if (a_I.size() != b_I.size())
        return false;
    for (size_t i = 0; i < a_I.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a_I[i])) != std::tolower(static_cast<unsigned char>(b_I[i])))
            return false;
    }
    return true;
}

bool IsSRecFormat(int format_I)
{
    return format_I == eFormatPen || format_I == eFormatTouch || format_I == eFormatVel;
}

} // namespace

CUpdateController::CUpdateController(std::unique_ptr<CDiscovery> discovery_I) : mDiscovery(std::move(discovery_I)) {}

CUpdateController::~CUpdateController() = default;

// ---- reporting ------------------------------------------------------------------------------

void CUpdateController::SetNotifier(CUpdateNotifier* notifier_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    mNotifier = notifier_I;
}

void CUpdateController::ReleaseNotifier(const CUpdateNotifier* notifier_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    if (mNotifier == notifier_I)
        mNotifier = nullptr;
}

void CUpdateController::Log(const std::string& message_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    if (mNotifier != nullptr)
        mNotifier->Log(message_I);
}

void CUpdateController::ReportError(const std::string& message_I)
{
    NotifyError(eErrorDevice, message_I);
}

void CUpdateController::ReportProgress(std::int32_t percent_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    if (mNotifier != nullptr)
        mNotifier->ReportProgress(percent_I);
}

void CUpdateController::NotifyError(std::int32_t code_I, const std::string& message_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    if (mNotifier != nullptr)
        mNotifier->ReportError(code_I, message_I);
}

void CUpdateController::NotifyState(std::int32_t state_I)
{
    std::lock_guard<std::mutex> lock(mNotifierMutex);
    if (mNotifier != nullptr)
        mNotifier->ReportState(state_I);
}

void CUpdateController::SetState(std::int32_t state_I)
{
    NotifyState(state_I);
    mState.store(state_I);
}

// ---- current device ---------------------------------------------------------------------------

std::shared_ptr<CDevice> CUpdateController::GetCurrentDevice() const
{
    std::lock_guard<std::mutex> lock(mDeviceMutex);
    return mCurrentDevice;
}

void CUpdateController::SetCurrentDevice(std::shared_ptr<CDevice> device_I)
{
    std::lock_guard<std::mutex> lock(mDeviceMutex);
    mCurrentDevice = std::move(device_I);
}

void CUpdateController::SetFollowedIdentity(const std::vector<std::string>& identity_I)
{
    std::lock_guard<std::mutex> lock(mDeviceMutex);
    mFollowedIdentity = identity_I;
}

std::vector<std::string> CUpdateController::GetFollowedIdentity() const
{
    std::lock_guard<std::mutex> lock(mDeviceMutex);
    return mFollowedIdentity;
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetMainInterface() const
{
    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    if (!device)
        return nullptr;
    switch (mUpdateType.load()) {
    case eUpdateTypePen:
        return device->mPenInterface;
    case eUpdateTypeTouch:
        return device->mTouchInterface;
    case eUpdateTypeBluetooth:
        return device->mBluetoothInterface;
    default:
        return nullptr;
    }
}

std::uint32_t CUpdateController::GetSectorsForUpdateType() const
{
    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    const std::int32_t type = mUpdateType.load();
    if (!device || type < eUpdateTypePen || type > eUpdateTypeBluetooth)
        return 0;
    return device->mSectors[type];
}

// ---- file and type ----------------------------------------------------------------------------

bool CUpdateController::ProcessUpdateFile(const std::string& path_I)
{
    Log("Processing update file: " + path_I);
    if (!mDataSource.Load(path_I)) {
        SetState(ESTATE_IDLE);
        // The reader's reason: the log is what a support person sees of a rejected file.
        NotifyError(eErrorFileLoad, mDataSource.GetLoadError().Text());
        return false;
    }
    const int format = mDataSource.GetFileType();
    const std::int32_t type = mUpdateType.load();
    const bool accepted = (type == eUpdateTypePen && (format == eFormatPen || format == eFormatVel)) ||
                          (type == eUpdateTypeTouch && (format == eFormatTouch || format == eFormatIntelHex)) ||
                          (type == eUpdateTypeBluetooth && format == eFormatAiroFlash);
    if (!accepted) {
        SetState(ESTATE_IDLE);
        NotifyError(eErrorFileType, "");
        return false;
    }
    SetState(ESTATE_READY);
    return true;
}

void CUpdateController::SetUpdateType(std::int32_t type_I)
{
    Log("Update type changed to " + std::to_string(type_I));
    mUpdateType.store(type_I);
    SetState(ESTATE_IDLE);
}

bool CUpdateController::ValidateAutoUpdate(const std::string& typeWord_I, const std::string& directory_I)
{
    Log("Validating AutoUpdate file...");
    mAutoUpdate.store(false);
    const std::string prefix = directory_I.empty() ? std::string() : directory_I + "/";
    static const char* const kWords[] = {"pen", "touch", "bluetooth"};
    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    for (int board = 0; board < 3; ++board) {
        if (typeWord_I != kWords[board])
            continue;
        if (!device || device->mUpdate[board].empty())
            continue;
        SetUpdateType(board);
        mAutoUpdate.store(mDataSource.Load(prefix + device->mUpdate[board]));
        break;
    }
    if (mAutoUpdate.load())
        SetState(ESTATE_READY);
    return mAutoUpdate.load();
}

// ---- devices ----------------------------------------------------------------------------------

bool CUpdateController::UpdateDeviceList()
{
    SetCurrentDevice(nullptr);
    Log("Updating Device List...");
    if (!mDiscovery || !mDiscovery->UpdateDeviceList()) {
        NotifyError(eErrorNoDevice, "Device List Failed to Update!");
        return false;
    }
    Log("Device List Successfully Updated!");
    Log("Selecting Default Device... ");
    // During an update the tablet being updated is followed; any other tablet is not it.
    const std::vector<std::string> followed = GetFollowedIdentity();
    std::shared_ptr<CDevice> device =
        followed.empty() ? mDiscovery->GetDefaultDevice() : mDiscovery->GetDeviceByIdentity(followed);
    if (!device) {
        NotifyError(eErrorNoDevice, "Could not find selected device");
        return false;
    }
    SetCurrentDevice(device);
    Log(mDiscovery->Describe(*device));
    return true;
}

bool CUpdateController::SelectDeviceByPath(const std::string& path_I)
{
    if (!mDiscovery)
        return false;
    std::shared_ptr<CDevice> device = mDiscovery->GetDevice(path_I);
    if (!device || device->mName.empty())
        return false;
    SetCurrentDevice(std::move(device));
    return true;
}

bool CUpdateController::IsCurrentDevicePath(const std::string& path_I) const
{
    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    if (!device)
        return false;
    for (const auto* interface : {&device->mPenInterface, &device->mTouchInterface, &device->mBluetoothInterface}) {
        if (*interface && PathsMatch(path_I, (*interface)->GetPath()))
            return true;
    }
    return false;
}

void CUpdateController::OnInterfaceAttached(const std::string& path_I)
{
    const std::int32_t state = mState.load();
    if (state == ESTATE_ENTER_LOADER) {
        Log("IMPORTANT Attach Message (" + path_I + ") STATE->ESTATE_PROGRAM");
        SetState(ESTATE_PROGRAM);
    } else if (state == ESTATE_EXIT_LOADER) {
        Log("IMPORTANT Attach Message (" + path_I + ") STATE->ESTATE_SUCCESS");
        SetState(ESTATE_SUCCESS);
    } else {
        Log("Ignored Attach Message (" + path_I + ")");
    }
}

void CUpdateController::OnInterfaceDetached(const std::string& path_I)
{
    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    const bool important = IsCurrentDevicePath(path_I) && device && device->mIntoBLMode[0];
    if (!important) {
        Log("Ignored Unimportant Detach Message (" + path_I + ")");
        return;
    }
    const std::int32_t state = mState.load();
    if (state == ESTATE_IDLE || state == ESTATE_READY || state == ESTATE_SUCCESS) {
        Log("IMPORTANT Detach Message (" + path_I + ") STATE->ESTATE_TERMINATE");
        SetState(ESTATE_TERMINATE);
    } else {
        Log("Ignored Detach Message (" + path_I + ")");
    }
}

// ---- the update -------------------------------------------------------------------------------

bool CUpdateController::WaitInterrupted() const
{
    // A stopped worker gives up waiting at once; its sleeps already return immediately.
    return StopRequestedOnThisThread();
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetLoaderInterface()
{
    Log("Getting Loader Interface...");
    std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
    if (!main)
        return nullptr;
    main->SetNotifier(this);
    std::shared_ptr<CDevice> device = GetCurrentDevice();

    if (device->mLoaderMode) {
        Log("Device already in loader mode");
        if (main->Open()) {
            main->SetNotifier(this);
            SetState(ESTATE_PROGRAM);
            return main;
        }
        SetState(ESTATE_FAILED);
        return nullptr;
    }

    const std::int32_t type = mUpdateType.load();
    const char* board = type == eUpdateTypePen ? "Pen" : type == eUpdateTypeTouch ? "Touch" : "Bluetooth";
    Log(std::string("Switching ") + board + " to Loader mode... ");
    SetState(ESTATE_ENTER_LOADER);

    const bool isI2C = main->GetInterfaceKind() == eInterfaceKindI2C;
    if (!main->SwitchToBLMode()) {
        if (isI2C) {
            NotifyError(eErrorProgram, "I2C Device failed to switch to Loader mode");
            return nullptr;
        }
        Log("Error returned from SwitchToBLMode()");
    }
    if (!device->mIntoBLMode[0]) {
        device->mLoaderMode = true;
        main->SetFirmwareLoader(true);
    } else if (isI2C) {
        // The bridge switched the board in place: the device is now in loader mode, so the way
        // back must switch it out again instead of finding it "not in loader mode" and leaving
        // the board in its loader after a reported success.
        device->mLoaderMode = true;
    }
    if (isI2C || !device->mIntoBLMode[0]) {
        if (main->Open()) {
            main->SetNotifier(this);
            SetState(ESTATE_PROGRAM);
            return main;
        }
        SetState(ESTATE_FAILED);
        return nullptr;
    }

    std::shared_ptr<CClock> clock = GetClock();
    for (int attempt = 0; attempt < kWaitAttempts; ++attempt) {
        if (WaitInterrupted())
            return nullptr;
        clock->sleep(kWaitStepMs);
        if (mState.load() != ESTATE_PROGRAM)
            continue;
        if (!UpdateDeviceList())
            continue;
        // The arrival that moved the state on may have been another device: the board is the
        // loader only once discovery finds it in loader mode.
        const std::shared_ptr<CDevice> current = GetCurrentDevice();
        if (!current || !current->mLoaderMode)
            continue;
        std::shared_ptr<CFLDeviceInterface> loader = GetMainInterface();
        if (loader && loader->Open()) {
            loader->SetNotifier(this);
            return loader;
        }
    }
    return nullptr;
}

std::shared_ptr<CFLDeviceInterface> CUpdateController::GetNormalInterface()
{
    Log("Getting Normal Interface...");
    std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
    if (!main)
        return nullptr;
    main->SetNotifier(this);
    std::shared_ptr<CDevice> device = GetCurrentDevice();

    if (!device->mLoaderMode) {
        Log("Device not in loader mode");
        if (main->Open()) {
            main->SetNotifier(this);
            SetState(ESTATE_SUCCESS);
            return main;
        }
        SetState(ESTATE_FAILED);
        return nullptr;
    }

    Log("Exiting Loader Mode...");
    SetState(ESTATE_EXIT_LOADER);
    const bool isI2C = main->GetInterfaceKind() == eInterfaceKindI2C;
    const bool switched = main->SwitchFromBLMode();
    if (!switched) {
        if (isI2C) {
            NotifyError(eErrorExitLoader, "I2C Device failed to switch from Loader mode");
            return nullptr;
        }
        Log("Error returned from SwitchFromBLMode()");
    }
    // A board that leaves its loader by re-enumerating proves it by coming back as its
    // application. One that switches in place (not I2C: the bridge reports the mode) never leaves
    // the node, so reopening it proves nothing: it must be seen out of its loader first.
    if (!isI2C && !device->mIntoBLMode[0] && !LeftLoaderInPlace(main, switched)) {
        Log("GetNormalInterface: the board did not leave its loader");
        SetState(ESTATE_FAILED);
        return nullptr;
    }
    if (isI2C || !device->mIntoBLMode[0]) {
        if (main->Open()) {
            main->SetNotifier(this);
            SetState(ESTATE_SUCCESS);
            return main;
        }
        SetState(ESTATE_FAILED);
        return nullptr;
    }

    std::shared_ptr<CClock> clock = GetClock();
    bool cameBackAsLoader = false;
    for (int attempt = 0; attempt < kWaitAttempts; ++attempt) {
        if (WaitInterrupted())
            return nullptr;
        clock->sleep(kWaitStepMs);
        UpdateDeviceList();
        if (mState.load() != ESTATE_SUCCESS)
            continue;
        // Any arrival moved the state on, but a board whose start-up check refused the new
        // firmware comes back as its loader: that is not the normal interface, and returning it
        // would report success for a board that does not run. Keep waiting for the application.
        const std::shared_ptr<CDevice> current = GetCurrentDevice();
        if (current && current->mLoaderMode) {
            if (!cameBackAsLoader)
                Log("GetNormalInterface: the device came back in loader mode");
            cameBackAsLoader = true;
            continue;
        }
        std::shared_ptr<CFLDeviceInterface> normal = GetMainInterface();
        if (normal && normal->Open()) {
            normal->SetNotifier(this);
            return normal;
        }
    }
    return nullptr;
}

bool CUpdateController::LeftLoaderInPlace(const std::shared_ptr<CFLDeviceInterface>& interface_I, bool exitAccepted_I)
{
    if (exitAccepted_I) {
        // Reopening starts with the liveness check of the interface as it stands, a loader
        // status read: its answer means the loader still runs. Asked here instead of inside
        // Open, so a good run's reports stay exactly as they were (Open then finds the
        // interface closed and opens it without asking again).
        const bool loaderAnswers = interface_I->IsOpen() && interface_I->IsConnected();
        if (!loaderAnswers)
            interface_I->Close();
        return !loaderAnswers;
    }
    // The exit report was never accepted: only the application's own liveness check, the ping
    // that a loader refuses, shows that the board left anyway.
    interface_I->SetFirmwareLoader(false);
    const bool answers = (interface_I->IsOpen() || interface_I->Open()) && interface_I->IsConnected();
    if (!answers)
        interface_I->SetFirmwareLoader(true);
    return answers;
}

bool CUpdateController::UpdateDevice()
{
    // Follow this tablet, and no other, through every rediscovery of the update.
    struct FollowScope
    {
        CUpdateController& mController;
        ~FollowScope() { mController.SetFollowedIdentity({}); }
    } followScope {*this};
    {
        const std::shared_ptr<CDevice> device = GetCurrentDevice();
        SetFollowedIdentity(device ? CDiscovery::GetTabletIdentity(*device) : CDiscovery::TabletIdentity());
    }

    const std::uint32_t sectors = GetSectorsForUpdateType();
    const std::shared_ptr<CDevice> startDevice = GetCurrentDevice();
    const bool checkSectors = startDevice && !startDevice->mLoaderMode;
    mVerified.store(false);

    if (!GetMainInterface()) {
        ASSERT_FAILED("Oops - Could not get a mainInterface pointer");
        return false;
    }
    std::shared_ptr<CFLDeviceInterface> loader = GetLoaderInterface();
    if (!loader) {
        ASSERT_FAILED("Oops - Could not get a mainInterface pointer");
        // A loader that never came back (or was never found) leaves the update waiting in a
        // busy state for ever: the dialog could not be closed and an unattended run would never
        // end. End it as a failure; the board, wherever it is, is recovered by the next run.
        const std::int32_t state = mState.load();
        if (state == ESTATE_ENTER_LOADER || state == ESTATE_PROGRAM)
            UpdateFailed(eErrorProgram, "General Program Failure");
        return false;
    }

    const std::shared_ptr<CDevice> device = GetCurrentDevice();
    // From here on the tablet is followed as its loader sits in the device tree: the way back
    // looks for the application next to where the loader was.
    if (device) {
        const CDiscovery::TabletIdentity loaderIdentity = CDiscovery::GetTabletIdentity(*device);
        if (!loaderIdentity.empty())
            SetFollowedIdentity(loaderIdentity);
    }
    const int protocolType = (device && device->mIntoBLMode[0]) ? 0 : 1;
    Log("Setting protocolType to " + std::to_string(protocolType));
    loader->SetProtocolType(protocolType);

    Log("Starting Update Device Process...");
    if (!PreUpdate()) {
        UpdateFailed(eErrorDevice, "PreUpdate function failed");
        return false;
    }

    Log("Programming...");
    Log(loader->GetDeviceInfo());
    loader->SetDataSourceFormat(mDataSource.GetFileType());

    if (!InitCheck(sectors, checkSectors, loader) || !ProgramLoaderBoard(loader) || !VerifyProgrammedChecksums(loader) ||
        !VerifyProgrammedBoard(loader)) {
        if (CFLProtocol::Instance()->GetProtocolType() != 1)
            loader->SwitchFromBLMode();
        loader->SetNotifier(nullptr);
        loader->Close();
        UpdateFailed(eErrorProgram, "General Program Failure");
        return false;
    }

    std::shared_ptr<CFLDeviceInterface> normal = GetNormalInterface();
    if (!normal) {
        UpdateFailed(eErrorExitLoader, "There was a problem swapping out of flash mode");
        return false;
    }
    normal->SetChecksums(loader->GetChecksumOld(), loader->GetChecksumNew(), loader->GetChecksumExpected());
    normal->SetNotifier(nullptr);
    normal->Close();
    UpdateSucceeded();
    return true;
}

bool CUpdateController::ProgramLoaderBoard(const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    interface_I->SetDataSourceFormat(mDataSource.GetFileType());
    if (!interface_I->ProgramBoard()) {
        ReportError("Error Programming Board");
        return false;
    }
    return true;
}

bool CUpdateController::VerifyProgrammedChecksums(const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    // A board that lost its RAM between the block checksums and their commit (a power cut, a
    // reset) commits and reports a table that is not the image's: the board will not start, and
    // reporting success would leave it in its loader.
    if (!interface_I->HasChecksumSupport() || interface_I->GetDataSourceFormat() == eFormatIntelHex ||
        interface_I->GetDataSourceFormat() == eFormatAiroFlash)
        return true;
    if (interface_I->GetChecksumNew() == interface_I->GetChecksumExpected())
        return true;
    char text[160];
    std::snprintf(text, sizeof text, "Checksum mismatch after programming: expected 0x%08X, the board reports 0x%08X",
                  interface_I->GetChecksumExpected(), interface_I->GetChecksumNew());
    ReportError(text);
    return false;
}

bool CUpdateController::VerifyProgrammedBoard(const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    if (!mVerifyAfterProgramming.load())
        return true;
    if (!IsSRecFormat(mDataSource.GetFileType())) {
        Log("Read-back verification is only available for S-record images; not verified");
        return true;
    }
    Log("Verifying the programmed flash...");
    if (!interface_I->VerifyFlash()) {
        ReportError("Verification of the programmed flash failed");
        return false;
    }
    Log("Programmed flash verified");
    mVerified.store(true);
    return true;
}

bool CUpdateController::PreUpdate()
{
    ReportProgress(0);
    std::shared_ptr<CFLDeviceInterface> main = GetMainInterface();
    if (!main) {
        UpdateFailed(eErrorNoDevice, "There is no supported interface attached");
        return false;
    }
    Log("Interface: " + main->GetDeviceInfo());
    if (!mDataSource.HasLoadedData()) {
        UpdateFailed(eErrorFileLoad, "No loaded data file found.");
        return false;
    }
    Log("Update: " + mDataSource.GetFileName());
    return true;
}

void CUpdateController::UpdateSucceeded()
{
    Log("Device Update complete!");
    SetState(ESTATE_SUCCESS);
    ReportProgress(100);
}

void CUpdateController::UpdateFailed(std::int32_t code_I, const std::string& message_I)
{
    Log("Device Update failed!");
    NotifyError(code_I, message_I);
    SetState(ESTATE_FAILED);
}

// ---- init checks ------------------------------------------------------------------------------

bool CUpdateController::InitCheck(std::uint32_t sectors_I, bool checkSectors_I,
                                  const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    Log("InitCheck: starting...");
    const int format = interface_I ? interface_I->GetDataSourceFormat() : static_cast<int>(eFormatUnknown);
    if (IsSRecFormat(format))
        return InitCheckForSRecData(sectors_I, checkSectors_I, interface_I);
    if (format == eFormatIntelHex)
        return InitCheckForImageData("InitCheckForIntelHexData", "IntelHex", mDataSource.GetIntelHexData(),
                                     &CFLDeviceInterface::SetIntelHexData, interface_I);
    if (format == eFormatAiroFlash)
        return InitCheckForImageData("InitCheckForAiroFlashData", "BinaryAiroFlash", mDataSource.GetAiroFlashData(),
                                     &CFLDeviceInterface::SetAiroFlashData, interface_I);
    ReportError("InitCheck: unrecognized data format");
    return false;
}

bool CUpdateController::InitCheckForSRecData(std::uint32_t sectors_I, bool checkSectors_I,
                                             const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    Log("InitCheckForSRecData: starting...");
    if (!interface_I) {
        ReportError("InitCheckForSRecData: NULL CFLDeviceInterface");
        return false;
    }
    if (!interface_I->InitializeProgrammingData(mDataSource.GetBlocks())) {
        ReportError("InitCheckForSRecData: Error Initializing Board");
        return false;
    }
    if (!checkSectors_I)
        return true;
    const std::uint16_t blocks = static_cast<std::uint16_t>(interface_I->GetLoaderParameters().blocks);
    if (sectors_I == 0 || sectors_I != blocks) {
        std::ostringstream text;
        text << "InitCheckForSRecData: Sector/Block mismatch! Expected " << sectors_I << " got " << blocks << "\n";
        ReportError(text.str());
        return false;
    }
    return true;
}

template <class TImage>
bool CUpdateController::InitCheckForImageData(const char* check_I, const char* imageKind_I,
                                              const std::shared_ptr<TImage>& image_I,
                                              void (CFLDeviceInterface::*attach_I)(std::shared_ptr<TImage>),
                                              const std::shared_ptr<CFLDeviceInterface>& interface_I)
{
    const std::string check(check_I);
    Log(check + ": starting...");
    if (!interface_I) {
        ReportError(check + ": NULL CFLDeviceInterface");
        return false;
    }
    if (image_I && image_I->GetStartAddress() != -1) {
        ((*interface_I).*attach_I)(image_I);
        Log(check + ": " + imageKind_I + " file data is loaded; we're good to go...");
        return true;
    }
    Log(check + ": ERROR - " + imageKind_I + " file not loaded!");
    return false;
}
