#include "CSimBus.h"

#include "Clock.h"
#include "FWUpdater/CDiscovery.h"

#include <mutex>

CSimBoard::CSimBoard(std::shared_ptr<CSimHost> host_I, SimBoardSpec spec_I)
    : mHost(std::move(host_I)), mSpec(std::move(spec_I))
{
    SimSRecLoaderConfig config = mSpec.srec;
    config.startInLoader = false;
    mLoader = std::make_shared<CSimSRecLoader>(config);
    for (std::size_t i = 0; i < config.blocks.size(); ++i) {
        const SimLoaderBlock& block = config.blocks[i];
        std::vector<std::uint8_t> bytes;
        for (const SRecBlock& segment : mSpec.factoryImage) {
            for (std::size_t k = 0; k < segment.data.size(); ++k) {
                const std::uint64_t address = std::uint64_t(segment.address) + k;
                if (address < block.address || address >= std::uint64_t(block.address) + block.size)
                    continue;
                if (bytes.empty())
                    bytes.assign(block.size, 0xFF);
                bytes[address - block.address] = segment.data[k];
            }
        }
        if (!bytes.empty())
            mLoader->SetBlockContents(i, bytes);
    }
    mLoader->InstallApplication();
    CSimFaultInjector::Actions actions;
    actions.unplug = [this] {
        Unplug();
        if (mInjector->Spec().replugMs >= 0)
            ScheduleAction(static_cast<std::uint32_t>(mInjector->Spec().replugMs), &CSimBoard::PlugIn);
    };
    actions.powerLoss = [this] {
        PowerOff();
        if (mInjector->Spec().powerBackMs >= 0)
            ScheduleAction(static_cast<std::uint32_t>(mInjector->Spec().powerBackMs), &CSimBoard::PowerOn);
    };
    // The erase report of either protocol type (type 1 adds 0xC1 to the id).
    const std::uint8_t eraseId = mSpec.srec.protocolType == 1 ? 0x12 + 0xC1 : 0x12;
    actions.startsBusy = [eraseId](std::uint8_t id) { return id == eraseId; };
    mInjector = std::make_shared<CSimFaultInjector>(mLoader, std::move(actions));
    mLoader->SetOnEnterLoader([this] { OnEnterLoader(); });
    mLoader->SetOnExitLoader([this](bool started) { OnExitLoader(started); });
}

bool CSimBoard::UsesLoaderNode() const
{
    return mSpec.intoBLMode && mLoader->InLoader();
}

std::uint16_t CSimBoard::FlashVersion() const
{
    return static_cast<std::uint16_t>(mLoader->FlashByte(mSpec.versionAddress) |
                                      (mLoader->FlashByte(mSpec.versionAddress + 1) << 8));
}

SimHidNodeInfo CSimBoard::NodeInfo(bool loader_I) const
{
    const SimInterfaceSpec& spec = loader_I ? mSpec.loader : mSpec.normal;
    SimHidNodeInfo info;
    info.path = spec.path;
    info.vendorId = mSpec.vendorId != 0 ? mSpec.vendorId : static_cast<std::uint16_t>(DefaultVendorId());
    info.productId = spec.productId;
    // A loader reports no application version; the application reports the one in its flash.
    info.version = mLoader->InLoader() ? 0 : FlashVersion();
    info.usagePage = spec.usagePage;
    info.usage = spec.usage;
    info.parentIds = spec.parentIds;
    return info;
}

std::string CSimBoard::CurrentPath() const
{
    return UsesLoaderNode() ? mSpec.loader.path : mSpec.normal.path;
}

bool CSimBoard::IsPluggedIn() const
{
    return mHost->IsPresent(CurrentPath());
}

void CSimBoard::PlugIn()
{
    if (!mPowered || IsPluggedIn())
        return;
    mHost->AddNode(NodeInfo(UsesLoaderNode()), mInjector);
}

void CSimBoard::Unplug()
{
    ++mEpoch;
    mHost->RemoveNode(mSpec.normal.path);
    if (mSpec.intoBLMode)
        mHost->RemoveNode(mSpec.loader.path);
}

void CSimBoard::PowerCycle()
{
    PowerOff();
    PowerOn();
}

void CSimBoard::PowerOff()
{
    Unplug();
    mPowered = false;
}

void CSimBoard::PowerOn()
{
    if (mPowered)
        return;
    mPowered = true;
    mLoader->PowerCycle();
    PlugIn();
}

void CSimBoard::SetFaults(const SimFaultSpec& spec_I, std::uint64_t stream_I)
{
    mInjector->Arm(spec_I, stream_I);
}

void CSimBoard::ClearFaults()
{
    mInjector->Disarm();
}

void CSimBoard::RestoreState(const std::vector<std::vector<std::uint8_t>>& flash_I,
                             const std::vector<std::uint32_t>& checksums_I, std::uint32_t magic_I, bool inLoader_I)
{
    Unplug();
    for (std::size_t i = 0; i < flash_I.size() && i < mSpec.srec.blocks.size(); ++i)
        mLoader->SetBlockContents(i, flash_I[i]);
    mLoader->RestoreCommitted(checksums_I, magic_I, inLoader_I);
    mPowered = true;
    PlugIn();
}

void CSimBoard::ScheduleNode(std::uint32_t delayMs_I, const SimHidNodeInfo& info_I)
{
    std::weak_ptr<CSimBoard> self = weak_from_this();
    const std::uint64_t epoch = mEpoch;
    GetClock()->scheduleAfter(delayMs_I, [self, epoch, info_I]() {
        auto board = self.lock();
        if (board && board->mPowered && board->mEpoch == epoch)
            board->mHost->AddNode(info_I, board->mInjector);
    });
}

void CSimBoard::ScheduleAction(std::uint32_t delayMs_I, void (CSimBoard::*action_I)())
{
    std::weak_ptr<CSimBoard> self = weak_from_this();
    const std::uint64_t epoch = mEpoch;
    GetClock()->scheduleAfter(delayMs_I, [self, epoch, action_I]() {
        auto board = self.lock();
        if (board && board->mEpoch == epoch)
            ((*board).*action_I)();
    });
}

void CSimBoard::OnEnterLoader()
{
    if (!mSpec.intoBLMode) {
        mHost->UpdateNodeInfo(NodeInfo(false));
        return;
    }
    // The application resets into its loader: the normal device leaves now, the loader device
    // arrives once it has enumerated.
    ++mReenumerations;
    mHost->RemoveNode(mSpec.normal.path);
    ScheduleNode(mSpec.reenumerateMs, NodeInfo(true));
}

void CSimBoard::OnExitLoader(bool started_I)
{
    if (!mSpec.intoBLMode) {
        mHost->UpdateNodeInfo(NodeInfo(false));
        return;
    }
    // The loader resets the board either way; it comes back as the application only when the
    // start-up check accepts the flash, and otherwise as its loader again.
    ++mReenumerations;
    mHost->RemoveNode(mSpec.loader.path);
    ScheduleNode(mSpec.reenumerateMs, NodeInfo(!started_I));
}

CSimBus::CSimBus(std::shared_ptr<CSimHost> host_I)
    : mHost(std::move(host_I)), mSink(std::make_shared<Sink>())
{
    std::weak_ptr<Sink> weak = mSink;
    mHost->AddListener([weak](const SimHostEvent& event_I) {
        auto sink = weak.lock();
        if (!sink)
            return;
        std::function<void(bool, const std::string&)> target;
        {
            std::lock_guard<std::mutex> lock(sink->mMutex);
            target = sink->mTarget;
        }
        if (target)
            target(event_I.kind == SimHostEvent::eArrival, event_I.node.path);
    });
}

std::shared_ptr<CSimBoard> CSimBus::AddBoard(SimBoardSpec spec_I)
{
    auto board = std::make_shared<CSimBoard>(mHost, std::move(spec_I));
    mBoards.push_back(board);
    board->PlugIn();
    return board;
}

std::shared_ptr<CSimBoard> CSimBus::Board(const std::string& name_I, std::size_t tablet_I) const
{
    std::size_t seen = 0;
    for (const auto& board : mBoards) {
        if (board->Spec().name == name_I && seen++ == tablet_I)
            return board;
    }
    return nullptr;
}

void CSimBus::SetInterfaceEventSink(std::function<void(bool arrival, const std::string& path)> sink_I)
{
    std::lock_guard<std::mutex> lock(mSink->mMutex);
    mSink->mTarget = std::move(sink_I);
}

void CSimBus::SetFaults(const SimFaultSpec& spec_I)
{
    for (std::size_t i = 0; i < mBoards.size(); ++i)
        mBoards[i]->SetFaults(spec_I, i);
}

void CSimBus::ClearFaults()
{
    for (const auto& board : mBoards)
        board->ClearFaults();
}

SimFaultStats CSimBus::FaultStats() const
{
    SimFaultStats total;
    for (const auto& board : mBoards)
        total += board->FaultStats();
    return total;
}
