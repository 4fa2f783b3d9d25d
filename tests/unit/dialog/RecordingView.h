#pragma once
// A main-dialog view that records what the model shows; the model over a simulated scenario.

#include "../orchestration/SimTabletFixture.h"

#include "FWUpdater/CMainDialogModel.h"
#include "FWUpdater/CUpdateWorker.h"
#include "ResourceUtils.h"

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct ShownMessage
{
    std::u16string text;
    std::u16string caption;
    EMessageIcon icon;
};

class CRecordingView : public CMainDialogView
{
public:
    void SetWindowTitle(const std::u16string&) override {}
    void SetControlText(int id_I, const std::u16string& text_I) override { mTexts[id_I] = text_I; }
    void EnableControl(int id_I, bool enable_I) override
    {
        if (enable_I)
            mDisabled.erase(id_I);
        else
            mDisabled.insert(id_I);
    }
    void EnableCloseCommand(bool) override {}
    void SetProgress(int) override {}
    void SetProgressRange(int, int) override {}
    void RefreshStatus() override {}
    EMessageResult ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I,
                               EMessageButtons buttons_I) override
    {
        mMessages.push_back({text_I, caption_I, icon_I});
        return buttons_I == EMessageButtons::eYesNo ? mAnswer : EMessageResult::eOk;
    }
    void EndDialog(int result_I) override { mResults.push_back(result_I); }
    void StartTimer(std::uint32_t periodMs_I) override { mTimerMs = periodMs_I; }
    void StopTimer() override { mTimerMs = 0; }
    void SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int) override { mEntries = entries_I; }
    void SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I) override { mFilter = filter_I; }
    void AttachFileTooltip(const std::u16string&) override {}
    void ShowStatusStrip() override { mStatusStrip = true; }
    bool ActivateOtherInstance(const std::u16string&) override { return mOtherInstance; }
    bool RegisterHidNotifications() override { return mRegisterOk; }
    bool RegisterTabletNotifications() override { return mRegisterOk; }

    std::u16string Text(int id_I) const { return mTexts.count(id_I) != 0 ? mTexts.at(id_I) : std::u16string(); }
    bool Enabled(int id_I) const { return mDisabled.count(id_I) == 0; }
    bool Ended() const { return !mResults.empty(); }

    std::map<int, std::u16string> mTexts;
    std::set<int> mDisabled;
    std::vector<ShownMessage> mMessages;
    EMessageResult mAnswer = EMessageResult::eYes;
    std::vector<int> mResults;
    std::uint32_t mTimerMs = 0;
    std::vector<std::u16string> mEntries;
    std::vector<std::pair<std::u16string, std::u16string>> mFilter;
    bool mStatusStrip = false;
    bool mOtherInstance = false;
    bool mRegisterOk = true;
};

inline std::u16string English(int id_I)
{
    return ResourceUtils::LoadResourceString(static_cast<std::uint32_t>(id_I), 0x0009);
}

// The pen board takes ten minutes to come back in its loader.
inline void SlowLoader(SimScenario& scenario_I)
{
    scenario_I.boards[0].reenumerateMs = 10 * 60 * 1000;
}

struct DialogFixture
{
    explicit DialogFixture(const std::string& scenario_I, std::u16string path_I = u"", std::u16string board_I = u"",
                           std::function<void(SimScenario&)> adjust_I = nullptr)
        : sim(scenario_I, std::move(adjust_I))
    {
        sim.mController->SetNotifier(nullptr);
        auto notifier = std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(sim.mLog), "memory", "\n",
                                                             ELogEncoding::eUtf8);
        model = std::make_unique<CMainDialogModel>(sim.mController, std::move(notifier), English, std::move(path_I),
                                                   std::move(board_I));
        model->SetAutoUpdateDirectory(SimTabletFixture::DataDir() + "/scenarios/" + scenario_I);
    }
    ~DialogFixture()
    {
        model.reset();
        // A worker the dialog left running still uses the simulated bus: it ends before the bus goes.
        CUpdateWorker::JoinStragglers();
    }

    // Timer ticks until the dialog ends or the update is over, bounded so that a hang fails.
    void TickUntilSettled()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!view.Ended() && view.mTimerMs != 0 && std::chrono::steady_clock::now() < deadline) {
            model->OnTimer(view);
            if ((model->GetState() >= 5 || model->GetState() == 0) && !model->IsUpdateRunning()) {
                if (view.mTimerMs != 0 && !view.Ended())
                    model->OnTimer(view);
                return;
            }
            std::this_thread::yield();
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the update did not settle";
    }

    SimTabletFixture sim;
    std::unique_ptr<CMainDialogModel> model;
    CRecordingView view;
};
