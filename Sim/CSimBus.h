#pragma once
// A bus of simulated tablets: each board sits on the simulated host as the node of its current
// mode, leaves the bus when told to enter or leave its loader and comes back after a delay as
// the other device (or, for a board that switches in place, keeps its node), and boots its
// application only when its committed checksums and magic word are valid; otherwise it comes
// back as its loader, as a half-programmed board does. Arrivals and removals reach the program
// through the host's listeners, on whatever thread runs the clock's events (the sleeping
// thread on a virtual clock, the timer thread on the steady clock).

#include "CSimBulkDevice.h"
#include "CSimHost.h"
#include "CSimI2CBridge.h"
#include "CSimImageLoader.h"
#include "CSimSRecLoader.h"
#include "SimFaults.h"
#include "FWUpdater/SRecBlock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One interface as the operating system shows it.
struct SimInterfaceSpec
{
    std::string path;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    // [0] the interface's own device node, [1] its parent, and so on up the device tree.
    std::vector<std::string> parentIds;
};

// How a board is built and reached.
enum class ESimBoardKind
{
    eSRecHid,  // S-record loader on a HID interface
    eSRecI2C,  // S-record loader behind an I2C bridge; the bridge's HID node stays on the bus
    eSRecBulk, // normal interface of the bulk loader's USB class; the loader comes back over HID
    eImage,    // whole-image loader (Intel HEX or Airoha) that switches in place
};

struct SimBoardSpec
{
    ESimBoardKind kind = ESimBoardKind::eSRecHid;
    std::string name;  // "pen", "touch", "bluetooth"
    int board = 0;     // pen 0, touch 1, bluetooth 2
    int transport = 1; // InterfaceKind of the normal interface
    // true: entering (leaving) the loader makes the board leave the bus and come back as its
    // loader (application) device; false: it switches in place on the same node.
    bool intoBLMode = true;
    SimInterfaceSpec normal;
    SimInterfaceSpec loader;
    std::uint32_t reenumerateMs = 1300;
    std::uint16_t vendorId = 0;
    SimSRecLoaderConfig srec;
    // Flash address of the application's version word (little-endian, binary-coded decimal):
    // what the normal interface reports as its version.
    std::uint32_t versionAddress = 0;
    // The board's flash when it leaves the factory; committed as a valid application.
    std::vector<SRecBlock> factoryImage;
    // Whole-image boards.
    SimImageLoaderConfig image;
    SimI2CBridgeConfig bridge;
};

// In front of a whole-image loader: the board's application answers the normal-mode reports
// (ping, reset, the two enter-loader reports) and, once switched, hands every report to the
// loader until the loader's exit report restarts the application (if its image is whole).
class CSimApplicationGate : public CSimHidDevice
{
public:
    explicit CSimApplicationGate(std::shared_ptr<CSimImageLoader> loader_I);
    bool SetFeature(const std::vector<std::uint8_t>& report_I) override;
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override;
    bool InLoader() const { return mInLoader; }
    void PowerCycle()
    {
        mLoader->PowerCycle();
        mInLoader = !mLoader->ImageValid();
        mEnterFirstSeen = false;
    }
    void Restore(bool inLoader_I) { mInLoader = inLoader_I; mEnterFirstSeen = false; }
    void SetOnModeChange(std::function<void()> hook_I) { mOnModeChange = std::move(hook_I); }

private:
    std::shared_ptr<CSimImageLoader> mLoader;
    bool mInLoader = false;
    bool mEnterFirstSeen = false;
    std::function<void()> mOnModeChange;
};

class CSimBoard : public std::enable_shared_from_this<CSimBoard>
{
public:
    CSimBoard(std::shared_ptr<CSimHost> host_I, SimBoardSpec spec_I);
    CSimBoard(const CSimBoard&) = delete;
    CSimBoard& operator=(const CSimBoard&) = delete;

    const SimBoardSpec& Spec() const { return mSpec; }
    // S-record boards.
    CSimSRecLoader& Loader() { return *mLoader; }
    const CSimSRecLoader& Loader() const { return *mLoader; }
    std::shared_ptr<CSimSRecLoader> LoaderDevice() const { return mLoader; }
    // Whole-image boards.
    std::shared_ptr<CSimImageLoader> ImageLoader() const { return mImageLoader; }
    std::shared_ptr<CSimI2CBridge> Bridge() const { return mBridge; }
    std::shared_ptr<CSimBulkDevice> BulkDevice() const { return mBulk; }

    // Puts the node of the board's current mode on the bus (arrival), or takes it off (removal).
    // An unplugged board keeps its power (a self-powered tablet, a hub that dropped the link):
    // plugged back, it is in the mode it was in. A board without power is not plugged in.
    // Unplugging also cancels a re-enumeration still under way.
    void PlugIn();
    void Unplug();
    bool IsPluggedIn() const;
    // The board loses power and gets it back: it leaves the bus, its flash stays as it is, and it
    // comes back (at once) as its application if that checks out, else as its loader.
    void PowerCycle();
    // The two halves of a power cycle. While off the board is not on the bus and nothing it had
    // scheduled (a re-enumeration) happens; its flash and committed checksums stay as they are.
    void PowerOff();
    void PowerOn();
    bool IsPowered() const { return mPowered; }

    // Fault injection between the board's HID node and the device behind it (see SimFaults.h);
    // stream_I tells boards of one bus apart. The USB node of a bulk board's application is not
    // covered (its loader node is). Busy periods follow S-record erases and whole-image start
    // commands; a board behind an I2C bridge has none. ClearFaults lets every report through.
    void SetFaults(const SimFaultSpec& spec_I, std::uint64_t stream_I);
    void ClearFaults();
    SimFaultStats FaultStats() const { return mInjector->Stats(); }
    // What becomes of a notification about one of the board's nodes (see notify-* faults).
    CSimFaultInjector::NotificationFate NextNotification() { return mInjector->NextNotification(); }
    // Whether a node path is one of the board's.
    bool OwnsPath(const std::string& path_I) const { return path_I == mSpec.normal.path || path_I == mSpec.loader.path; }

    // Replaces an S-record board's persistent state, as after the board was stored away and
    // plugged in again: flash per block (empty = erased), committed checksums and magic word, and
    // whether it runs its loader. The board is powered and plugged in afterwards.
    void RestoreState(const std::vector<std::vector<std::uint8_t>>& flash_I, const std::vector<std::uint32_t>& checksums_I,
                      std::uint32_t magic_I, bool inLoader_I);
    // The same for a whole-image board: its flash and whether its image is whole.
    void RestoreImageState(const std::vector<std::uint8_t>& flash_I, bool imageValid_I, bool inLoader_I);

    // The path the board is reachable under now (normal or loader node).
    std::string CurrentPath() const;
    bool InLoader() const;
    // The version word in flash at the version address.
    std::uint16_t FlashVersion() const;
    // Number of times the board left the bus and came back.
    int Reenumerations() const { return mReenumerations; }

private:
    void OnEnterLoader();
    void OnExitLoader(bool started_I);
    SimHidNodeInfo NodeInfo(bool loader_I) const;
    // The board leaves the bus and re-enumerates as another device on a mode switch.
    bool Reenumerates() const;
    bool UsesLoaderNode() const;
    // Adds the node now, or after a delay unless the board lost power or was unplugged in between.
    void AddNode(bool loader_I, std::uint32_t delayMs_I);
    void ScheduleAction(std::uint32_t delayMs_I, void (CSimBoard::*action_I)());
    void MakeInjector();
    void FeedLoader(const std::vector<std::uint8_t>& report_I);

    std::shared_ptr<CSimHost> mHost;
    SimBoardSpec mSpec;
    std::shared_ptr<CSimSRecLoader> mLoader;
    std::shared_ptr<CSimImageLoader> mImageLoader;
    std::shared_ptr<CSimApplicationGate> mGate;
    std::shared_ptr<CSimI2CBridge> mBridge;
    std::shared_ptr<CSimBulkDevice> mBulk;
    // What the board's HID nodes carry: the device behind the fault injector.
    std::shared_ptr<CSimFaultInjector> mInjector;
    int mReenumerations = 0;
    // Read by scheduled events, which a steady clock runs on its timer thread.
    std::atomic<bool> mPowered{true};
    // Bumped by every unplug and power loss: scheduled arrivals of an older epoch are void.
    std::atomic<std::uint64_t> mEpoch{0};
};

class CSimBus
{
public:
    explicit CSimBus(std::shared_ptr<CSimHost> host_I = std::make_shared<CSimHost>());

    std::shared_ptr<CSimHost> Host() const { return mHost; }
    // Creates the board and plugs it in.
    std::shared_ptr<CSimBoard> AddBoard(SimBoardSpec spec_I);
    const std::vector<std::shared_ptr<CSimBoard>>& Boards() const { return mBoards; }
    std::shared_ptr<CSimBoard> Board(const std::string& name_I, std::size_t tablet_I = 0) const;

    // Arms every board with the fault description (board i gets stream i), or lets every report through.
    void SetFaults(const SimFaultSpec& spec_I);
    void ClearFaults();
    SimFaultStats FaultStats() const;

    // Where arrivals and removals go: (true, path) for an arrival, (false, path) for a removal.
    void SetInterfaceEventSink(std::function<void(bool arrival, const std::string& path)> sink_I);

private:
    std::shared_ptr<CSimHost> mHost;
    std::vector<std::shared_ptr<CSimBoard>> mBoards;
    struct Sink
    {
        std::mutex mMutex;
        std::function<void(bool, const std::string&)> mTarget;
        // The boards, to ask what becomes of a notification about their nodes.
        std::vector<std::weak_ptr<CSimBoard>> mBoards;
    };
    std::shared_ptr<Sink> mSink;
};
