#pragma once
// A simulated scenario that outlives the updater: each Open/Run is a new controller and log, as a new process.

#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "Clock.h"
#include "LogUpdateNotifier.h"
#include "SimFaults.h"
#include "SimScenarios.h"
#include "TestSupport.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CSRec.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

struct FaultRunResult
{
    bool reported = false;
    int state = -1;
    int errorCode = 0;
    std::string log;

    // Index of the first line starting with prefix_I at or after from_I, or -1.
    int Find(const std::string& prefix_I, int from_I = 0) const
    {
        const auto lines = SplitLines(log);
        for (std::size_t i = static_cast<std::size_t>(std::max(from_I, 0)); i < lines.size(); ++i) {
            if (lines[i].rfind(prefix_I, 0) == 0)
                return static_cast<int>(i);
        }
        return -1;
    }
    std::vector<int> States() const
    {
        std::vector<int> states;
        for (const std::string& line : SplitLines(log)) {
            if (line.rfind("[STATE] ", 0) == 0)
                states.push_back(std::stoi(line.substr(8)));
        }
        return states;
    }
};

inline SimFaultSpec Parsed(const std::string& text_I)
{
    SimFaultSpec spec;
    std::string error;
    EXPECT_TRUE(ParseSimFaultSpec(text_I, spec, error)) << text_I << ": " << error;
    return spec;
}

// "" when the board's flash holds the blocks, else where not (Airoha loaders keep 0x3000-0x7FFF).
inline std::string FlashDifference(const CSimBoard& board_I, const std::vector<SRecBlock>& blocks_I)
{
    const auto& image = board_I.ImageLoader();
    for (const SRecBlock& block : blocks_I) {
        for (std::uint32_t at = block.address; at < block.address + block.data.size(); ++at) {
            const bool kept = image && block.address == 0 && at >= 0x3000 && at < 0x8000;
            const std::uint8_t byte = image ? image->FlashByte(at) : board_I.Loader().FlashByte(at);
            if (!kept && byte != block.data[at - block.address])
                return "flash differs at " + std::to_string(at);
        }
    }
    return "";
}

// Intel HEX images sit at 0x8000.
inline std::string FlashDifference(const CSimBoard& board_I, const std::string& file_I)
{
    CSRec source;
    if (!source.Load(file_I))
        return "cannot load " + file_I;
    if (const auto hex = source.GetIntelHexData(); source.GetFileType() == eFormatIntelHex)
        return FlashDifference(board_I, {{0x8000, {hex->GetImage(), hex->GetImage() + hex->GetDataLength()}}});
    if (const auto airoha = source.GetAiroFlashData(); source.GetFileType() == eFormatAiroFlash)
        return FlashDifference(board_I, {{0, {airoha->GetBuffer(), airoha->GetBuffer() + airoha->GetSize()}}});
    return FlashDifference(board_I, source.GetBlocks());
}

inline std::string Tail(const std::string& log_I)
{
    return log_I.substr(log_I.size() > 20000 ? log_I.size() - 20000 : 0);
}

class CFaultRig
{
public:
    // adjust_I may change the scenario (boards, topology path) before its boards are plugged in.
    explicit CFaultRig(const std::string& scenario_I, const std::function<void(SimScenario&)>& adjust_I = nullptr)
        : mClock(std::make_shared<CVirtualClock>()), mScopedClock(mClock)
    {
        if (!GetSimScenario(scenario_I, DataDir(), mScenario))
            throw std::runtime_error("unknown scenario " + scenario_I);
        if (adjust_I)
            adjust_I(mScenario);
        PlugInSimScenario(mScenario, mBus);
    }
    ~CFaultRig() { Close(); }

    static std::string DataDir() { return std::string(VFWU_SOURCE_DIR) + "/data"; }
    std::string ScenarioFile(const std::string& name_I) const
    {
        return DataDir() + "/scenarios/" + mScenario.name + "/" + name_I;
    }
    std::shared_ptr<CSimBoard> Board(const std::string& name_I = "pen", std::size_t tablet_I = 0) const
    {
        return mBus.Board(name_I, tablet_I);
    }

    void Open()
    {
        Close();
        mLog = std::make_shared<CMemoryLogFile::Contents>();
        mController = std::make_shared<CSimUpdateController>(mBus.Host(), mScenario.topologyPath);
        mNotifier = std::make_unique<CLogUpdateNotifier>(std::make_unique<CMemoryLogFile>(mLog), "memory", "\n",
                                                         ELogEncoding::eUtf8);
        mController->SetNotifier(mNotifier.get());
        std::weak_ptr<CSimUpdateController> weak = mController;
        mBus.SetInterfaceEventSink([weak](bool arrival, const std::string& path) {
            if (auto c = weak.lock())
                arrival ? c->OnInterfaceAttached(path) : c->OnInterfaceDetached(path);
        });
    }

    FaultRunResult Current(bool reported_I = false) const
    {
        // The notifier's lock is taken before the log's when it writes: never the other way round.
        FaultRunResult result{reported_I, mNotifier->GetState(), mNotifier->GetLastErrorCode(), {}};
        std::lock_guard<std::mutex> lock(mLog->mMutex);
        result.log = mLog->mText;
        return result;
    }

    bool Prepare(const std::string& boardName_I = "pen", std::size_t tablet_I = 0)
    {
        Open();
        mController->UpdateDeviceList();
        const auto board = Board(boardName_I, tablet_I);
        if (board && mBus.Boards().size() > 1)
            mController->SelectDeviceByPath(board->CurrentPath());
        mController->SetUpdateType(board ? board->Spec().board : 0);
        return mController->ProcessUpdateFile(UpdateFileOf(boardName_I));
    }

    // One run of the updater; before_I runs just before UpdateDevice (to arm faults by report count).
    FaultRunResult Run(const std::string& boardName_I = "pen", std::size_t tablet_I = 0,
                       const std::function<void()>& before_I = nullptr)
    {
        bool reported = false;
        if (Prepare(boardName_I, tablet_I)) {
            if (before_I)
                before_I();
            reported = mController->UpdateDevice();
        }
        const FaultRunResult result = Current(reported);
        Close();
        // Whatever the board was doing (re-enumerating, coming back) finishes before the next run.
        mClock->advance(5000);
        return result;
    }

    void Close()
    {
        mBus.SetInterfaceEventSink(nullptr);
        if (mController)
            mController->SetNotifier(nullptr);
    }

    // What a reported success must mean: "" when the board runs a whole, valid image.
    std::string WhyNotUpdated(const std::string& boardName_I = "pen", std::size_t tablet_I = 0) const
    {
        const auto board = Board(boardName_I, tablet_I);
        if (!board || !board->IsPowered())
            return "the board has no power";
        if (board->InLoader())
            return "the board runs its loader";
        if (board->ImageLoader() ? !board->ImageLoader()->ImageValid() : !board->Loader().ApplicationValid())
            return "the image, its checksums or magic word do not check out";
        return FlashDifference(*board, UpdateFileOf(boardName_I));
    }
    // The scenario's file for a board (two-tablets holds two basic tablets).
    std::string UpdateFileOf(const std::string& boardName_I) const
    {
        const std::string stem = mScenario.name == "two-tablets" ? "basic" : mScenario.name;
        return ScenarioFile(stem + (boardName_I == "pen"         ? ".pen"
                                    : boardName_I == "bluetooth" ? ".airoflash"
                                    : stem == "basic"            ? ".touch"
                                                                 : ".hex"));
    }

    // The user puts things right: power back, cable back, faults gone.
    void Restore()
    {
        mBus.ClearFaults();
        for (const auto& board : mBus.Boards()) {
            board->PowerOn();
            board->PlugIn();
        }
        mClock->advance(30000);
    }

    // 1-based number of the k-th (k < 0: from the end) report of this id in a fault-free pen update.
    static std::int64_t NthReport(const std::string& scenario_I, std::uint8_t id_I, ESimWireDirection direction_I,
                                  int k_I)
    {
        CFaultRig clean(scenario_I);
        EXPECT_TRUE(clean.Run("pen", 0, [&] { clean.mBus.Host()->ClearTranscript(); }).reported);
        std::vector<std::int64_t> numbers;
        const auto records = clean.mBus.Host()->Transcript();
        for (std::size_t i = 0; i < records.size(); ++i) {
            const auto& bytes = records[i].bytes;
            // The vendor page wraps the loader's reports.
            const int id = bytes.size() > 3 && bytes[0] == 0xDC ? bytes[3] : bytes.empty() ? -1 : bytes[0];
            if (records[i].direction == direction_I && id == id_I)
                numbers.push_back(static_cast<std::int64_t>(i) + 1);
        }
        const int index = k_I < 0 ? static_cast<int>(numbers.size()) + k_I : k_I;
        EXPECT_TRUE(index >= 0 && index < static_cast<int>(numbers.size())) << "no such report";
        return index >= 0 && index < static_cast<int>(numbers.size()) ? numbers[static_cast<std::size_t>(index)] : 0;
    }

    std::shared_ptr<CVirtualClock> mClock;
    CScopedClock mScopedClock;
    SimScenario mScenario;
    CSimBus mBus;
    std::shared_ptr<CSimUpdateController> mController;
    std::shared_ptr<CMemoryLogFile::Contents> mLog;
    std::unique_ptr<CLogUpdateNotifier> mNotifier;
};
