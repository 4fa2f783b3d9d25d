#pragma once
// The main dialog in a terminal: the status line with a progress bar (redrawn in place on a
// terminal, plain lines otherwise), message boxes as printed lines, the Program confirmation as
// a yes/no prompt. Control texts are kept so the program can print the firmware section.

#include "FWUpdater/CMainDialogModel.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

class CTerminalView : public CMainDialogView
{
public:
    struct Settings
    {
        bool terminal = false;   // out_I is a terminal: redraw the status line in place
        bool assumeYes = false;  // --yes: confirmations are answered yes without asking
        bool canPrompt = false;  // in_I is a terminal the user can answer on
        // Error messages are printed as this prefix and the text (the program's one error
        // style) instead of "caption: text"; empty keeps the caption.
        std::string errorPrefix;
        // The terminal's width: the bar and the status are fitted into one line of it (0: not
        // fitted).
        int columns = 0;
        // Shows the time since the status line first appeared (m:ss), from the injected clock.
        bool showElapsed = false;
    };

    // Messages and status go to out_I; answers are read from in_I.
    CTerminalView(std::ostream& out_I, std::istream& in_I, Settings settings_I);

    void SetWindowTitle(const std::u16string& title_I) override;
    void SetControlText(int controlId_I, const std::u16string& text_I) override;
    void EnableControl(int, bool) override {}
    void EnableCloseCommand(bool) override {}
    void SetProgress(int position_I) override;
    void SetProgressRange(int low_I, int high_I) override;
    void RefreshStatus() override;
    EMessageResult ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I,
                               EMessageButtons buttons_I) override;
    void EndDialog(int result_I) override;
    void StartTimer(std::uint32_t) override { mTimerRunning = true; }
    void StopTimer() override { mTimerRunning = false; }
    void SetUpdateTypeEntries(const std::vector<std::u16string>&, int) override {}
    void SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>&) override {}
    void AttachFileTooltip(const std::u16string&) override {}
    void ShowStatusStrip() override {}
    // A second copy is kept out by the single-instance lock before the dialog exists.
    bool ActivateOtherInstance(const std::u16string&) override { return false; }
    // Arrivals and removals come from the platform's event source, not from the view.
    bool RegisterHidNotifications() override { return true; }
    bool RegisterTabletNotifications() override { return true; }

    // Ends the status line (on a terminal the cursor is left after the bar).
    void FinishStatusLine();

    std::optional<int> Result() const { return mResult; }
    bool TimerRunning() const { return mTimerRunning; }
    // UTF-8 text of a control, empty when never set.
    std::string ControlText(int controlId_I) const;
    const std::string& Title() const { return mTitle; }
    // The last message box that had the error icon.
    const std::string& LastError() const { return mLastError; }
    int ErrorCount() const { return mErrors; }
    // The answer to the last yes/no question, empty before the first.
    std::optional<EMessageResult> LastAnswer() const { return mLastAnswer; }

    // "[#####-----]  50%" with `width` cells.
    static std::string ProgressBar(int percent_I, int width_I);
    // The terminal's status line: the bar, the status and the elapsed time (may be empty), fitted
    // into columns_I - 1 characters (the last column would wrap on some terminals) by narrowing
    // the bar to 10 cells, then leaving out the time, then shortening the status.
    static std::string StatusLine(int percent_I, const std::string& status_I, const std::string& elapsed_I, int columns_I);

private:
    void DrawStatus();
    EMessageResult Ask();

    std::ostream& mOut;
    std::istream& mIn;
    Settings mSettings;
    std::map<int, std::string> mTexts;
    std::string mTitle;
    int mProgress = 0;
    int mLow = 0;
    int mHigh = 100;
    std::optional<int> mResult;
    bool mTimerRunning = false;
    std::string mLastError;
    int mErrors = 0;
    std::optional<EMessageResult> mLastAnswer;
    // What the last plain line showed, so that unchanged states print nothing.
    std::string mLastPlainStatus;
    bool mLineOpen = false;
    bool mStarted = false;
    std::uint64_t mStartMs = 0;
};
