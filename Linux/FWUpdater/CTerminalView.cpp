#include "FWUpdater/CTerminalView.h"

#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"
#include "FWUpdater/DialogResource.h"
#include "Clock.h"
#include "StringUtils.h"

#include <algorithm>
#include <istream>
#include <ostream>

namespace {

constexpr int kBarCells = 30;

// The status text without the animated dots of the programming state.
std::string WithoutDots(std::string text_I)
{
    while (!text_I.empty() && text_I.back() == '.')
        text_I.pop_back();
    return text_I;
}

} // namespace

CTerminalView::CTerminalView(std::ostream& out_I, std::istream& in_I, Settings settings_I)
    : mOut(out_I), mIn(in_I), mSettings(settings_I)
{
}

namespace {

// Characters as the terminal counts them (code points; wide characters are not told apart).
std::size_t Columns(const std::string& text_I)
{
    return TextWidth(text_I);
}

// The first columns_I characters of text_I, not splitting a UTF-8 sequence.
std::string FirstColumns(const std::string& text_I, std::size_t columns_I)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text_I.size(); ++i) {
        if ((static_cast<unsigned char>(text_I[i]) & 0xC0) != 0x80 && count++ == columns_I)
            return text_I.substr(0, i);
    }
    return text_I;
}

} // namespace

std::string CTerminalView::StatusLine(int percent_I, const std::string& status_I, const std::string& elapsed_I,
                                      int columns_I)
{
    const auto compose = [&](int cells_I, bool time_I, const std::string& status_IN) {
        std::string line = ProgressBar(percent_I, cells_I) + "  " + status_IN;
        if (time_I && !elapsed_I.empty())
            line += "  " + elapsed_I;
        return line;
    };
    if (columns_I <= 0)
        return compose(kBarCells, true, status_I);
    const std::size_t room = static_cast<std::size_t>(std::max(columns_I - 1, 1));
    for (const bool time : {true, false}) {
        for (int cells = kBarCells; cells >= 10; --cells) {
            const std::string line = compose(cells, time, status_I);
            if (Columns(line) <= room)
                return line;
        }
    }
    // Even the narrow bar leaves too little: the status is shortened, and on a very narrow
    // terminal only the percentage is left.
    const std::string bar = ProgressBar(percent_I, 10) + "  ";
    if (Columns(bar) + 4 <= room)
        return bar + FirstColumns(status_I, room - Columns(bar));
    return FirstColumns(ProgressBar(percent_I, 0).substr(3), room); // " 55%"
}

std::string CTerminalView::ProgressBar(int percent_I, int width_I)
{
    const int percent = std::clamp(percent_I, 0, 100);
    const int filled = percent * width_I / 100;
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width_I - filled), '-');
    bar += "] ";
    const std::string number = std::to_string(percent);
    bar.append(3 - std::min<std::size_t>(3, number.size()), ' ');
    return bar + number + "%";
}

void CTerminalView::SetWindowTitle(const std::u16string& title_I)
{
    mTitle = Utf16ToUtf8(title_I);
}

void CTerminalView::SetControlText(int controlId_I, const std::u16string& text_I)
{
    mTexts[controlId_I] = Utf16ToUtf8(text_I);
}

std::string CTerminalView::ControlText(int controlId_I) const
{
    const auto it = mTexts.find(controlId_I);
    return it == mTexts.end() ? std::string() : it->second;
}

void CTerminalView::SetProgress(int position_I)
{
    mProgress = position_I;
}

void CTerminalView::SetProgressRange(int low_I, int high_I)
{
    mLow = low_I;
    mHigh = high_I;
}

void CTerminalView::RefreshStatus()
{
    DrawStatus();
}

void CTerminalView::DrawStatus()
{
    const std::string status = ControlText(IDC_STATUS_TEXT);
    const int span = mHigh > mLow ? mHigh - mLow : 100;
    const int percent = (mProgress - mLow) * 100 / span;
    if (mSettings.terminal) {
        // A cleared status (new file or update type) shows no bar: nothing is under way.
        if (status.empty()) {
            if (mLineOpen)
                mOut << "\r\033[K" << std::flush;
            mLineOpen = false;
            return;
        }
        std::string elapsed;
        if (mSettings.showElapsed) {
            const auto now = GetClock()->now();
            if (!mStarted) {
                mStarted = true;
                mStartMs = now;
            }
            const std::uint64_t seconds = (now - mStartMs) / 1000;
            const std::string ss = std::to_string(seconds % 60);
            elapsed = std::to_string(seconds / 60) + ":" + (ss.size() < 2 ? "0" : "") + ss;
        }
        // Carriage return and erase-line: the bar is redrawn in place, within one line.
        mOut << "\r\033[K" << StatusLine(percent, status, elapsed, mSettings.columns) << std::flush;
        mLineOpen = true;
        return;
    }
    // Without a terminal (a log, a pipe): one line per state, with the progress at its start.
    const std::string base = WithoutDots(status);
    if (base == mLastPlainStatus)
        return;
    mLastPlainStatus = base;
    if (base.empty())
        return;
    mOut << base << " (" << std::clamp(percent, 0, 100) << "%)\n" << std::flush;
}

void CTerminalView::FinishStatusLine()
{
    if (mLineOpen) {
        mOut << "\n" << std::flush;
        mLineOpen = false;
    }
}

EMessageResult CTerminalView::ShowMessage(const std::u16string& text_I, const std::u16string& caption_I,
                                          EMessageIcon icon_I, EMessageButtons buttons_I)
{
    FinishStatusLine();
    const std::string text = Utf16ToUtf8(text_I);
    const std::string caption = Utf16ToUtf8(caption_I);
    if (icon_I == EMessageIcon::eError) {
        mLastError = text;
        ++mErrors;
    }
    // The model's own English texts in the user's language; LastError() keeps the model's text.
    const std::string shown = ShownModelText(text);
    if (icon_I == EMessageIcon::eError && !mSettings.errorPrefix.empty())
        mOut << mSettings.errorPrefix << shown << "\n";
    else
        mOut << caption << ": " << shown << "\n";
    if (buttons_I != EMessageButtons::eYesNo) {
        mOut << std::flush;
        return EMessageResult::eOk;
    }
    mLastAnswer = Ask();
    return *mLastAnswer;
}

EMessageResult CTerminalView::Ask()
{
    if (mSettings.assumeYes) {
        mOut << CliText(IDS_CLI_CONTINUE) << " " << CliText(IDS_CLI_CONTINUE_ASSUMED) << "\n" << std::flush;
        return EMessageResult::eYes;
    }
    if (!mSettings.canPrompt) {
        // Nobody to ask: the update must not start unconfirmed.
        mOut << CliText(IDS_CLI_CONTINUE) << " " << CliText(IDS_CLI_CONTINUE_NO_TERMINAL) << "\n" << std::flush;
        return EMessageResult::eNo;
    }
    mOut << CliText(IDS_CLI_CONTINUE) << " " << std::flush;
    std::string answer;
    if (!std::getline(mIn, answer)) {
        mOut << "\n" << std::flush;
        return EMessageResult::eNo;
    }
    return IsYesAnswer(answer, CliLanguage()) ? EMessageResult::eYes : EMessageResult::eNo;
}

void CTerminalView::EndDialog(int result_I)
{
    FinishStatusLine();
    if (!mResult)
        mResult = result_I;
}
