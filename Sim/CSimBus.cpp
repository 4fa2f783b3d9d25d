#include "CSimBus.h"

#include "Clock.h"
#include "FWUpdater/CDiscovery.h"

#include <mutex>

CSimApplicationGate::CSimApplicationGate(std::shared_ptr<CSimImageLoader> loader_I) : mLoader(std::move(loader_I))
{
    mLoader->SetOnExitLoader([this] {
        mInLoader = !mLoader->ImageValid();
        if (mOnModeChange)
            mOnModeChange();
    });
}

bool CSimApplicationGate::SetFeature(const std::vector<std::uint8_t>& r)
{
    if (mInLoader)
        return mLoader->SetFeature(r);
    if (r.size() == 3 && r[0] == 0xCC && r[1] == 0x05 && r[2] == 0x6A) {
        mEnterFirstSeen = true;
        return true;
    }
    if (r.size() == 3 && r[0] == 0xCC && r[1] == 0x6A && r[2] == 0x05 && mEnterFirstSeen) {
        mEnterFirstSeen = false;
        mInLoader = true;
        if (mOnModeChange)
            mOnModeChange();
        return true;
    }
    if (r.size() == 2 && r[0] == 0x02)
        return true;
    return r == std::vector<std::uint8_t>{0x08, 0x01, 0x00, 0xAA, 0xAA};
}

bool CSimApplicationGate::GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O)
{
    return mInLoader && mLoader->GetFeature(request_I, answer_O);
}

CSimBoard::CSimBoard(std::shared_ptr<CSimHost> host_I, SimBoardSpec spec_I)
    : mHost(std::move(host_I)), mSpec(std::move(spec_I))
{
    if (mSpec.kind == ESimBoardKind::eImage) {
        mImageLoader = std::make_shared<CSimImageLoader>(mSpec.image);
        for (const SRecBlock& segment : mSpec.factoryImage)
            mImageLoader->SetFlash(segment.address, segment.data);
        mGate = std::make_shared<CSimApplicationGate>(mImageLoader);
        mGate->SetOnModeChange([this] { mHost->UpdateNodeInfo(NodeInfo(false)); });
        MakeInjector();
        return;
    }
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
    mLoader->SetOnEnterLoader([this] { OnEnterLoader(); });
    mLoader->SetOnExitLoader([this](bool started) { OnExitLoader(started); });

    if (mSpec.kind == ESimBoardKind::eSRecI2C) {
        SimI2CBridgeConfig bridge = mSpec.bridge;
        bridge.startInLoader = false;
        mBridge = std::make_shared<CSimI2CBridge>(mLoader, bridge);
        // The bridge switches the board behind it the way the board's own reports would.
        mBridge->SetOnEnterLoader([this] {
            FeedLoader({0xCC, 0x05, 0x6A});
            FeedLoader({0xCC, 0x6A, 0x05});
        });
        mBridge->SetOnLeaveLoader([this] {
            const std::uint8_t exitId = mSpec.srec.protocolType == 1 ? 0xD6 : 0x15;
            FeedLoader({exitId, 0, 0, 0, 0});
        });
        mBridge->SetModeSource([this] { return mLoader->InLoader(); });
    } else if (mSpec.kind == ESimBoardKind::eSRecBulk) {
        mBulk = std::make_shared<CSimBulkDevice>();
        mBulk->SetOnEnterLoader([this] {
            FeedLoader({0xCC, 0x05, 0x6A});
            FeedLoader({0xCC, 0x6A, 0x05});
        });
    }
    MakeInjector();
}

void CSimBoard::MakeInjector()
{
    std::shared_ptr<CSimHidDevice> front;
    if (mGate)
        front = mGate;
    else if (mBridge)
        front = mBridge;
    else
        front = mLoader;
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
    // A board behind an I2C bridge receives the bridge's tunnel, not the loader's reports:
    // neither busy periods nor torn reports are modelled there.
    if (mSpec.kind != ESimBoardKind::eSRecI2C) {
        actions.tear = [this](const std::vector<std::uint8_t>& r, CSimFaultRandom& random_IO) {
            if (mGate && !mGate->InLoader())
                return false;
            const std::uint32_t span = mImageLoader ? mImageLoader->TearSpan(r) : mLoader->TearSpan(r);
            if (span == 0)
                return false;
            const auto stop = static_cast<std::uint32_t>(random_IO.Between(0, span - 1));
            const auto mask = static_cast<std::uint8_t>(random_IO.Next());
            return mImageLoader ? mImageLoader->Tear(r, stop, mask) : mLoader->Tear(r, stop, mask);
        };
    }
    if (mSpec.kind == ESimBoardKind::eImage) {
        actions.startsBusy = [](const std::vector<std::uint8_t>& r) { return r.size() > 2 && r[0] == 0xE4 && r[2] == 1; };
    } else if (mSpec.kind != ESimBoardKind::eSRecI2C) {
        // The erase report of either protocol type (type 1 adds 0xC1 to the id).
        const std::uint8_t eraseId = mSpec.srec.protocolType == 1 ? 0x12 + 0xC1 : 0x12;
        actions.startsBusy = [eraseId](const std::vector<std::uint8_t>& r) { return r[0] == eraseId; };
    }
    mInjector = std::make_shared<CSimFaultInjector>(front, std::move(actions));
}

void CSimBoard::FeedLoader(const std::vector<std::uint8_t>& report_I)
{
    mLoader->SetFeature(report_I);
}

bool CSimBoard::InLoader() const
{
    return mGate ? mGate->InLoader() : mLoader->InLoader();
}

bool CSimBoard::Reenumerates() const
{
    return mSpec.intoBLMode && (mSpec.kind == ESimBoardKind::eSRecHid || mSpec.kind == ESimBoardKind::eSRecBulk);
}

bool CSimBoard::UsesLoaderNode() const
{
    return Reenumerates() && InLoader();
}

std::uint16_t CSimBoard::FlashVersion() const
{
    auto byte = [this](std::uint32_t address_I) {
        return mImageLoader ? mImageLoader->FlashByte(address_I) : mLoader->FlashByte(address_I);
    };
    return static_cast<std::uint16_t>(byte(mSpec.versionAddress) | (byte(mSpec.versionAddress + 1) << 8));
}

SimHidNodeInfo CSimBoard::NodeInfo(bool loader_I) const
{
    const SimInterfaceSpec& spec = loader_I ? mSpec.loader : mSpec.normal;
    SimHidNodeInfo info;
    info.path = spec.path;
    info.vendorId = mSpec.vendorId != 0 ? mSpec.vendorId : static_cast<std::uint16_t>(DefaultVendorId());
    info.productId = spec.productId;
    // A loader reports no application version; the application reports the one in its flash.
    info.version = InLoader() ? 0 : FlashVersion();
    info.usagePage = spec.usagePage;
    info.usage = spec.usage;
    info.parentIds = spec.parentIds;
    return info;
}

void CSimBoard::AddNode(bool loader_I, std::uint32_t delayMs_I)
{
    const SimHidNodeInfo info = NodeInfo(loader_I);
    const bool usb = mSpec.kind == ESimBoardKind::eSRecBulk && !loader_I;
    auto add = [usb, info](CSimBoard& board_I) {
        if (usb)
            board_I.mHost->AddUsbNode(info, board_I.mBulk);
        else
            board_I.mHost->AddNode(info, board_I.mInjector);
    };
    if (delayMs_I == 0) {
        add(*this);
        return;
    }
    std::weak_ptr<CSimBoard> self = weak_from_this();
    const std::uint64_t epoch = mEpoch;
    GetClock()->scheduleAfter(delayMs_I, [self, epoch, add]() {
        auto board = self.lock();
        if (board && board->mPowered && board->mEpoch == epoch)
            add(*board);
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
    AddNode(UsesLoaderNode(), 0);
}

void CSimBoard::Unplug()
{
    ++mEpoch;
    mHost->RemoveNode(mSpec.normal.path);
    if (Reenumerates())
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
    if (mGate)
        mGate->PowerCycle();
    else
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
    if (!mLoader || mGate)
        return;
    Unplug();
    for (std::size_t i = 0; i < flash_I.size() && i < mSpec.srec.blocks.size(); ++i)
        mLoader->SetBlockContents(i, flash_I[i]);
    mLoader->RestoreCommitted(checksums_I, magic_I, inLoader_I);
    mPowered = true;
    PlugIn();
}

void CSimBoard::RestoreImageState(const std::vector<std::uint8_t>& flash_I, bool imageValid_I, bool inLoader_I)
{
    if (!mGate)
        return;
    Unplug();
    mImageLoader->RestoreFlash(flash_I, imageValid_I);
    mGate->Restore(inLoader_I);
    mPowered = true;
    PlugIn();
}

void CSimBoard::OnEnterLoader()
{
    if (!Reenumerates()) {
        mHost->UpdateNodeInfo(NodeInfo(false));
        return;
    }
    // The application resets into its loader: the normal device leaves now, the loader device
    // arrives once it has enumerated.
    ++mReenumerations;
    mHost->RemoveNode(mSpec.normal.path);
    AddNode(true, mInjector->ReenumerationDelay(mSpec.reenumerateMs));
}

void CSimBoard::OnExitLoader(bool started_I)
{
    if (!Reenumerates()) {
        mHost->UpdateNodeInfo(NodeInfo(false));
        return;
    }
    // The loader resets the board either way; it comes back as the application only when the
    // start-up check accepts the flash, and otherwise as its loader again.
    ++mReenumerations;
    mHost->RemoveNode(mSpec.loader.path);
    AddNode(!started_I, mInjector->ReenumerationDelay(mSpec.reenumerateMs));
}

CSimBus::CSimBus(std::shared_ptr<CSimHost> host_I)
    : mHost(std::move(host_I)), mSink(std::make_shared<Sink>())
{
    std::weak_ptr<Sink> weak = mSink;
    // Delivers to whatever sink is set when the notification arrives (a late one may find
    // another program listening, or none).
    auto deliver = [weak](bool arrival_I, const std::string& path_I) {
        auto sink = weak.lock();
        if (!sink)
            return;
        std::function<void(bool, const std::string&)> target;
        {
            std::lock_guard<std::mutex> lock(sink->mMutex);
            target = sink->mTarget;
        }
        if (target)
            target(arrival_I, path_I);
    };
    mHost->AddListener([weak, deliver](const SimHostEvent& event_I) {
        auto sink = weak.lock();
        if (!sink)
            return;
        std::shared_ptr<CSimBoard> owner;
        {
            std::lock_guard<std::mutex> lock(sink->mMutex);
            for (const auto& entry : sink->mBoards) {
                auto board = entry.lock();
                if (board && board->OwnsPath(event_I.node.path))
                    owner = board;
            }
        }
        const CSimFaultInjector::NotificationFate fate =
            owner ? owner->NextNotification() : CSimFaultInjector::NotificationFate();
        const bool arrival = event_I.kind == SimHostEvent::eArrival;
        const std::string path = event_I.node.path;
        for (int copy = 0; copy < fate.copies; ++copy) {
            if (fate.delayMs == 0)
                deliver(arrival, path);
            else
                GetClock()->scheduleAfter(fate.delayMs, [deliver, arrival, path] { deliver(arrival, path); });
        }
    });
}

std::shared_ptr<CSimBoard> CSimBus::AddBoard(SimBoardSpec spec_I)
{
    auto board = std::make_shared<CSimBoard>(mHost, std::move(spec_I));
    mBoards.push_back(board);
    {
        std::lock_guard<std::mutex> lock(mSink->mMutex);
        mSink->mBoards.push_back(board);
    }
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

void CSimBus::SetInterfaceEventSink(std::function<void(bool arrival, const std::string& path)> sink_I)
{
    std::lock_guard<std::mutex> lock(mSink->mMutex);
    mSink->mTarget = std::move(sink_I);
}
