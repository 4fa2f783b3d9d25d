#pragma once
// What the main dialog does, without any window: initialisation, the 500 ms timer's actions per
// update state, success and failure handling, the Program confirmation, update-type changes,
// unattended mode and its result codes. The Win32 dialog and the Linux terminal are views over
// this model; tests drive it with a recording view.

#include "FWUpdater/CUpdateWorker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CLogUpdateNotifier;
class CUpdateController;

enum class EMessageIcon
{
    eNone,
    eError,
    eInformation,
};

enum class EMessageButtons
{
    eOk,
    eYesNo,
};

enum class EMessageResult
{
    eOk,
    eYes,
    eNo,
};

// Background of the status area and text (1029, 1023) and of the banner (1028, 1001, 1002).
enum class EStatusColour
{
    eDefault,
    eGrey,   // RGB(220,220,220)
    eYellow, // RGB(250,250,0): busy
    eGreen,  // RGB(190,255,190): success
    eRed,    // RGB(255,190,190): failure
};

// What the model needs of a window.
class CMainDialogView
{
public:
    virtual ~CMainDialogView() = default;

    virtual void SetWindowTitle(const std::u16string& title_I) = 0;
    virtual void SetControlText(int controlId_I, const std::u16string& text_I) = 0;
    virtual void EnableControl(int controlId_I, bool enable_I) = 0;
    // The Close item of the system menu.
    virtual void EnableCloseCommand(bool enable_I) = 0;
    virtual void SetProgress(int position_I) = 0;
    virtual void SetProgressRange(int low_I, int high_I) = 0;
    // Redraw the status area, progress bar and status text.
    virtual void RefreshStatus() = 0;
    virtual EMessageResult ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I,
                                       EMessageButtons buttons_I) = 0;
    virtual void EndDialog(int result_I) = 0;
    virtual void StartTimer(std::uint32_t periodMs_I) = 0;
    virtual void StopTimer() = 0;
    // The update-type list: entries in order, and the selected position.
    virtual void SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int selected_I) = 0;
    // Filter pairs (display text, pattern) for the open-file dialog.
    virtual void SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I) = 0;
    virtual void AttachFileTooltip(const std::u16string& path_I) = 0;
    // Unattended layout: only the status strip stays visible.
    virtual void ShowStatusStrip() = 0;
    // Another window of this program with the same title: bring it forward and return true.
    virtual bool ActivateOtherInstance(const std::u16string& title_I) = 0;
    // Device arrival/removal notifications for the HID class and the tablet's USB class.
    virtual bool RegisterHidNotifications() = 0;
    virtual bool RegisterTabletNotifications() = 0;
};

class CMainDialogModel
{
public:
    // The model owns the notifier and shares the controller with the update worker.
    // loadString_I gives a localized string (2000, 2100-2106, 2200-2203) in the chosen language.
    CMainDialogModel(std::shared_ptr<CUpdateController> controller_I, std::unique_ptr<CLogUpdateNotifier> notifier_I,
                     std::function<std::u16string(int)> loadString_I, std::u16string devicePath_I,
                     std::u16string autoUpdateBoard_I);
    ~CMainDialogModel();
    CMainDialogModel(const CMainDialogModel&) = delete;
    CMainDialogModel& operator=(const CMainDialogModel&) = delete;

    // Each handler talks to the view it is given; views are not kept.
    void OnInitDialog(CMainDialogView& view_I);
    void OnTimer(CMainDialogView& view_I);
    void OnCancel(CMainDialogView& view_I);
    // False while busy: the close request is swallowed.
    bool OnCloseRequest();
    // False while busy: the session must not end.
    bool OnQueryEndSession();
    void OnUpdateTypeSelected(CMainDialogView& view_I, int position_I);
    // The user chose a file in the open-file dialog (UTF-8 path).
    void OnFileChosen(CMainDialogView& view_I, const std::string& path_I);
    void OnProgram(CMainDialogView& view_I);
    void OnDeviceArrival(const std::string& path_I);
    void OnDeviceRemoval(const std::string& path_I);

    // Where the update file named by the device description is looked for in unattended mode;
    // empty (the default) means the working directory.
    void SetAutoUpdateDirectory(const std::string& directory_I) { mAutoUpdateDirectory = directory_I; }
    // True while an update worker has not yet returned.
    bool IsUpdateRunning() const { return mWorker.IsRunning(); }
    // How long the destructor waits for a running worker (default 200 ms) before leaving it to
    // CUpdateWorker::JoinStragglers.
    void SetWorkerStopWait(std::uint32_t ms_I) { mWorkerStopWaitMs = ms_I; }

    bool IsBusy();
    std::int32_t GetState();
    std::int32_t GetProgress();
    EStatusColour GetColour(int controlId_I);
    const std::u16string& GetTitle() const { return mTitle; }
    bool IsUnattended() const;
    CUpdateController& GetController() { return *mController; }
    CLogUpdateNotifier& GetNotifier() { return *mNotifier; }
    // The update types of the list entries, in list order.
    const std::vector<int>& GetUpdateTypeEntries() const { return mEntryTypes; }

    static std::u16string VersionText(std::uint16_t version_I);
    static std::u16string ChecksumText(std::uint32_t checksum_I);

private:
    bool UnattendedCheck(CMainDialogView& view_I);
    void EnableControls(CMainDialogView& view_I, bool enable_I);
    void StartWorker();
    void OnSuccess(CMainDialogView& view_I);
    void OnFailure(CMainDialogView& view_I);
    void SetFilterFor(CMainDialogView& view_I, int type_I);
    std::u16string Text(int id_I) const { return mLoadString(id_I); }

    std::shared_ptr<CUpdateController> mController;
    // Shared only so that a worker left running by the destructor can keep reporting to the log
    // until it ends.
    std::shared_ptr<CLogUpdateNotifier> mNotifier;
    std::function<std::u16string(int)> mLoadString;
    std::u16string mTitle;
    std::u16string mDevicePath;
    std::u16string mAutoUpdateBoard;
    std::string mAutoUpdateDirectory;
    int mSelectedTypeIndex = 0;
    std::vector<int> mEntryTypes;
    CUpdateWorker mWorker;
    std::uint32_t mWorkerStopWaitMs = CUpdateWorker::kStopWaitMs;
    bool mStartRequested = false;
    bool mRefreshAfterUpdate = false;
    int mDots = 1;
};
