// The main dialog on a terminal (without one it is seen in the program's runs).

#include "FWUpdater/CTerminalView.h"
#include "Clock.h"
#include "FWUpdater/DialogResource.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

// Only a yes is yes, nothing to answer on means no; --yes answers without reading.
TEST(TerminalView, ConfirmationIsAskedUnlessYesWasGiven)
{
    const std::tuple<bool, bool, const char*, EMessageResult> cases[] = {
        {false, true, " Y \n", EMessageResult::eYes}, {false, true, "", EMessageResult::eNo},
        {true, true, "n\n", EMessageResult::eYes},     {false, false, "y\n", EMessageResult::eNo},
    };
    for (const auto& [yes, prompt, input, expected] : cases) {
        SCOPED_TRACE(input);
        CTerminalView::Settings settings;
        settings.assumeYes = yes;
        settings.canPrompt = prompt;
        std::ostringstream out;
        std::istringstream in(input);
        CTerminalView view(out, in, settings);
        EXPECT_EQ(view.ShowMessage(u"Update?", u"Title", EMessageIcon::eNone, EMessageButtons::eYesNo), expected);
        EXPECT_EQ(view.LastAnswer(), expected); // what the update goes by
        EXPECT_NE(out.str().find(prompt ? "Title: Update?\nContinue? [y/N] " : "--yes"), std::string::npos) << out.str();
        EXPECT_TRUE(!yes || in.tellg() == 0);
    }
}

// Redrawn in place with the time since it first appeared; a message starts a line of its own.
TEST(TerminalView, TheBarIsRedrawnInPlaceWithTheElapsedTime)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CTerminalView::Settings settings;
    settings.terminal = true;
    settings.showElapsed = true;
    std::ostringstream out;
    std::istringstream in;
    CTerminalView view(out, in, settings);
    view.RefreshStatus(); // no status yet: no bar
    for (const int progress : {10, 20}) {
        view.SetControlText(IDC_STATUS_TEXT, u"Programming..");
        view.SetProgress(progress);
        view.RefreshStatus();
        clock->advance(65 * 1000 + 400);
    }
    view.ShowMessage(u"Done.", u"T", EMessageIcon::eInformation, EMessageButtons::eOk);
    EXPECT_EQ(out.str(), "\r\033[K[###---------------------------]  10%  Programming..  0:00"
                         "\r\033[K[######------------------------]  20%  Programming..  1:05\nT: Done.\n");
}

// n cells make n + 7 characters; a 40-column terminal gets at most 39. Percent, columns, status,
// elapsed time, the line.
TEST(TerminalView, StatusLineFitsTheTerminalWidth)
{
    const std::tuple<int, int, std::string, std::string, std::string> cases[] = {
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
    for (const auto& [percent, columns, status, elapsed, expected] : cases)
        EXPECT_EQ(CTerminalView::StatusLine(percent, status, elapsed, columns), expected) << columns;
}
