// The main dialog in a terminal: prompts, message lines, status lines and the progress bar.

#include "FWUpdater/CTerminalView.h"
#include "Clock.h"
#include "FWUpdater/DialogResource.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct ViewUnderTest
{
    explicit ViewUnderTest(CTerminalView::Settings settings_I, const std::string& input_I = std::string())
        : in(input_I), view(out, in, settings_I)
    {
    }
    std::ostringstream out;
    std::istringstream in;
    CTerminalView view;
};

CTerminalView::Settings Plain(bool yes_I = false, bool prompt_I = false)
{
    CTerminalView::Settings settings;
    settings.assumeYes = yes_I;
    settings.canPrompt = prompt_I;
    return settings;
}

EMessageResult Confirm(CTerminalView& view_I)
{
    return view_I.ShowMessage(u"Update?", u"Title", EMessageIcon::eNone, EMessageButtons::eYesNo);
}

} // namespace

TEST(TerminalView, ConfirmationIsAskedUnlessYesWasGiven)
{
    ViewUnderTest yes(Plain(false, true), " Y \n");
    EXPECT_EQ(Confirm(yes.view), EMessageResult::eYes);
    EXPECT_NE(yes.out.str().find("Title: Update?\nContinue? [y/N] "), std::string::npos);

    ViewUnderTest no(Plain(false, true), "n\n");
    EXPECT_EQ(Confirm(no.view), EMessageResult::eNo);
    ViewUnderTest other(Plain(false, true), "maybe\n");
    EXPECT_EQ(Confirm(other.view), EMessageResult::eNo);
    ViewUnderTest endOfInput(Plain(false, true), "");
    EXPECT_EQ(Confirm(endOfInput.view), EMessageResult::eNo);
    EXPECT_EQ(endOfInput.view.LastAnswer(), EMessageResult::eNo);

    // --yes answers without reading; nothing to answer on means no.
    ViewUnderTest assumed(Plain(true, true), "n\n");
    EXPECT_EQ(Confirm(assumed.view), EMessageResult::eYes);
    EXPECT_EQ(assumed.in.tellg(), 0);
    ViewUnderTest nobody(Plain(false, false), "y\n");
    EXPECT_EQ(Confirm(nobody.view), EMessageResult::eNo);
    EXPECT_NE(nobody.out.str().find("--yes"), std::string::npos);
}

TEST(TerminalView, MessagesAreLinesAndErrorsAreCounted)
{
    ViewUnderTest v(Plain());
    EXPECT_FALSE(v.view.LastAnswer());
    EXPECT_EQ(v.view.ShowMessage(u"Fine.", u"Caption", EMessageIcon::eInformation, EMessageButtons::eOk),
              EMessageResult::eOk);
    EXPECT_EQ(v.view.ErrorCount(), 0);
    v.view.ShowMessage(u"Fehler: \u00e4\nzweite Zeile", u"Caption", EMessageIcon::eError, EMessageButtons::eOk);
    EXPECT_EQ(v.view.ErrorCount(), 1);
    EXPECT_EQ(v.view.LastError(), "Fehler: \xc3\xa4\nzweite Zeile");
    EXPECT_EQ(v.out.str(), "Caption: Fine.\nCaption: Fehler: \xc3\xa4\nzweite Zeile\n");

    v.view.EndDialog(1);
    v.view.EndDialog(0); // the first end counts, as a dialog ends once
    EXPECT_EQ(v.view.Result(), 1);
}

TEST(TerminalView, PlainStatusLinesOnlyWhenTheStateChanges)
{
    ViewUnderTest v(Plain());
    v.view.SetProgressRange(0, 100);
    for (const char16_t* text : {u"Programming.", u"Programming..", u"Programming..."}) {
        v.view.SetControlText(IDC_STATUS_TEXT, text);
        v.view.SetProgress(42);
        v.view.RefreshStatus();
    }
    v.view.SetProgress(47); // progress alone: nothing new without a terminal
    v.view.RefreshStatus();
    v.view.SetProgress(95);
    v.view.RefreshStatus();
    v.view.SetControlText(IDC_STATUS_TEXT, u"Programming Successful");
    v.view.SetProgress(100);
    v.view.RefreshStatus();
    v.view.RefreshStatus();
    EXPECT_EQ(v.out.str(), "Programming (42%)\nProgramming Successful (100%)\n");
    EXPECT_EQ(v.out.str().find('\r'), std::string::npos);
}

TEST(TerminalView, TerminalRedrawsTheBarInPlace)
{
    CTerminalView::Settings settings;
    settings.terminal = true;
    ViewUnderTest v(settings);
    v.view.RefreshStatus(); // no status yet: no bar
    v.view.SetControlText(IDC_STATUS_TEXT, u"Programming..");
    v.view.SetProgress(50);
    v.view.RefreshStatus();
    v.view.SetProgress(100);
    v.view.RefreshStatus();
    v.view.ShowMessage(u"Done.", u"T", EMessageIcon::eInformation, EMessageButtons::eOk);
    const std::string bar50 = CTerminalView::ProgressBar(50, 30);
    const std::string bar100 = CTerminalView::ProgressBar(100, 30);
    EXPECT_EQ(v.out.str(), "\r\033[K" + bar50 + "  Programming..\r\033[K" + bar100 + "  Programming..\nT: Done.\n");
}

TEST(TerminalView, ProgressBarClampsAndFills)
{
    EXPECT_EQ(CTerminalView::ProgressBar(0, 10), "[----------]   0%");
    EXPECT_EQ(CTerminalView::ProgressBar(55, 10), "[#####-----]  55%");
    EXPECT_EQ(CTerminalView::ProgressBar(100, 10), "[##########] 100%");
    EXPECT_EQ(CTerminalView::ProgressBar(250, 4), "[####] 100%");
    EXPECT_EQ(CTerminalView::ProgressBar(-3, 4), "[----]   0%");
}

// The status line fits the terminal: a 40-column terminal gets one line of at most 39
// characters, never a line break, whatever the status text's length.
TEST(TerminalView, StatusLineFitsTheTerminalWidth)
{
    struct Case
    {
        int columns;
        std::string status;
        std::string elapsed;
        std::string expected;
    };
    // Built by hand: a bar of n cells is n + 7 characters ("[", cells, "] ", three digits, "%").
    const Case cases[] = {
        // Wide enough: the full 30-cell bar, the status and the time.
        {120, "Programming...", "0:07", "[###############---------------]  50%  Programming...  0:07"},
        // 40 columns leave 39: cells + 7 + 2 + 11 + 2 + 4 <= 39 gives a bar of 13 cells.
        {40, "Programming", "1:02", "[######-------]  50%  Programming  1:02"},
        // 30 leave 29: even 10 cells leave no room for the time, nor for the whole status (10 + 20
        // > 29): the narrow bar and as much of the status as fits (29 - 19 = 10 characters).
        {30, "Programming", "1:02", "[#####-----]  50%  Programmin"},
        // UTF-8 is cut between characters, not inside one (24 - 19 = 5 characters).
        {25, "Überprüfung", "0:01", "[#####-----]  50%  Überp"},
        // A very narrow terminal: the percentage alone.
        {8, "Programming", "0:01", " 50%"},
        // Unknown width: nothing is fitted.
        {0, "Programming", "", "[###############---------------]  50%  Programming"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + " " + c.status);
        EXPECT_EQ(CTerminalView::StatusLine(50, c.status, c.elapsed, c.columns), c.expected);
    }
}

TEST(TerminalView, TheBarShowsTheElapsedTimeFromTheClock)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CTerminalView::Settings settings;
    settings.terminal = true;
    settings.showElapsed = true;
    settings.columns = 200;
    ViewUnderTest v(settings);
    v.view.SetControlText(IDC_STATUS_TEXT, u"Programming");
    v.view.SetProgress(10);
    v.view.RefreshStatus();
    clock->advance(65 * 1000 + 400);
    v.view.SetProgress(20);
    v.view.RefreshStatus();
    EXPECT_EQ(v.out.str(), "\r\033[K" + CTerminalView::ProgressBar(10, 30) + "  Programming  0:00" + "\r\033[K" +
                               CTerminalView::ProgressBar(20, 30) + "  Programming  1:05");
}
