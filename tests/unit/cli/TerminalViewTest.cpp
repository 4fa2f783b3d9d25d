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
    EMessageResult Confirm() { return view.ShowMessage(u"Update?", u"Title", EMessageIcon::eNone, EMessageButtons::eYesNo); }
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

CTerminalView::Settings Settings(bool yes_I, bool prompt_I, bool terminal_I = false)
{
    CTerminalView::Settings settings;
    settings.assumeYes = yes_I;
    settings.canPrompt = prompt_I;
    settings.terminal = terminal_I;
    return settings;
}

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
        {false, true, "maybe\n", EMessageResult::eNo}, {false, true, "", EMessageResult::eNo},
        {true, true, "n\n", EMessageResult::eYes},     {false, false, "y\n", EMessageResult::eNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        ViewUnderTest v(Settings(c.yes, c.prompt), c.input);
        EXPECT_EQ(v.Confirm(), c.expected);
        EXPECT_EQ(v.view.LastAnswer(), c.expected);
        EXPECT_NE(v.out.str().find(c.prompt ? "Title: Update?\nContinue? [y/N] " : "--yes"), std::string::npos) << v.out.str();
        if (c.yes) {
            EXPECT_EQ(v.in.tellg(), 0); // --yes answers without reading
        }
    }
}

TEST(TerminalView, MessagesAreLinesAndErrorsAreCounted)
{
    ViewUnderTest v(Settings(false, false));
    EXPECT_FALSE(v.view.LastAnswer());
    EXPECT_EQ(v.view.ShowMessage(u"Fine.", u"Caption", EMessageIcon::eInformation, EMessageButtons::eOk), EMessageResult::eOk);
    EXPECT_EQ(v.view.ErrorCount(), 0);
    v.view.ShowMessage(u"Fehler: \u00e4\nzweite Zeile", u"Caption", EMessageIcon::eError, EMessageButtons::eOk);
    EXPECT_EQ(v.view.ErrorCount(), 1);
    EXPECT_EQ(v.view.LastError(), "Fehler: \xc3\xa4\nzweite Zeile");
    EXPECT_EQ(v.out.str(), "Caption: Fine.\nCaption: Fehler: \xc3\xa4\nzweite Zeile\n");
    v.view.EndDialog(1);
    v.view.EndDialog(0); // the first end counts, as a dialog ends once
    EXPECT_EQ(v.view.Result(), 1);
}

// Without a terminal a line per state (not per dot or per percent); on a terminal the bar is
// redrawn in place, and a message starts a line of its own.
TEST(TerminalView, StatusLinesWithAndWithoutATerminal)
{
    ViewUnderTest plain(Settings(false, false));
    plain.view.SetProgressRange(0, 100);
    for (const char16_t* text : {u"Programming.", u"Programming..", u"Programming..."})
        plain.Status(text, 42);
    plain.Status(u"Programming.", 47);
    plain.Status(u"Programming Successful", 100);
    plain.view.RefreshStatus();
    EXPECT_EQ(plain.out.str(), "Programming (42%)\nProgramming Successful (100%)\n");

    ViewUnderTest terminal(Settings(false, false, true));
    terminal.view.RefreshStatus(); // no status yet: no bar
    terminal.Status(u"Programming..", 50);
    terminal.Status(u"Programming..", 100);
    terminal.view.ShowMessage(u"Done.", u"T", EMessageIcon::eInformation, EMessageButtons::eOk);
    EXPECT_EQ(terminal.out.str(), "\r\033[K[###############---------------]  50%  Programming..\r\033[K"
                                  "[##############################] 100%  Programming..\nT: Done.\n");
    for (const auto& [percent, cells, bar] :
         {std::tuple<int, int, const char*>{0, 10, "[----------]   0%"}, {55, 10, "[#####-----]  55%"},
          {250, 4, "[####] 100%"}, {-3, 4, "[----]   0%"}})
        EXPECT_EQ(CTerminalView::ProgressBar(percent, cells), bar);
}

// The status line fits the terminal: a bar of n cells is n + 7 characters ("[", cells, "] ",
// three digits, "%"); a 40-column terminal gets one line of at most 39 characters.
TEST(TerminalView, StatusLineFitsTheTerminalWidth)
{
    struct Case
    {
        int columns;
        std::string status;
        std::string elapsed;
        std::string expected;
    };
    const Case cases[] = {
        {120, "Programming...", "0:07", "[###############---------------]  50%  Programming...  0:07"},
        // 39: cells + 7 + 2 + 11 + 2 + 4 <= 39 gives a bar of 13 cells.
        {40, "Programming", "1:02", "[######-------]  50%  Programming  1:02"},
        // 29: even 10 cells leave no room for the time nor the whole status: 29 - 19 = 10 characters.
        {30, "Programming", "1:02", "[#####-----]  50%  Programmin"},
        // UTF-8 is cut between characters, not inside one (24 - 19 = 5 characters).
        {25, "Überprüfung", "0:01", "[#####-----]  50%  Überp"},
        {8, "Programming", "0:01", " 50%"}, // the percentage alone
        {0, "Programming", "", "[###############---------------]  50%  Programming"}, // width unknown
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTerminalView::StatusLine(50, c.status, c.elapsed, c.columns), c.expected) << c.columns;
}

TEST(TerminalView, TheBarShowsTheElapsedTimeFromTheClock)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CTerminalView::Settings settings = Settings(false, false, true);
    settings.showElapsed = true;
    settings.columns = 200;
    ViewUnderTest v(settings);
    v.Status(u"Programming", 10);
    clock->advance(65 * 1000 + 400);
    v.Status(u"Programming", 20);
    EXPECT_EQ(v.out.str(), "\r\033[K[###---------------------------]  10%  Programming  0:00"
                           "\r\033[K[######------------------------]  20%  Programming  1:05");
}
