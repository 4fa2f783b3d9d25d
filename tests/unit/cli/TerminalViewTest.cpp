// The main dialog in a terminal: the prompt, the status lines and the progress bar (messages and
// errors are seen in the program's runs).

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
    // Shows status_I at progress_I.
    void Status(const char16_t* status_I, int progress_I)
    {
        view.SetControlText(IDC_STATUS_TEXT, status_I);
        view.SetProgress(progress_I);
        view.RefreshStatus();
    }

    std::ostringstream out;
    std::istringstream in;
    CTerminalView view;
};

} // namespace

// Asked unless --yes was given; only a yes is yes, and nothing to answer on means no.
TEST(TerminalView, ConfirmationIsAskedUnlessYesWasGiven)
{
    struct Case
    {
        bool yes;
        bool prompt;
        const char* input;
        EMessageResult expected;
    };
    const Case cases[] = {
        {false, true, " Y \n", EMessageResult::eYes}, {false, true, "n\n", EMessageResult::eNo},
        {false, true, "", EMessageResult::eNo},       {true, true, "n\n", EMessageResult::eYes},
        {false, false, "y\n", EMessageResult::eNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        CTerminalView::Settings settings;
        settings.assumeYes = c.yes;
        settings.canPrompt = c.prompt;
        ViewUnderTest v(settings, c.input);
        EXPECT_EQ(v.view.ShowMessage(u"Update?", u"Title", EMessageIcon::eNone, EMessageButtons::eYesNo), c.expected);
        EXPECT_EQ(v.view.LastAnswer(), c.expected);
        EXPECT_NE(v.out.str().find(c.prompt ? "Title: Update?\nContinue? [y/N] " : "--yes"), std::string::npos) << v.out.str();
        EXPECT_TRUE(!c.yes || v.in.tellg() == 0); // --yes answers without reading
    }
}

// Without a terminal a line per state (not per dot or per percent); on a terminal the bar is
// redrawn in place, with the time since it first appeared (from the clock) where asked, and a
// message starts a line of its own.
TEST(TerminalView, StatusLinesWithAndWithoutATerminal)
{
    ViewUnderTest plain{CTerminalView::Settings()};
    plain.view.SetProgressRange(0, 100);
    for (const char16_t* text : {u"Programming.", u"Programming..", u"Programming..."})
        plain.Status(text, 42);
    plain.Status(u"Programming.", 47);
    plain.Status(u"Programming Successful", 100);
    plain.view.RefreshStatus();
    EXPECT_EQ(plain.out.str(), "Programming (42%)\nProgramming Successful (100%)\n");

    for (const bool elapsed : {false, true}) {
        auto clock = std::make_shared<CVirtualClock>();
        CScopedClock scoped(clock);
        CTerminalView::Settings settings;
        settings.terminal = true;
        settings.showElapsed = elapsed;
        ViewUnderTest terminal(settings);
        terminal.view.RefreshStatus(); // no status yet: no bar
        terminal.Status(u"Programming..", 50);
        clock->advance(65 * 1000 + 400);
        terminal.Status(u"Programming..", 100);
        terminal.view.ShowMessage(u"Done.", u"T", EMessageIcon::eInformation, EMessageButtons::eOk);
        EXPECT_EQ(terminal.out.str(), "\r\033[K[###############---------------]  50%  Programming.." +
                                          std::string(elapsed ? "  0:00" : "") +
                                          "\r\033[K[##############################] 100%  Programming.." +
                                          (elapsed ? "  1:05" : "") + "\nT: Done.\n");
    }
}

// The status line fits the terminal: a bar of n cells is n + 7 characters ("[", cells, "] ",
// three digits, "%"); a 40-column terminal gets one line of at most 39 characters.
TEST(TerminalView, StatusLineFitsTheTerminalWidth)
{
    struct Case
    {
        int percent;
        int columns;
        std::string status;
        std::string elapsed;
        std::string expected;
    };
    const Case cases[] = {
        {50, 120, "Programming...", "0:07", "[###############---------------]  50%  Programming...  0:07"},
        // 39: cells + 7 + 2 + 11 + 2 + 4 <= 39 gives a bar of 13 cells.
        {50, 40, "Programming", "1:02", "[######-------]  50%  Programming  1:02"},
        // 29: even 10 cells leave no room for the time nor the whole status: 29 - 19 = 10 characters.
        {50, 30, "Programming", "1:02", "[#####-----]  50%  Programmin"},
        // UTF-8 is cut between characters, not inside one (24 - 19 = 5 characters).
        {50, 25, "Überprüfung", "0:01", "[#####-----]  50%  Überp"},
        {55, 8, "Programming", "0:01", " 55%"}, // the percentage alone
        {0, 0, "P", "", "[" + std::string(30, '-') + "]   0%  P"}, // width unknown
        {250, 21, "P", "", "[##########] 100%  P"},
        {-3, 21, "P", "", "[----------]   0%  P"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTerminalView::StatusLine(c.percent, c.status, c.elapsed, c.columns), c.expected) << c.columns;
}
