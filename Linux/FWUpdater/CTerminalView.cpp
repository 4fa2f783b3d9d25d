#include "FWUpdater/CTerminalView.h"

#include "FWUpdater/DialogResource.h"
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
        // Carriage return and erase-line: the bar is redrawn in place.
        mOut << "\r\033[K" << ProgressBar(percent, kBarCells) << "  " << status << std::flush;
        mLineOpen = true;
        return;
    }
    const std::string base = WithoutDots(status);
    const int step = std::clamp(percent, 0, 100) / 10;
    if (base == mLastPlainStatus && step == mLastPlainStep)
        return;
    mLastPlainStatus = base;
    mLastPlainStep = step;
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
    if (icon_I == EMessageIcon::eError && !mSettings.errorPrefix.empty())
        mOut << mSettings.errorPrefix << text << "\n";
    else
        mOut << caption << ": " << text << "\n";
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
        mOut << "Continue? [y/N] yes (--yes)\n" << std::flush;
        return EMessageResult::eYes;
    }
    if (!mSettings.canPrompt) {
        // Nobody to ask: the update must not start unconfirmed.
        mOut << "Continue? [y/N] no (no terminal to answer on; use --yes)\n" << std::flush;
        return EMessageResult::eNo;
    }
    mOut << "Continue? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(mIn, answer)) {
        mOut << "\n" << std::flush;
        return EMessageResult::eNo;
    }
    answer = ToLower(Trimmed(answer));
    return (answer == "y" || answer == "yes") ? EMessageResult::eYes : EMessageResult::eNo;
}

void CTerminalView::EndDialog(int result_I)
{
    FinishStatusLine();
    if (!mResult)
        mResult = result_I;
}
