// Real widgets on a virtual display; the model's timer is ticked by the test's main loop whenever
// the virtual clock has passed a period. Nothing waits in real time.

#include "CGtkDialogView.h"

#include "../unit/dialog/RecordingView.h"

#include "FWUpdater/DialogResource.h"
#include "StringUtils.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

namespace {

// The model's timer on the virtual clock, run on the main thread (where GLib runs a timeout).
class CClockTicker : public CGtkTicker
{
public:
    void Start(std::uint32_t periodMs_I, std::function<void()> tick_I) override
    {
        mPeriod = periodMs_I;
        mTick = std::move(tick_I);
        mDue = GetClock()->now() + periodMs_I;
    }
    void Stop() override { mTick = nullptr; }
    void TickIfDue()
    {
        if (!mTick || GetClock()->now() < mDue)
            return;
        mDue = GetClock()->now() + mPeriod;
        const std::function<void()> tick = mTick; // the tick may stop the timer
        tick();
    }

private:
    std::uint32_t mPeriod = 0;
    CClock::TimePoint mDue = 0;
    std::function<void()> mTick;
};

void Pump()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Iterates the main loop until done_I holds: mapping and painting are the X server's work.
bool IterateUntil(const std::function<bool()>& done_I)
{
    WaitUntil(
        [&] {
            g_main_context_iteration(nullptr, FALSE);
            return done_I();
        },
        20);
    Pump();
    return done_I();
}

// Screenshots for scripts/gtk-screenshot.sh, saved when VFWU_GTK_SCREENSHOTS names a folder: the
// window's next painted frame, rendered by its own renderer (no window-manager frame).
void Screenshot(CGtkDialogView& view_I, const char* name_I)
{
    const char* folder = std::getenv("VFWU_GTK_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0')
        return;
    std::filesystem::create_directories(folder);
    GtkWidget* widget = GTK_WIDGET(view_I.Window());
    GdkFrameClock* frameClock = gtk_widget_get_frame_clock(widget);
    ASSERT_NE(frameClock, nullptr);
    int painted = 0;
    const gulong handler = g_signal_connect(
        frameClock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer count_I) { ++*static_cast<int*>(count_I); }), &painted);
    gtk_widget_queue_draw(widget);
    IterateUntil([&] { return painted >= 2; });
    g_signal_handler_disconnect(frameClock, handler);

    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(view_I.Window()));
    ASSERT_TRUE(width > 0 && height > 0 && renderer != nullptr);
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    ASSERT_NE(node, nullptr);
    const graphene_rect_t area = GRAPHENE_RECT_INIT(0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height));
    GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &area);
    EXPECT_TRUE(texture != nullptr && gdk_texture_save_to_png(texture, (std::string(folder) + "/" + name_I).c_str()));
    g_object_unref(texture);
    gsk_render_node_unref(node);
    g_object_unref(paintable);
}

// The window in place of the recording view over the dialog's model.
struct WindowFixture : DialogFixture
{
    WindowFixture() : DialogFixture("basic")
    {
        auto owned = std::make_unique<CClockTicker>();
        ticker = owned.get();
        view = std::make_unique<CGtkDialogView>(*model, std::move(owned), CGtkDialogView::Settings{});
        view->SetFileChooserEnabled(false);
        view->SetMessageAnswerer([](const GtkShownMessage&) { return EMessageResult::eYes; });
    }
    ~WindowFixture()
    {
        view.reset();
        Pump();
    }

    void Step(std::uint32_t ms_I)
    {
        sim.mClock->advance(ms_I);
        Pump();
        ticker->TickIfDue();
        Pump();
    }
    // Steps of 100 ms until done_I holds.
    bool RunUntil(const std::function<bool()>& done_I)
    {
        return WaitUntil([&] {
            Step(100);
            return done_I();
        });
    }

    CClockTicker* ticker = nullptr;
    std::unique_ptr<CGtkDialogView> view;
};

} // namespace

TEST(GtkDialogView, InteractivePenUpdateThroughTheMainLoop)
{
    WindowFixture w;
    ASSERT_TRUE(w.view->Open());
    ASSERT_TRUE(IterateUntil([&] { return gtk_widget_get_width(GTK_WIDGET(w.view->Window())) > 0; }));
    EXPECT_EQ(w.view->LabelText(IDC_PEN_VERSION), "1.05");
    // The first tick (state 0): everything usable but Program, which needs a file.
    ASSERT_TRUE(w.RunUntil([&] { return !w.view->IsEnabled(IDC_PROGRAM) && w.view->IsEnabled(IDC_BROWSE); }));
    // Files are taken only in the formats of the chosen board, whose filter the chooser shows.
    w.view->SelectUpdateType(1);
    EXPECT_EQ(w.view->FileFilter().at(0).second, u"*.touch");
    w.view->SelectUpdateType(0);
    w.view->ChooseFile(w.sim.ScenarioFile("basic.touch"));
    Pump();
    ASSERT_EQ(w.view->Messages().size(), 1u);
    EXPECT_EQ(w.view->Messages()[0].text, u"Error: The specified file does not appear to be a valid firmware file.");
    EXPECT_EQ(w.view->LabelText(IDC_FILE_NAME), "");
    const std::string file = w.sim.ScenarioFile("basic.pen");
    w.view->ChooseFile(file);
    ASSERT_TRUE(w.RunUntil([&] { return w.model->GetState() == 1 && w.view->IsEnabled(IDC_PROGRAM); }));
    EXPECT_EQ(w.view->FileTooltip(), file);
    Screenshot(*w.view, "gtk-before.png");

    w.view->PressProgram();
    EXPECT_FALSE(w.view->IsEnabled(IDC_PROGRAM));
    EXPECT_FALSE(w.view->CloseCommandEnabled());
    ASSERT_TRUE(w.RunUntil([&] {
        return w.model->GetState() >= 5 && !w.model->IsUpdateRunning() && w.view->LabelText(IDC_STATUS_TEXT).rfind("Programming ", 0) == 0;
    })) << "state " << w.model->GetState();
    EXPECT_EQ(w.view->LabelText(IDC_STATUS_TEXT), "Programming Successful") << w.sim.LogText();
    // The labels were refreshed from the board, which holds the image (version 1.10).
    EXPECT_TRUE(std::regex_match(w.view->LabelText(IDC_CHECKSUM), std::regex("[0-9A-F]{8}")))
        << w.view->LabelText(IDC_CHECKSUM);
    EXPECT_EQ(w.view->LabelText(IDC_PEN_NEW_CHECKSUM), w.view->LabelText(IDC_CHECKSUM));
    EXPECT_EQ(w.view->LabelText(IDC_PEN_VERSION), "1.10");
    EXPECT_EQ(w.sim.WhyNotUpdated(), "");
    ASSERT_TRUE(w.RunUntil([&] { return w.view->IsEnabled(IDC_PROGRAM) && w.view->CloseCommandEnabled(); }));
    Screenshot(*w.view, "gtk-after.png");
    EXPECT_FALSE(w.view->RequestClose());
    EXPECT_EQ(w.view->Result(), 2);
}

// The state set on the notifier (no worker runs). Busy states (2 to 4) refuse closing and Escape;
// the others end the window with 2, state 7 with 1.
TEST(GtkDialogView, EachStateAsTheStatusAreaShowsIt)
{
    struct Case
    {
        int state;
        int progress;
        std::u16string status;   // status text after the tick
        const char* statusClass; // colour of the status area
        double fraction;         // progress bar
        bool controlsOn;         // Browse, update type and the close button
        int result;
    };
    const Case cases[] = {
        {0, 0, u"", "", 0.0, true, 2},
        {2, 0, English(IDS_WAITING_FOR_LOADER), "vfwu-busy", 0.0, false, 0},
        {3, 40, English(IDS_PROGRAMMING) + u"..", "vfwu-busy", 0.4, false, 0},
        {4, 100, English(IDS_WAITING_FOR_DEVICE), "vfwu-busy", 0.0, false, 0},
        {5, 100, English(IDS_PROGRAMMING_SUCCESSFUL), "vfwu-success", 1.0, true, 2},
        {6, 30, English(IDS_PROGRAMMING_FAILED), "vfwu-failure", 0.0, true, 2},
        {7, 0, u"", "", 0.0, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("state " + std::to_string(c.state));
        WindowFixture w;
        ASSERT_TRUE(w.view->Open());
        ASSERT_TRUE(w.RunUntil([&] { return w.view->IsEnabled(IDC_BROWSE); }));
        w.model->GetNotifier().ReportProgress(c.progress);
        w.model->GetNotifier().ReportState(c.state);
        w.Step(500);
        if (c.result == 1) {
            EXPECT_EQ(w.view->Result(), 1);
            EXPECT_EQ(w.view->Messages().at(0).text, English(IDS_NO_TABLET));
            continue;
        }
        EXPECT_EQ(w.view->LabelText(IDC_STATUS_TEXT), Utf16ToUtf8(c.status));
        EXPECT_EQ(w.view->StatusClass(), c.statusClass);
        EXPECT_DOUBLE_EQ(w.view->ProgressFraction(), c.fraction);
        EXPECT_EQ(w.view->IsEnabled(IDC_BROWSE), c.controlsOn);
        EXPECT_EQ(w.view->IsEnabled(IDC_UPDATE_TYPE), c.controlsOn);
        EXPECT_EQ(w.view->CloseCommandEnabled(), c.controlsOn);
        w.view->Cancel();
        EXPECT_EQ(w.view->Result().has_value(), c.controlsOn);
        EXPECT_EQ(w.view->RequestClose(), !c.controlsOn); // true: the window stays
        EXPECT_EQ(w.view->Result(), c.controlsOn ? std::optional<int>(2) : std::nullopt);
        EXPECT_EQ(w.view->TimerRunning(), !c.controlsOn);
        w.model->GetNotifier().ReportState(0); // back to idle, so that the teardown is not refused
    }
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!gtk_init_check()) {
        std::fprintf(stderr, "test_gtk: no display (run it under xvfb-run)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
