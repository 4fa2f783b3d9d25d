#include "CSimBus.h"

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
    mHost->AddNode(NodeInfo(UsesLoaderNode()), mLoader);
}

void CSimBoard::Unplug()
{
    mHost->RemoveNode(mSpec.normal.path);
    if (mSpec.intoBLMode)
        mHost->RemoveNode(mSpec.loader.path);
}

void CSimBoard::PowerCycle()
{
    Unplug();
    mLoader->PowerCycle();
    PlugIn();
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
    mHost->ScheduleAddNode(mSpec.reenumerateMs, NodeInfo(true), mLoader);
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
    mHost->ScheduleAddNode(mSpec.reenumerateMs, NodeInfo(!started_I), mLoader);
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
