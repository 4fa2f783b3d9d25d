// The GTK window against the main dialog's model: real widgets on a (virtual) display, the
// simulated tablet on a virtual clock, and the model's 500 ms timer as events of that clock that
// reach the window through the GTK main loop. Nothing waits in real time: the test advances the
// clock and lets the main loop run what became due.

#include "CGtkDialogView.h"

#include "../unit/orchestration/SimTabletFixture.h"

#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CSRec.h"
#include "FWUpdater/DialogResource.h"
#include "ResourceUtils.h"
#include "StringUtils.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

namespace {

std::u16string English(int id_I)
{
    return ResourceUtils::LoadResourceString(static_cast<std::uint32_t>(id_I), 0x0009);
}

std::string EnglishUtf8(int id_I)
{
    return Utf16ToUtf8(English(id_I));
}

// The model's timer on the process clock: each period an event of the clock posts one tick to
// the main loop (ticks that pile up while the main loop is busy are merged, as timer messages are).
class CClockTicker : public CGtkTicker
{
public:
    ~CClockTicker() override { Stop(); }

    void Start(std::uint32_t periodMs_I, std::function<void()> tick_I) override
    {
        Stop();
        std::uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> lock(mShared->mutex);
            generation = ++mShared->generation;
            mShared->tick = std::move(tick_I);
            mShared->period = periodMs_I;
        }
        Arm(mShared, generation);
    }

    void Stop() override
    {
        std::lock_guard<std::mutex> lock(mShared->mutex);
        ++mShared->generation;
    }

private:
    struct Shared
    {
        std::mutex mutex;
        std::uint64_t generation = 0;
        std::uint32_t period = 0;
        bool posted = false;
        std::function<void()> tick;
    };

    static void Arm(std::shared_ptr<Shared> shared_I, std::uint64_t generation_I)
    {
        std::uint32_t period = 0;
        {
            std::lock_guard<std::mutex> lock(shared_I->mutex);
            period = shared_I->period;
        }
        GetClock()->scheduleAfter(period, [shared_I, generation_I] {
            bool post = false;
            {
                std::lock_guard<std::mutex> lock(shared_I->mutex);
                if (shared_I->generation != generation_I)
                    return;
                post = !shared_I->posted;
                shared_I->posted = true;
            }
            if (post) {
                RunOnMainLoop([shared_I, generation_I] {
                    std::function<void()> tick;
                    {
                        std::lock_guard<std::mutex> lock(shared_I->mutex);
                        shared_I->posted = false;
                        if (shared_I->generation != generation_I)
                            return;
                        tick = shared_I->tick;
                    }
                    tick();
                });
            }
            Arm(shared_I, generation_I);
        });
    }

    std::shared_ptr<Shared> mShared = std::make_shared<Shared>();
};

void Pump()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Saves what the window shows, rendered by its own renderer (no window-manager frame).
bool SaveWindowPng(GtkWindow* window_I, const std::string& path_I)
{
    GtkWidget* widget = GTK_WIDGET(window_I);
    const int width = gtk_widget_get_width(widget);
    const int height = gtk_widget_get_height(widget);
    GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(window_I));
    if (width <= 0 || height <= 0 || renderer == nullptr)
        return false;
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);

    bool saved = false;
    if (node != nullptr) {
        const graphene_rect_t area = GRAPHENE_RECT_INIT(0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height));
        GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &area);
        saved = texture != nullptr && gdk_texture_save_to_png(texture, path_I.c_str());
        g_object_unref(texture);
        gsk_render_node_unref(node);
    }
    g_object_unref(paintable);
    return saved;
}

// A window over a simulated scenario; the model shares the fixture's controller.
struct WindowFixture
{
    explicit WindowFixture(const std::string& scenario_I, std::u16string path_I = u"", std::u16string board_I = u"")
        : sim(scenario_I)
    {
        sim.mController->SetNotifier(nullptr);
        auto notifier = std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(sim.mLog), "memory", "\n",
                                                             ELogEncoding::eUtf8);
        model = std::make_unique<CMainDialogModel>(sim.mController, std::move(notifier), English, std::move(path_I),
                                                   std::move(board_I));
        model->SetAutoUpdateDirectory(SimTabletFixture::DataDir() + "/scenarios/" + scenario_I);
        view = std::make_unique<CGtkDialogView>(*model, std::make_unique<CClockTicker>(), CGtkDialogView::Settings{});
        view->SetFileChooserEnabled(false);
        view->SetMessageAnswerer([this](const GtkShownMessage&) { return answer; });
    }
    ~WindowFixture()
    {
        view.reset();
        model.reset();
        Pump();
    }

    // Lets the main loop run and virtual time pass, one 100 ms step at a time, until done_I
    // holds; bounded so that a hang fails instead of blocking.
    bool RunUntil(const std::function<bool()>& done_I, const std::function<void()>& eachStep_I = nullptr)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            Pump();
            if (eachStep_I)
                eachStep_I();
            if (done_I())
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            sim.mClock->advance(100);
            std::this_thread::yield();
        }
    }

    // The window has its size (mapping it is the X server's work, not a timed wait).
    bool WaitMapped()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (gtk_widget_get_width(GTK_WIDGET(view->Window())) <= 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            g_main_context_iteration(nullptr, FALSE);
            std::this_thread::yield();
        }
        Pump();
        return true;
    }

    bool UpdateOver()
    {
        const int state = model->GetState();
        // The outcome is shown once the worker has ended and a tick has seen it.
        const std::string status = view->LabelText(IDC_STATUS_TEXT);
        return (state == 5 || state == 6) && !model->IsUpdateRunning() &&
               (status == EnglishUtf8(IDS_PROGRAMMING_SUCCESSFUL) || status == EnglishUtf8(IDS_PROGRAMMING_FAILED));
    }

    SimTabletFixture sim;
    std::unique_ptr<CMainDialogModel> model;
    std::unique_ptr<CGtkDialogView> view;
    EMessageResult answer = EMessageResult::eOk;
};

bool IsChecksum(const std::string& text_I)
{
    return std::regex_match(text_I, std::regex("[0-9A-F]{8}"));
}

// Screenshots for scripts/gtk-screenshot.sh: saved when VFWU_GTK_SCREENSHOTS names a folder.
void Screenshot(CGtkDialogView& view_I, const char* name_I)
{
    const char* folder = std::getenv("VFWU_GTK_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0')
        return;
    std::filesystem::create_directories(folder);
    // What is saved is the last frame the window painted: wait for one painted after now
    // (painting is the X server's and the frame clock's work, not a timed wait).
    GtkWidget* window = GTK_WIDGET(view_I.Window());
    GdkFrameClock* frameClock = gtk_widget_get_frame_clock(window);
    ASSERT_NE(frameClock, nullptr);
    int painted = 0;
    const gulong handler = g_signal_connect(frameClock, "after-paint",
                                            G_CALLBACK(+[](GdkFrameClock*, gpointer count_I) { ++*static_cast<int*>(count_I); }),
                                            &painted);
    gtk_widget_queue_draw(window);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (painted < 2 && std::chrono::steady_clock::now() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        std::this_thread::yield();
    }
    g_signal_handler_disconnect(frameClock, handler);
    EXPECT_TRUE(SaveWindowPng(view_I.Window(), std::string(folder) + "/" + name_I)) << name_I;
}

} // namespace

TEST(GtkDialogView, ShowsTheTabletAndItsFirmware)
{
    WindowFixture w("basic");
    ASSERT_TRUE(w.view->Open());
    ASSERT_TRUE(w.WaitMapped());
    EXPECT_STREQ(gtk_window_get_title(w.view->Window()), "Vellum Firmware Update Utility 2.22");
    EXPECT_EQ(w.view->LabelText(IDC_TABLET_NAME), "Vellum Sim Tablet");
    EXPECT_EQ(w.view->LabelText(IDC_PEN_VERSION), "1.05");
    EXPECT_EQ(w.view->LabelText(IDC_TOUCH_VERSION), "1.05");
    EXPECT_EQ(w.view->LabelText(IDC_BLUETOOTH_VERSION), "Not Supported");
    EXPECT_EQ(w.view->LabelText(IDC_PEN_OLD_CHECKSUM), "N/A");
    EXPECT_EQ(w.view->LabelText(IDC_CHECKSUM), "N/A");
    EXPECT_EQ(w.view->UpdateTypeEntries(), (std::vector<std::string>{"Pen", "Touch"}));
    EXPECT_EQ(w.view->SelectedUpdateType(), 0);
    ASSERT_EQ(w.view->FileFilter().size(), 2u);
    EXPECT_EQ(w.view->FileFilter()[0].second, u"*.pen");
    EXPECT_EQ(w.view->FileFilter()[1].second, u"*.vel");
    EXPECT_TRUE(w.view->TimerRunning());
    EXPECT_TRUE(w.view->Messages().empty());
    // The first tick (state 0): everything usable but Program, which needs a file.
    ASSERT_TRUE(w.RunUntil([&] { return !w.view->IsEnabled(IDC_PROGRAM) && w.view->IsEnabled(IDC_BROWSE); }));
    EXPECT_TRUE(w.view->IsEnabled(IDC_UPDATE_TYPE));
    EXPECT_TRUE(w.view->CloseCommandEnabled());
    EXPECT_EQ(w.view->StatusClass(), "");
    EXPECT_TRUE(w.view->IsVisible(IDC_TABLET_NAME));
    EXPECT_FALSE(w.view->Result().has_value());
}

TEST(GtkDialogView, UpdateTypesAndFiles)
{
    struct Case
    {
        const char* what;
        int position;          // entry of the update-type list chosen first
        const char* file;      // in the scenario's folder
        const char* message;   // part of the error box, or null when the file is taken
        const char16_t* firstFilter;
    };
    const Case cases[] = {
        {"pen file for Pen", 0, "basic.pen", nullptr, u"*.pen"},
        {"touch file for Touch", 1, "basic.touch", nullptr, u"*.touch"},
        // The controller takes only the formats of the chosen board.
        {"touch file for Pen", 0, "basic.touch", "does not appear to be a valid firmware file", u"*.pen"},
        {"pen file for Touch", 1, "basic.pen", "does not appear to be a valid firmware file", u"*.touch"},
        {"no such file", 0, "missing.pen", "does not appear to be a valid firmware file", u"*.pen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowFixture w("basic");
        ASSERT_TRUE(w.view->Open());
        ASSERT_TRUE(w.RunUntil([&] { return w.view->IsEnabled(IDC_BROWSE); }));
        w.view->SelectUpdateType(c.position);
        EXPECT_EQ(w.view->SelectedUpdateType(), c.position);
        EXPECT_EQ(w.model->GetController().GetUpdateType(), c.position);
        ASSERT_FALSE(w.view->FileFilter().empty());
        EXPECT_EQ(w.view->FileFilter()[0].second, c.firstFilter);
        const std::string path = w.sim.ScenarioFile(c.file);
        w.view->ChooseFile(path);
        Pump();
        if (c.message == nullptr) {
            EXPECT_TRUE(w.view->Messages().empty());
            EXPECT_TRUE(w.view->IsEnabled(IDC_PROGRAM));
            EXPECT_EQ(w.view->LabelText(IDC_FILE_NAME), path);
            EXPECT_EQ(w.view->FileTooltip(), path);
            EXPECT_EQ(w.view->LabelText(IDC_CHECKSUM), "N/A");
        } else {
            ASSERT_EQ(w.view->Messages().size(), 1u);
            EXPECT_NE(Utf16ToUtf8(w.view->Messages()[0].text).find(c.message), std::string::npos)
                << Utf16ToUtf8(w.view->Messages()[0].text);
            EXPECT_EQ(w.view->Messages()[0].icon, EMessageIcon::eError);
            EXPECT_EQ(w.view->Messages()[0].caption, u"Vellum Firmware Update Utility");
            EXPECT_FALSE(w.view->IsEnabled(IDC_PROGRAM));
            EXPECT_EQ(w.view->LabelText(IDC_FILE_NAME), "");
        }
    }
}

TEST(GtkDialogView, InteractivePenUpdateThroughTheMainLoop)
{
    WindowFixture w("basic");
    ASSERT_TRUE(w.view->Open());
    ASSERT_TRUE(w.WaitMapped());
    w.view->ChooseFile(w.sim.ScenarioFile("basic.pen"));
    ASSERT_TRUE(w.RunUntil([&] { return w.model->GetState() == 1 && w.view->IsEnabled(IDC_PROGRAM); }));
    Screenshot(*w.view, "gtk-before.png");

    // Declined: nothing starts.
    w.answer = EMessageResult::eNo;
    w.view->PressProgram();
    ASSERT_EQ(w.view->Messages().size(), 1u);
    EXPECT_EQ(w.view->Messages()[0].buttons, EMessageButtons::eYesNo);
    EXPECT_EQ(Utf16ToUtf8(w.view->Messages()[0].text).rfind("You are about to update the firmware.", 0), 0u);
    w.sim.mClock->advance(1000);
    Pump();
    EXPECT_EQ(w.model->GetState(), 1);
    EXPECT_FALSE(w.model->IsUpdateRunning());
    EXPECT_TRUE(w.view->IsEnabled(IDC_PROGRAM));

    // Confirmed: the update runs; while busy the controls and the close button are off, and
    // neither closing nor Escape ends the window.
    w.answer = EMessageResult::eYes;
    w.view->PressProgram();
    EXPECT_FALSE(w.view->IsEnabled(IDC_PROGRAM));
    EXPECT_FALSE(w.view->CloseCommandEnabled());
    // (On virtual time the worker may finish between two ticks; the busy states' look is
    // checked on its own in BusyAndEndStatesAsTheStatusAreaShowsThem.)
    ASSERT_TRUE(w.RunUntil([&] { return w.UpdateOver(); })) << "state " << w.model->GetState();
    EXPECT_FALSE(w.view->Result().has_value());
    EXPECT_EQ(w.model->GetState(), 5) << w.sim.LogText();
    EXPECT_EQ(w.view->LabelText(IDC_STATUS_TEXT), "Programming Successful");
    EXPECT_EQ(w.view->StatusClass(), "vfwu-success");
    EXPECT_DOUBLE_EQ(w.view->ProgressFraction(), 1.0);
    // The labels were refreshed from the board.
    EXPECT_TRUE(IsChecksum(w.view->LabelText(IDC_CHECKSUM))) << w.view->LabelText(IDC_CHECKSUM);
    EXPECT_TRUE(IsChecksum(w.view->LabelText(IDC_PEN_NEW_CHECKSUM))) << w.view->LabelText(IDC_PEN_NEW_CHECKSUM);
    EXPECT_EQ(w.view->LabelText(IDC_PEN_NEW_CHECKSUM), w.view->LabelText(IDC_CHECKSUM));
    // basic.pen carries version 1.10 (the board had 1.05), and the board holds it.
    EXPECT_EQ(w.view->LabelText(IDC_PEN_VERSION), "1.10");
    CSRec image;
    ASSERT_TRUE(image.Load(w.sim.ScenarioFile("basic.pen")));
    EXPECT_TRUE(SimTabletFixture::FlashHolds(*w.sim.mBus.Board("pen"), image.GetBlocks()));
    // Usable again for a second update.
    ASSERT_TRUE(w.RunUntil([&] { return w.view->IsEnabled(IDC_PROGRAM); }));
    EXPECT_TRUE(w.view->CloseCommandEnabled());
    Screenshot(*w.view, "gtk-after.png");
    // Idle again: the close button ends the window with 2.
    EXPECT_FALSE(w.view->RequestClose());
    EXPECT_EQ(w.view->Result(), 2);
}

// What each update state looks like, with the state set on the notifier as the controller sets
// it (no worker runs, so every tick sees exactly the state given).
TEST(GtkDialogView, BusyAndEndStatesAsTheStatusAreaShowsThem)
{
    struct Case
    {
        int state;
        int progress;
        std::string status;      // status text after the tick
        const char* statusClass; // colour of the status area
        double fraction;         // progress bar
        bool controlsOn;         // Browse, update type and the close button
        std::optional<int> result;
    };
    const std::string programming = EnglishUtf8(IDS_PROGRAMMING);
    const Case cases[] = {
        {2, 0, EnglishUtf8(IDS_WAITING_FOR_LOADER), "vfwu-busy", 0.0, false, std::nullopt},
        {3, 40, programming + "..", "vfwu-busy", 0.4, false, std::nullopt},
        {4, 100, EnglishUtf8(IDS_WAITING_FOR_DEVICE), "vfwu-busy", 0.0, false, std::nullopt},
        {5, 100, EnglishUtf8(IDS_PROGRAMMING_SUCCESSFUL), "vfwu-success", 1.0, true, std::nullopt},
        {6, 30, EnglishUtf8(IDS_PROGRAMMING_FAILED), "vfwu-failure", 0.0, true, std::nullopt},
        {7, 0, "", "", 0.0, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("state " + std::to_string(c.state));
        WindowFixture w("basic");
        ASSERT_TRUE(w.view->Open());
        ASSERT_TRUE(w.RunUntil([&] { return w.view->IsEnabled(IDC_BROWSE); }));
        w.model->GetNotifier().ReportProgress(c.progress);
        w.model->GetNotifier().ReportState(c.state);
        w.sim.mClock->advance(500);
        Pump();
        EXPECT_EQ(w.view->Result(), c.result);
        if (c.result) {
            ASSERT_FALSE(w.view->Messages().empty());
            EXPECT_EQ(w.view->Messages().back().text, English(IDS_NO_TABLET));
            continue;
        }
        EXPECT_EQ(w.view->LabelText(IDC_STATUS_TEXT), c.status);
        EXPECT_EQ(w.view->StatusClass(), c.statusClass);
        EXPECT_DOUBLE_EQ(w.view->ProgressFraction(), c.fraction);
        EXPECT_EQ(w.view->IsEnabled(IDC_BROWSE), c.controlsOn);
        EXPECT_EQ(w.view->IsEnabled(IDC_UPDATE_TYPE), c.controlsOn);
        EXPECT_EQ(w.view->CloseCommandEnabled(), c.controlsOn);
        // Closing: refused while busy (the window stays, Escape does nothing), else result 2.
        w.view->Cancel();
        const bool stays = w.view->RequestClose();
        EXPECT_EQ(stays, !c.controlsOn);
        EXPECT_EQ(w.view->Result().has_value(), c.controlsOn);
        if (c.controlsOn) {
            EXPECT_EQ(w.view->Result(), 2);
        }
        // Back to idle, so that the fixture's teardown is not refused.
        w.model->GetNotifier().ReportState(0);
    }
}

TEST(GtkDialogView, UnattendedPenUpdateShowsTheStripAndEndsWithZero)
{
    WindowFixture w("basic", u"\\\\?\\hid#vid_ffff&pid_0100#8&sim0001&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", u"pen");
    ASSERT_TRUE(w.view->Open());
    EXPECT_TRUE(w.view->IsVisible(IDC_PROGRESS));
    EXPECT_TRUE(w.view->IsVisible(IDC_STATUS_TEXT));
    for (int id : {IDC_TABLET_NAME, IDC_PEN_VERSION, IDC_UPDATE_TYPE, IDC_BROWSE, IDC_PROGRAM, IDC_FILE_NAME})
        EXPECT_FALSE(w.view->IsVisible(id)) << id;
    ASSERT_TRUE(w.RunUntil([&] { return w.view->Result().has_value(); })) << "state " << w.model->GetState();
    EXPECT_EQ(w.view->Result(), 0) << w.sim.LogText();
    ASSERT_FALSE(w.view->Messages().empty());
    EXPECT_EQ(w.view->Messages().back().text, English(IDS_UPDATE_SUCCEEDED));
    EXPECT_EQ(w.view->Messages().back().icon, EMessageIcon::eInformation);
    EXPECT_EQ(w.view->LabelText(IDC_STATUS_TEXT), "Programming Successful");
    EXPECT_FALSE(w.view->TimerRunning());
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(w.view->Window())));
}

TEST(GtkDialogView, EndsWithOneWhenTheDialogCannotStart)
{
    struct Case
    {
        const char* what;
        std::u16string path;
        std::u16string board;
        bool unplug;
        int message;
    };
    const Case cases[] = {
        {"no tablet", u"", u"", true, IDS_NO_TABLET},
        {"unknown device path", u"\\\\?\\nothing", u"pen", false, IDS_TARGET_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WindowFixture w("basic", c.path, c.board);
        if (c.unplug) {
            for (const auto& board : w.sim.mBus.Boards())
                board->Unplug();
        }
        EXPECT_FALSE(w.view->Open());
        EXPECT_EQ(w.view->Result(), 1);
        ASSERT_EQ(w.view->Messages().size(), 1u);
        EXPECT_EQ(w.view->Messages()[0].text, English(c.message));
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(w.view->Window())));
    }
}

TEST(GtkDialogView, ClosingWhileIdleEndsWithTwo)
{
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "close button");
        WindowFixture w("basic");
        ASSERT_TRUE(w.view->Open());
        Pump();
        if (escape)
            w.view->Cancel();
        else
            EXPECT_FALSE(w.view->RequestClose());
        EXPECT_EQ(w.view->Result(), 2);
        EXPECT_FALSE(w.view->TimerRunning());
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
