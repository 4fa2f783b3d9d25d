#include "FWUpdater/CMainDialogModel.h"

#include "Clock.h"
#include "DebugOutput.h"
#include "FileVersion.h"
#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/DialogResource.h"
#include "LogUpdateNotifier.h"
#include "StringUtils.h"
#include "Version.h"

#include <cstdio>

namespace {

const char16_t kTouchMissing[] = u"Error: Attached device has touch support but touch board not found. Is the driver installed?";
const char16_t kBluetoothMissing[] = u"Error: Attached device has bluetooth support but bluetooth board not found.";
const char16_t kInvalidFile[] = u"Error: The specified file does not appear to be a valid firmware file.";
const char16_t kTypeMismatch[] = u"Error: The specified firmware file does not match the firmware update type requested.";
const char16_t kConfirm[] = u"You are about to update the firmware.\n\nWhile programming do not disconnect or power down "
                            u"your device.\n\nDo you want to continue?";

constexpr std::uint32_t kTimerPeriodMs = 500;
constexpr std::uint32_t kUnattendedSuccessPauseMs = 4000;

const char16_t* EntryName(int type_I)
{
    return type_I == 0 ? u"Pen" : type_I == 1 ? u"Touch" : u"Bluetooth";
}

} // namespace

std::u16string CMainDialogModel::VersionText(std::uint16_t version_I)
{
    return Utf8ToUtf16(FileVersion::FromWord(version_I).ToShortString());
}

std::u16string CMainDialogModel::ChecksumText(std::uint32_t checksum_I)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", checksum_I);
    return Utf8ToUtf16(text);
}

CMainDialogModel::CMainDialogModel(std::shared_ptr<CUpdateController> controller_I,
                                   std::unique_ptr<CLogUpdateNotifier> notifier_I,
                                   std::function<std::u16string(int)> loadString_I, std::u16string devicePath_I,
                                   std::u16string autoUpdateBoard_I)
    : mController(std::move(controller_I)),
      mNotifier(std::move(notifier_I)),
      mLoadString(std::move(loadString_I)),
      mDevicePath(std::move(devicePath_I)),
      mAutoUpdateBoard(std::move(autoUpdateBoard_I))
{
    mTitle = Text(IDS_TITLE) + u" ";
    mController->SetNotifier(mNotifier.get());
    mController->SignalStopEvent();
}

CMainDialogModel::~CMainDialogModel()
{
    mController->SignalStartEvent();
    // The worker is asked to stop and waited for (bounded). Until it has ended it still reports:
    // the notifier and its log stay with it, so the log ends with the worker's own last lines
    // (its failure, or its success) instead of breaking off. Once it has ended, here or in
    // CUpdateWorker::JoinStragglers, the controller lets go of the notifier, which closes the log.
    std::shared_ptr<CUpdateController> controller = mController;
    std::shared_ptr<CLogUpdateNotifier> notifier = std::move(mNotifier);
    mWorker.Stop(mWorkerStopWaitMs, [controller, notifier] { controller->ReleaseNotifier(notifier.get()); });
}

bool CMainDialogModel::IsUnattended() const
{
    return mController->IsAutoUpdate();
}

std::int32_t CMainDialogModel::GetState()
{
    return mNotifier->GetState();
}

std::int32_t CMainDialogModel::GetProgress()
{
    return mNotifier->GetProgress();
}

bool CMainDialogModel::IsBusy()
{
    const std::int32_t state = GetState();
    return state >= 2 && state <= 4;
}

void CMainDialogModel::OnInitDialog(CMainDialogView& view_I)
{
    if (view_I.ActivateOtherInstance(mTitle)) {
        view_I.EndDialog(1);
        return;
    }
    if (!view_I.RegisterHidNotifications())
        ASSERT_FAILED("CANNOT REGISTER FOR HID DEVICE NOTIFICATION");
    if (!view_I.RegisterTabletNotifications())
        ASSERT_FAILED("CANNOT REGISTER FOR VELLUM DEVICE NOTIFICATION");

    if (!mController->UpdateDeviceList()) {
        view_I.ShowMessage(Text(IDS_NO_TABLET), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        view_I.EndDialog(1);
        return;
    }
    view_I.SetWindowTitle(mTitle + VersionText(kProgramVersionWord));

    if (!UnattendedCheck(view_I))
        return;

    const std::shared_ptr<CDevice> device = mController->GetCurrentDevice();
    view_I.SetControlText(IDC_TABLET_NAME, Utf8ToUtf16(device ? device->mName : std::string()));
    if (device && device->mPenInterface)
        view_I.SetControlText(IDC_PEN_VERSION, VersionText(device->mPenInterface->GetVersion()));

    bool touchFound = false;
    bool bluetoothFound = false;
    if (device && device->mTouchSupported) {
        if (!device->mTouchInterface || device->mTouchInterface->GetVersion() == 0) {
            view_I.ShowMessage(kTouchMissing, Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
            view_I.SetControlText(IDC_TOUCH_VERSION, u"Not Available");
        } else {
            view_I.SetControlText(IDC_TOUCH_VERSION, VersionText(device->mTouchInterface->GetVersion()));
            touchFound = true;
        }
    } else {
        view_I.SetControlText(IDC_TOUCH_VERSION, u"Not Supported");
    }
    if (device && device->mBluetoothSupported) {
        if (!device->mBluetoothInterface || device->mBluetoothInterface->GetVersion() == 0) {
            view_I.ShowMessage(kBluetoothMissing, Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
            view_I.SetControlText(IDC_BLUETOOTH_VERSION, u"Not Available");
        } else {
            view_I.SetControlText(IDC_BLUETOOTH_VERSION, VersionText(device->mBluetoothInterface->GetVersion()));
            bluetoothFound = true;
        }
    } else {
        view_I.SetControlText(IDC_BLUETOOTH_VERSION, u"Not Supported");
    }

    mEntryTypes = {0};
    if (touchFound)
        mEntryTypes.push_back(1);
    if (bluetoothFound)
        mEntryTypes.push_back(2);
    std::vector<std::u16string> names;
    for (int type : mEntryTypes)
        names.push_back(EntryName(type));
    if (mSelectedTypeIndex >= static_cast<int>(mEntryTypes.size()))
        mSelectedTypeIndex = 0;
    view_I.SetUpdateTypeEntries(names, mSelectedTypeIndex);
    SetFilterFor(view_I, 0);
    view_I.SetProgressRange(0, 100);
    view_I.StartTimer(kTimerPeriodMs);
}

bool CMainDialogModel::UnattendedCheck(CMainDialogView& view_I)
{
    const std::string path = Utf16ToUtf8(mDevicePath);
    mController->Log("Passed Path: " + path);
    if (!mController->SelectDeviceByPath(path)) {
        if (mDevicePath.empty())
            return true;
        view_I.StopTimer();
        mController->Log("Invalid device path passed to updater!");
        view_I.ShowMessage(Text(IDS_TARGET_NOT_FOUND), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        view_I.EndDialog(1);
        return false;
    }
    mController->Log("Selected Device changed...");
    if (const std::shared_ptr<CDevice> device = mController->GetCurrentDevice(); device && mController->GetDiscovery())
        mController->Log(mController->GetDiscovery()->Describe(*device));
    mController->Log("Checking for AutoUpdate...");
    if (mController->ValidateAutoUpdate(Utf16ToUtf8(mAutoUpdateBoard), mAutoUpdateDirectory)) {
        mController->Log("UI Reformatting for AutoStart...");
        view_I.ShowStatusStrip();
        mRefreshAfterUpdate = true;
        mStartRequested = true;
        return true;
    }
    if (mAutoUpdateBoard.empty())
        return true;
    view_I.StopTimer();
    mController->Log("Update file processing FAILED!");
    view_I.ShowMessage(Text(IDS_INVALID_UPDATE_FILE), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
    view_I.EndDialog(1);
    return false;
}

void CMainDialogModel::EnableControls(CMainDialogView& view_I, bool enable_I)
{
    view_I.EnableCloseCommand(enable_I);
    view_I.EnableControl(IDC_PROGRAM, enable_I);
    view_I.EnableControl(IDC_BROWSE, enable_I);
    view_I.EnableControl(IDC_UPDATE_TYPE, enable_I);
}

void CMainDialogModel::StartWorker()
{
    mWorker.Start(mController);
    mStartRequested = false;
}

void CMainDialogModel::OnTimer(CMainDialogView& view_I)
{
    const std::int32_t state = GetState();
    switch (state) {
    case 0:
        EnableControls(view_I, true);
        view_I.EnableControl(IDC_PROGRAM, false);
        break;
    case 1:
        if (mStartRequested)
            StartWorker();
        else
            EnableControls(view_I, true);
        break;
    case 2:
        EnableControls(view_I, false);
        view_I.SetProgress(GetProgress());
        view_I.SetControlText(IDC_STATUS_TEXT, Text(IDS_WAITING_FOR_LOADER));
        view_I.RefreshStatus();
        break;
    case 3:
        if (++mDots > 3)
            mDots = 1;
        view_I.SetControlText(IDC_STATUS_TEXT, Text(IDS_PROGRAMMING) + std::u16string(static_cast<size_t>(mDots), u'.'));
        EnableControls(view_I, false);
        view_I.SetProgress(GetProgress());
        view_I.RefreshStatus();
        break;
    case 4:
        EnableControls(view_I, false);
        view_I.SetControlText(IDC_STATUS_TEXT, Text(IDS_WAITING_FOR_DEVICE));
        view_I.RefreshStatus();
        break;
    case 5:
        OnSuccess(view_I);
        break;
    case 6:
        OnFailure(view_I);
        break;
    case 7:
        view_I.StopTimer();
        view_I.ShowMessage(Text(IDS_NO_TABLET), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        view_I.EndDialog(1);
        break;
    default:
        view_I.StopTimer();
        view_I.ShowMessage(Text(IDS_INVALID_STATE), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        view_I.EndDialog(1);
        break;
    }
}

void CMainDialogModel::OnSuccess(CMainDialogView& view_I)
{
    if (mStartRequested) {
        StartWorker();
        return;
    }
    // The arrival handler reports success while the worker is still reopening the board, and a
    // failed reopen turns it into a failure: the outcome is final only once the worker has ended.
    if (mWorker.IsRunning())
        return;
    const bool unattended = IsUnattended();
    if (unattended)
        GetClock()->sleep(kUnattendedSuccessPauseMs);
    else
        EnableControls(view_I, true);
    view_I.SetProgress(100);
    view_I.SetControlText(IDC_STATUS_TEXT, Text(IDS_PROGRAMMING_SUCCESSFUL));
    view_I.RefreshStatus();

    const std::shared_ptr<CDevice> device = mController->GetCurrentDevice();
    if (mRefreshAfterUpdate && device) {
        const std::int32_t type = mController->GetUpdateType();
        if (type == 0 && device->mPenInterface) {
            const auto& pen = device->mPenInterface;
            const std::uint32_t before = pen->GetChecksumOld();
            const std::uint32_t after = pen->GetChecksumNew();
            char line[96];
            std::snprintf(line, sizeof line, "pen: old checksum: 0x%08x; new checksum: 0x%08x\n", before, after);
            mController->Log(line);
            view_I.SetControlText(IDC_PEN_VERSION, VersionText(pen->GetVersion()));
            view_I.SetControlText(IDC_CHECKSUM, ChecksumText(pen->GetChecksumExpected()));
            if (before != 0)
                view_I.SetControlText(IDC_PEN_OLD_CHECKSUM, ChecksumText(before));
            if (after != 0)
                view_I.SetControlText(IDC_PEN_NEW_CHECKSUM, ChecksumText(after));
        } else if (type == 1 && device->mTouchInterface) {
            const auto& touch = device->mTouchInterface;
            view_I.SetControlText(IDC_TOUCH_VERSION, VersionText(touch->GetVersion()));
            view_I.SetControlText(IDC_CHECKSUM, ChecksumText(touch->GetChecksumExpected()));
            if (touch->GetChecksumOld() != 0)
                view_I.SetControlText(IDC_TOUCH_OLD_CHECKSUM, ChecksumText(touch->GetChecksumOld()));
            if (touch->GetChecksumNew() != 0)
                view_I.SetControlText(IDC_TOUCH_NEW_CHECKSUM, ChecksumText(touch->GetChecksumNew()));
        }
    }
    mRefreshAfterUpdate = false;

    if (unattended) {
        view_I.StopTimer();
        view_I.ShowMessage(Text(IDS_UPDATE_SUCCEEDED), Text(IDS_TITLE), EMessageIcon::eInformation, EMessageButtons::eOk);
        view_I.EndDialog(0);
    }
}

void CMainDialogModel::OnFailure(CMainDialogView& view_I)
{
    if (mStartRequested) {
        StartWorker();
        return;
    }
    // The arrival handler reports success while the worker is still reopening the board, and a
    // failed reopen turns it into a failure: the outcome is final only once the worker has ended.
    if (mWorker.IsRunning())
        return;
    const bool unattended = IsUnattended();
    EnableControls(view_I, !unattended);
    view_I.SetControlText(IDC_STATUS_TEXT, Text(IDS_PROGRAMMING_FAILED));
    view_I.RefreshStatus();
    const std::shared_ptr<CDevice> device = mController->GetCurrentDevice();
    if (mRefreshAfterUpdate && device) {
        const std::int32_t type = mController->GetUpdateType();
        const std::shared_ptr<CFLDeviceInterface> board =
            type == 0 ? device->mPenInterface : type == 1 ? device->mTouchInterface : nullptr;
        if (board && board->GetChecksumExpected() != 0)
            view_I.SetControlText(IDC_CHECKSUM, ChecksumText(board->GetChecksumExpected()));
    }
    mRefreshAfterUpdate = false;
    if (unattended) {
        view_I.StopTimer();
        view_I.ShowMessage(Text(IDS_UPDATE_FAILED), Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        view_I.EndDialog(1);
    }
}

void CMainDialogModel::OnCancel(CMainDialogView& view_I)
{
    if (IsBusy())
        return;
    view_I.EndDialog(2);
}

bool CMainDialogModel::OnCloseRequest()
{
    return !IsBusy();
}

bool CMainDialogModel::OnQueryEndSession()
{
    return !IsBusy();
}

void CMainDialogModel::SetFilterFor(CMainDialogView& view_I, int type_I)
{
    if (type_I == 0)
        view_I.SetFileFilter({{u"*.pen", u"*.pen"}, {u"*.vel", u"*.vel"}});
    else if (type_I == 1)
        view_I.SetFileFilter({{u"*.touch", u"*.touch"}, {u"*.hex", u"*.hex"}});
    else
        view_I.SetFileFilter({{u"*.airoflash", u"*.airoflash"}});
}

void CMainDialogModel::OnUpdateTypeSelected(CMainDialogView& view_I, int position_I)
{
    if (position_I == mSelectedTypeIndex || position_I < 0 || position_I >= static_cast<int>(mEntryTypes.size()))
        return;
    mSelectedTypeIndex = position_I;
    const int type = mEntryTypes[static_cast<size_t>(position_I)];
    mController->SetUpdateType(type);
    view_I.SetControlText(IDC_FILE_NAME, u"");
    view_I.SetControlText(IDC_CHECKSUM, u"N/A");
    view_I.EnableControl(IDC_PROGRAM, false);
    view_I.SetControlText(IDC_STATUS_TEXT, u"");
    view_I.SetProgress(0);
    view_I.RefreshStatus();
    SetFilterFor(view_I, type);
}

void CMainDialogModel::OnFileChosen(CMainDialogView& view_I, const std::string& path_I)
{
    if (!mController->ProcessUpdateFile(path_I)) {
        view_I.ShowMessage(kInvalidFile, Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        return;
    }
    const int selectedType = mEntryTypes.empty() ? 0 : mEntryTypes[static_cast<size_t>(mSelectedTypeIndex)];
    if (mController->GetUpdateType() != selectedType) {
        view_I.ShowMessage(kTypeMismatch, Text(IDS_TITLE), EMessageIcon::eError, EMessageButtons::eOk);
        return;
    }
    const std::u16string path = Utf8ToUtf16(path_I);
    view_I.SetControlText(IDC_CHECKSUM, u"N/A");
    view_I.EnableControl(IDC_PROGRAM, true);
    view_I.SetControlText(IDC_FILE_NAME, path);
    view_I.SetControlText(IDC_STATUS_TEXT, u"");
    view_I.SetProgress(0);
    view_I.RefreshStatus();
    view_I.AttachFileTooltip(path);
}

void CMainDialogModel::OnProgram(CMainDialogView& view_I)
{
    if (view_I.ShowMessage(kConfirm, Text(IDS_TITLE), EMessageIcon::eNone, EMessageButtons::eYesNo) != EMessageResult::eYes)
        return;
    view_I.EnableCloseCommand(false);
    view_I.EnableControl(IDC_PROGRAM, false);
    view_I.EnableControl(IDC_BROWSE, false);
    view_I.EnableControl(IDC_UPDATE_TYPE, false);
    view_I.SetProgress(0);
    mRefreshAfterUpdate = true;
    mStartRequested = true;
}

void CMainDialogModel::OnDeviceArrival(const std::string& path_I)
{
    mController->OnInterfaceAttached(path_I);
}

void CMainDialogModel::OnDeviceRemoval(const std::string& path_I)
{
    mController->OnInterfaceDetached(path_I);
}

EStatusColour CMainDialogModel::GetColour(int controlId_I)
{
    if (controlId_I == IDC_BANNER_BACKGROUND || controlId_I == IDC_TABLET_LABEL || controlId_I == IDC_TABLET_NAME)
        return EStatusColour::eGrey;
    if (controlId_I != IDC_STATUS_BACKGROUND && controlId_I != IDC_STATUS_TEXT)
        return EStatusColour::eDefault;
    const std::int32_t state = GetState();
    if (state >= 2 && state <= 4)
        return EStatusColour::eYellow;
    if (state == 5)
        return EStatusColour::eGreen;
    if (state == 6)
        return EStatusColour::eRed;
    return EStatusColour::eDefault;
}
