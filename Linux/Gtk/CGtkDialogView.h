#pragma once
// The main dialog as a GTK 4 window: the same controls as dialog template 101 (banner with the
// tablet's name, current firmware per board, update type, firmware file, Program, the coloured
// status area with its progress bar), laid out by GTK boxes and grids. Every call comes from the
// GTK main loop; the model's 500 ms timer is a ticker (a GLib timeout in the program).

#include "FWUpdater/CMainDialogModel.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Runs fn_I on the GTK main loop (the default main context); callable from any thread.
void RunOnMainLoop(std::function<void()> fn_I);

// The model's timer: calls tick_I every periodMs_I from the main loop until stopped.
class CGtkTicker
{
public:
    virtual ~CGtkTicker() = default;
    virtual void Start(std::uint32_t periodMs_I, std::function<void()> tick_I) = 0;
    virtual void Stop() = 0;
};

// The production ticker: a GLib timeout on the default main context.
class CGLibTicker : public CGtkTicker
{
public:
    ~CGLibTicker() override;
    void Start(std::uint32_t periodMs_I, std::function<void()> tick_I) override;
    void Stop() override;

private:
    static gboolean OnTimeout(gpointer self_I);
    guint mSource = 0;
    std::function<void()> mTick;
};

// A message box as the window showed it.
struct GtkShownMessage
{
    std::u16string text;
    std::u16string caption;
    EMessageIcon icon = EMessageIcon::eNone;
    EMessageButtons buttons = EMessageButtons::eOk;
};

class CGtkDialogView : public CMainDialogView
{
public:
    struct Settings
    {
        // OK-only message boxes close by themselves after this many milliseconds (the unattended
        // form: an installer must not wait for a click); 0 keeps them until answered.
        std::uint32_t messageTimeoutMs = 0;
        // Where the open-file dialog starts; empty: the working directory.
        std::string browseDirectory;
    };

    CGtkDialogView(CMainDialogModel& model_I, std::unique_ptr<CGtkTicker> ticker_I, Settings settings_I);
    ~CGtkDialogView() override;
    CGtkDialogView(const CGtkDialogView&) = delete;
    CGtkDialogView& operator=(const CGtkDialogView&) = delete;

    // Initialises the model against this window and presents it; false when the dialog already
    // ended (no tablet, an invalid device path, ...).
    bool Open();
    // Open, then the main loop until the dialog ends; returns the dialog's result.
    int Run();

    // --- CMainDialogView
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
    // A second copy is kept out by the single-instance lock before the window exists.
    bool ActivateOtherInstance(const std::u16string&) override { return false; }
    // Arrivals and removals come from the platform's event source (udev or the simulated bus).
    bool RegisterHidNotifications() override { return true; }
    bool RegisterTabletNotifications() override { return true; }

    // --- What the user does (the widgets' signals call these; tests call them as well).
    void Browse();
    void ChooseFile(const std::string& path_I);
    void SelectUpdateType(int position_I);
    void PressProgram();
    // Escape key and the cancel command.
    void Cancel();
    // The window manager's close button; true when the window stays open.
    bool RequestClose();

    // --- What the window shows, for tests and screenshots.
    GtkWindow* Window() const { return mWindow; }
    std::optional<int> Result() const { return mResult; }
    std::string LabelText(int controlId_I) const;
    bool IsEnabled(int controlId_I) const;
    bool IsVisible(int controlId_I) const;
    bool CloseCommandEnabled() const;
    double ProgressFraction() const;
    // The CSS class of the status area: "", "vfwu-busy", "vfwu-success" or "vfwu-failure".
    std::string StatusClass() const;
    std::vector<std::string> UpdateTypeEntries() const;
    int SelectedUpdateType() const;
    const std::vector<std::pair<std::u16string, std::u16string>>& FileFilter() const { return mFilter; }
    std::string FileTooltip() const;
    bool TimerRunning() const { return mTimerRunning; }
    // Every message box shown, in order.
    const std::vector<GtkShownMessage>& Messages() const { return mMessages; }
    // Answers message boxes instead of the user (tests); the box is still shown and runs its
    // own loop until the answer arrives through the main loop.
    void SetMessageAnswerer(std::function<EMessageResult(const GtkShownMessage&)> answerer_I)
    {
        mAnswerer = std::move(answerer_I);
    }
    // Whether the open-file dialog is shown when Browse is pressed (false in tests, which choose
    // the file with ChooseFile).
    void SetFileChooserEnabled(bool enabled_I) { mFileChooserEnabled = enabled_I; }

private:
    void Build();
    GtkWidget* AddLabel(int controlId_I, const char* text_I);
    GtkWidget* Control(int controlId_I) const;
    void Tick();
    void ApplyStatusColour();
    void Quit();

    CMainDialogModel& mModel;
    std::unique_ptr<CGtkTicker> mTicker;
    Settings mSettings;
    GtkWindow* mWindow = nullptr;
    GtkWidget* mContent = nullptr;
    GtkWidget* mStatusArea = nullptr;
    GtkWidget* mProgress = nullptr;
    GtkWidget* mUpdateType = nullptr;
    GtkStringList* mUpdateTypeList = nullptr;
    std::map<int, GtkWidget*> mControls;
    std::vector<std::pair<std::u16string, std::u16string>> mFilter;
    std::vector<GtkShownMessage> mMessages;
    std::function<EMessageResult(const GtkShownMessage&)> mAnswerer;
    GMainLoop* mLoop = nullptr;
    std::optional<int> mResult;
    int mLow = 0;
    int mHigh = 100;
    int mModalDepth = 0;
    bool mTimerRunning = false;
    bool mFillingEntries = false;
    bool mFileChooserEnabled = true;
    std::string mStatusClass;
};
