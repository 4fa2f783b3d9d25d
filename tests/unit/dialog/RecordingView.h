#pragma once
// A main-dialog view that records what the model shows, and answers message boxes as told.

#include "FWUpdater/CMainDialogModel.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct ShownMessage
{
    std::u16string text;
    std::u16string caption;
    EMessageIcon icon;
    EMessageButtons buttons;
};

class CRecordingView : public CMainDialogView
{
public:
    void SetWindowTitle(const std::u16string& title_I) override { mTitle = title_I; }
    void SetControlText(int id_I, const std::u16string& text_I) override { mTexts[id_I] = text_I; }
    void EnableControl(int id_I, bool enable_I) override
    {
        if (enable_I)
            mDisabled.erase(id_I);
        else
            mDisabled.insert(id_I);
    }
    void EnableCloseCommand(bool enable_I) override { mCloseEnabled = enable_I; }
    void SetProgress(int position_I) override { mProgress.push_back(position_I); }
    void SetProgressRange(int low_I, int high_I) override { mRange = {low_I, high_I}; }
    void RefreshStatus() override { ++mRefreshes; }
    EMessageResult ShowMessage(const std::u16string& text_I, const std::u16string& caption_I, EMessageIcon icon_I,
                               EMessageButtons buttons_I) override
    {
        mMessages.push_back({text_I, caption_I, icon_I, buttons_I});
        return buttons_I == EMessageButtons::eYesNo ? mAnswer : EMessageResult::eOk;
    }
    void EndDialog(int result_I) override { mResults.push_back(result_I); }
    void StartTimer(std::uint32_t periodMs_I) override { mTimerMs = periodMs_I; }
    void StopTimer() override { mTimerMs = 0; }
    void SetUpdateTypeEntries(const std::vector<std::u16string>& entries_I, int selected_I) override
    {
        mEntries = entries_I;
        mSelected = selected_I;
    }
    void SetFileFilter(const std::vector<std::pair<std::u16string, std::u16string>>& filter_I) override { mFilter = filter_I; }
    void AttachFileTooltip(const std::u16string& path_I) override { mTooltip = path_I; }
    void ShowStatusStrip() override { mStatusStrip = true; }
    bool ActivateOtherInstance(const std::u16string&) override { return mOtherInstance; }
    bool RegisterHidNotifications() override { return mRegisterOk; }
    bool RegisterTabletNotifications() override { return mRegisterOk; }

    std::u16string Text(int id_I) const { return mTexts.count(id_I) != 0 ? mTexts.at(id_I) : std::u16string(); }
    bool Enabled(int id_I) const { return mDisabled.count(id_I) == 0; }
    bool Ended() const { return !mResults.empty(); }

    std::u16string mTitle;
    std::map<int, std::u16string> mTexts;
    std::set<int> mDisabled;
    bool mCloseEnabled = true;
    std::vector<int> mProgress;
    std::pair<int, int> mRange {0, 0};
    int mRefreshes = 0;
    std::vector<ShownMessage> mMessages;
    EMessageResult mAnswer = EMessageResult::eYes;
    std::vector<int> mResults;
    std::uint32_t mTimerMs = 0;
    std::vector<std::u16string> mEntries;
    int mSelected = -1;
    std::vector<std::pair<std::u16string, std::u16string>> mFilter;
    std::u16string mTooltip;
    bool mStatusStrip = false;
    bool mOtherInstance = false;
    bool mRegisterOk = true;
};
