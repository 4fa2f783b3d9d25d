#pragma once
// The main dialog (template 101) as a Win32 window: a thin view over CMainDialogModel, which
// decides everything the dialog does. This class only turns the model's requests into window
// calls and the window's messages into model calls.

#include "FWUpdater/CMainDialogModel.h"

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

class CUpdateController;
class LanguageProvider;

class CDialogFirmwareUpdater : public CMainDialogView
{
public:
    // The language text (UTF-8, may be empty) overrides the user's interface language.
    CDialogFirmwareUpdater(std::shared_ptr<CUpdateController> controller_I, const std::u16string& devicePath_I,
                           const std::u16string& autoUpdateBoard_I, const std::string& language_I);
    ~CDialogFirmwareUpdater() override;
    CDialogFirmwareUpdater(const CDialogFirmwareUpdater&) = delete;
    CDialogFirmwareUpdater& operator=(const CDialogFirmwareUpdater&) = delete;

    // Runs the dialog modally; its end result, or -1 when it could not be created.
    INT_PTR DoModal(HINSTANCE instance_I);

    CMainDialogModel& Model() { return *mModel; }
    // The dialog window while it exists.
    HWND GetWindow() const { return mWindow; }

    // From any thread: an interface arrived (true) or went away (false). Delivered to the model on
    // the dialog's own thread through a private window message; dropped while no window exists.
    void PostInterfaceEvent(bool arrival_I, const std::string& path_I);

    // CMainDialogView
    void SetWindowTitle(const std::u16string& title_I) override;
    void SetControlText(int controlId_I, const std::u16string& text_I) override;
    void EnableControl(int controlId_I, bool enable_I) override;
    void EnableCloseCommand(bool enable_I) override;
    void SetProgress(int position_I) override;
    void SetProgressRange(int low_I, int high_I) override;
    void RefreshStatus() override;
    EMessageResult ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I,
                               EMessageButtons buttons_I) override;
    void EndDialog(int result_I) override;
    void StartTimer(std::uint32_t periodMs_I) override;
    void StopTimer() override;
    void SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int selected_I) override;
    void SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I) override;
    void AttachFileTooltip(const std::u16string& path_I) override;
    void ShowStatusStrip() override;
    bool ActivateOtherInstance(const std::u16string& title_I) override;
    bool RegisterHidNotifications() override;
    bool RegisterTabletNotifications() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window_I, UINT message_I, WPARAM wParam_I, LPARAM lParam_I);
    // The message map: true when the message was handled (result in result_O).
    bool ProcessMessage(UINT message_I, WPARAM wParam_I, LPARAM lParam_I, INT_PTR& result_O);

    void OnInitDialog();
    void OnCommand(WORD id_I, WORD code_I);
    void OnBrowse();
    void OnDeviceChange(WPARAM event_I, LPARAM data_I);
    INT_PTR OnStaticColour(HDC dc_I, HWND control_I);
    void DeliverInterfaceEvents();
    void Cleanup();

    std::unique_ptr<LanguageProvider> mLanguage;
    std::unique_ptr<CMainDialogModel> mModel;
    HWND mWindow = nullptr;
    bool mEnded = false;
    HWND mTooltip = nullptr;
    std::wstring mTooltipText;
    bool mTooltipAttached = false;
    HFONT mBannerFont = nullptr;
    HBRUSH mBackgroundBrush = nullptr;
    HBRUSH mGreyBrush = nullptr;
    HBRUSH mYellowBrush = nullptr;
    HBRUSH mGreenBrush = nullptr;
    HBRUSH mRedBrush = nullptr;
    COLORREF mBackgroundColour = RGB(240, 240, 240);
    std::wstring mFileFilter; // pairs separated by zeros, ending in two zeros
    HDEVNOTIFY mHidNotification = nullptr;
    HDEVNOTIFY mTabletNotification = nullptr;

    std::mutex mEventMutex;
    HWND mEventWindow = nullptr;
    std::deque<std::pair<bool, std::string>> mEvents;
};
