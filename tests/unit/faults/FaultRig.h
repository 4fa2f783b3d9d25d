#pragma once
// A simulated tablet that outlives the updater: each Run is a fresh controller and log, as a new
// process of the updater would be, on the same bus and virtual clock.

#include "CSimBus.h"
#include "CSimUpdateController.h"
#include "Clock.h"
#include "LogUpdateNotifier.h"
#include "SimFaults.h"
#include "SimScenarios.h"
#include "TestSupport.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CSRec.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct FaultRunResult
{
    bool reported = false; // what UpdateDevice returned
    int state = -1;        // the notifier's last state
    int errorCode = 0;     // the notifier's last error code
    std::string log;

    bool HasLine(const std::string& line_I) const
    {
        const auto lines = SplitLines(log);
        return std::find(lines.begin(), lines.end(), line_I) != lines.end();
    }
    bool HasLineStartingWith(const std::string& prefix_I) const
    {
        for (const std::string& line : SplitLines(log)) {
            if (line.rfind(prefix_I, 0) == 0)
                return true;
        }
        return false;
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

class CFaultRig
{
public:
    explicit CFaultRig(const std::string& scenario_I)
        : mClock(std::make_shared<CVirtualClock>()), mScopedClock(mClock)
    {
        if (!GetSimScenario(scenario_I, DataDir(), mScenario))
            throw std::runtime_error("unknown scenario " + scenario_I);
        PlugInSimScenario(mScenario, mBus);
        CSRec image;
        if (!image.Load(UpdateFile()))
            throw std::runtime_error("cannot load " + UpdateFile());
        mImage = image.GetBlocks();
    }

    ~CFaultRig() { mBus.SetInterfaceEventSink(nullptr); }

    static std::string DataDir() { return std::string(VFWU_SOURCE_DIR) + "/data"; }
    std::string ScenarioDir() const { return DataDir() + "/scenarios/" + mScenario.name; }
    std::string UpdateFile() const
    {
        const std::string file = mScenario.name == "protocol1" ? "protocol1.pen" : mScenario.name == "bulk" ? "bulk.pen" : "basic.pen";
        return ScenarioDir() + "/" + file;
    }
    const std::vector<SRecBlock>& Image() const { return mImage; }
    std::shared_ptr<CSimBoard> Board(std::size_t tablet_I = 0) const { return mBus.Board("pen", tablet_I); }
    std::shared_ptr<CSimBoard> Board(const std::string& name_I, std::size_t tablet_I) const
    {
        return mBus.Board(name_I, tablet_I);
    }

    // One run of the updater on the pen board of one tablet. before_I runs once the device list
    // is read and the file accepted, just before UpdateDevice (to arm faults on a known count
    // of reports).
    FaultRunResult Run(std::size_t tablet_I = 0, const std::function<void()>& before_I = nullptr)
    {
        return Run("pen", tablet_I, before_I);
    }

    // The same for any board: the file is the one the tablet's description names for it.
    FaultRunResult Run(const std::string& boardName_I, std::size_t tablet_I, const std::function<void()>& before_I)
    {
        auto log = std::make_shared<CMemoryLogFile::Contents>();
        auto controller = std::make_shared<CSimUpdateController>(mBus.Host(), mScenario.topologyPath);
        CLogUpdateNotifier notifier(std::make_unique<CMemoryLogFile>(log), "memory", "\n", ELogEncoding::eUtf8);
        controller->SetNotifier(&notifier);
        std::weak_ptr<CSimUpdateController> weak = controller;
        mBus.SetInterfaceEventSink([weak](bool arrival, const std::string& path) {
            if (auto c = weak.lock())
                arrival ? c->OnInterfaceAttached(path) : c->OnInterfaceDetached(path);
        });
        FaultRunResult result;
        controller->UpdateDeviceList();
        const auto board = Board(boardName_I, tablet_I);
        if (board && mBus.Boards().size() > 1)
            controller->SelectDeviceByPath(board->CurrentPath());
        const int type = board ? board->Spec().board : 0;
        const auto device = controller->GetCurrentDevice();
        const std::string file = device && !device->mUpdate[type].empty() ? ScenarioDir() + "/" + device->mUpdate[type]
                                                                          : UpdateFile();
        controller->SetUpdateType(type);
        if (controller->ProcessUpdateFile(file)) {
            if (before_I)
                before_I();
            result.reported = controller->UpdateDevice();
        }
        mBus.SetInterfaceEventSink(nullptr);
        controller->SetNotifier(nullptr);
        result.state = notifier.GetState();
        result.errorCode = notifier.GetLastErrorCode();
        {
            std::lock_guard<std::mutex> lock(log->mMutex);
            result.log = log->mText;
        }
        // Whatever the board was doing (re-enumerating, coming back) finishes before the next run.
        mClock->advance(5000);
        return result;
    }

    // The board holds the image, its committed checksums and magic word check out, and it runs
    // its application: what a reported success must mean.
    bool BoardUpdated(std::size_t tablet_I = 0) const { return BoardUpdated("pen", tablet_I); }

    bool BoardUpdated(const std::string& boardName_I, std::size_t tablet_I) const
    {
        const auto board = Board(boardName_I, tablet_I);
        if (!board || !board->IsPowered() || board->InLoader())
            return false;
        if (const auto image = board->ImageLoader()) {
            // The flash a fault-free update leaves, whole.
            return image->ImageValid() &&
                   image->Flash(0, image->FlashSize()) == ReferenceFlash(mScenario.name, boardName_I, tablet_I);
        }
        if (!board->Loader().ApplicationValid())
            return false;
        CSRec source;
        if (!source.Load(ImageFileOf(boardName_I)))
            return false;
        for (const SRecBlock& block : source.GetBlocks()) {
            for (std::size_t i = 0; i < block.data.size(); ++i) {
                if (board->Loader().FlashByte(block.address + static_cast<std::uint32_t>(i)) != block.data[i])
                    return false;
            }
        }
        return true;
    }

    // Why BoardUpdated is false, for a failure message ("" when it is true).
    std::string WhyNotUpdated(const std::string& boardName_I, std::size_t tablet_I) const
    {
        const auto board = Board(boardName_I, tablet_I);
        if (!board || !board->IsPowered())
            return "the board has no power";
        if (board->InLoader())
            return "the board runs its loader";
        if (const auto image = board->ImageLoader()) {
            if (!image->ImageValid())
                return "the image is not whole";
            const auto reference = ReferenceFlash(mScenario.name, boardName_I, tablet_I);
            const auto flash = image->Flash(0, image->FlashSize());
            for (std::size_t i = 0; i < flash.size() && i < reference.size(); ++i) {
                if (flash[i] != reference[i])
                    return "flash differs at 0x" + HexByteText(static_cast<std::uint32_t>(i));
            }
            return "";
        }
        if (!board->Loader().ApplicationValid())
            return "the committed checksums or magic word do not check out";
        CSRec source;
        if (!source.Load(ImageFileOf(boardName_I)))
            return "cannot load the image file";
        for (const SRecBlock& block : source.GetBlocks()) {
            for (std::size_t i = 0; i < block.data.size(); ++i) {
                const std::uint32_t address = block.address + static_cast<std::uint32_t>(i);
                if (board->Loader().FlashByte(address) != block.data[i])
                    return "flash differs at 0x" + HexByteText(address) + ": " +
                           HexByteText(board->Loader().FlashByte(address)) + " instead of " + HexByteText(block.data[i]);
            }
        }
        return "";
    }

    static std::string HexByteText(std::uint32_t value_I)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%X", value_I);
        return text;
    }

    // The S-record file a board is updated with.
    std::string ImageFileOf(const std::string& boardName_I) const
    {
        if (boardName_I == "pen")
            return UpdateFile();
        return ScenarioDir() + "/basic.touch";
    }

    static std::vector<std::uint8_t> ReferenceFlash(const std::string& scenario_I, const std::string& board_I,
                                                    std::size_t tablet_I)
    {
        static std::map<std::string, std::vector<std::uint8_t>> cache;
        const std::string key = scenario_I + "/" + board_I + "/" + std::to_string(tablet_I);
        auto it = cache.find(key);
        if (it != cache.end())
            return it->second;
        CFaultRig clean(scenario_I);
        const FaultRunResult run = clean.Run(board_I, tablet_I, nullptr);
        const auto image = clean.Board(board_I, tablet_I)->ImageLoader();
        std::vector<std::uint8_t> flash;
        if (run.reported && image)
            flash = image->Flash(0, image->FlashSize());
        return cache[key] = flash;
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

    std::shared_ptr<CVirtualClock> mClock;
    CScopedClock mScopedClock;
    SimScenario mScenario;
    CSimBus mBus;
    std::vector<SRecBlock> mImage;
};
