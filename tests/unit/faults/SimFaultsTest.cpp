// The fault spec grammar, the injector's determinism, and saving and loading the boards' state.

#include "FaultRig.h"
#include "SimState.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(SimFaultSpecText, ParsesEveryKey)
{
    SimFaultSpec spec;
    std::string error;
    ASSERT_TRUE(ParseSimFaultSpec(" seed=7, drop=0.01 ,busy=3000,unplug-at=120,power-loss-at=300,replug=50,"
                                  "power-back=0,ack-loss=0.5,ids=0x11/18/0xD3",
                                  spec, error))
        << error;
    EXPECT_EQ(spec.seed, 7u);
    EXPECT_DOUBLE_EQ(spec.dropSetRate, 0.01);
    EXPECT_DOUBLE_EQ(spec.dropGetRate, 0.01);
    EXPECT_DOUBLE_EQ(spec.ackLossRate, 0.5);
    EXPECT_EQ(spec.busyMs, 3000u);
    EXPECT_EQ(spec.unplugAt, 120);
    EXPECT_EQ(spec.replugMs, 50);
    EXPECT_EQ(spec.powerLossAt, 300);
    EXPECT_EQ(spec.powerBackMs, 0);
    EXPECT_EQ(spec.ids, (std::set<std::uint8_t>{0x11, 0x12, 0xD3}));
    EXPECT_TRUE(spec.Any());

    // drop-set and drop-get override drop for their direction only.
    ASSERT_TRUE(ParseSimFaultSpec("drop=0.2,drop-get=0", spec, error));
    EXPECT_DOUBLE_EQ(spec.dropSetRate, 0.2);
    EXPECT_DOUBLE_EQ(spec.dropGetRate, 0.0);

    ASSERT_TRUE(ParseSimFaultSpec("", spec, error));
    EXPECT_FALSE(spec.Any());
    EXPECT_EQ(spec.unplugAt, -1);
    EXPECT_EQ(spec.powerBackMs, -1);
}

TEST(SimFaultSpecText, RefusesWhatItCannotMean)
{
    SimFaultSpec spec;
    spec.seed = 99;
    std::string error;
    for (const char* bad : {"drop=1.5", "drop=-0.1", "drop=nan", "seed=x", "seed=-1", "unplug-at=0", "busy=4294967296",
                            "ids=0x100", "ids=", "colour=red", "seed", "seed=1,seed=2", "seed=1,,drop=0", "drop=0.1x"}) {
        error.clear();
        EXPECT_FALSE(ParseSimFaultSpec(bad, spec, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(spec.seed, 99u); // untouched by a refused text
}

TEST(SimFaultSpecText, FormatParsesBackToTheSameSpec)
{
    SimFaultSpec spec;
    spec.seed = 12345678901234ull;
    spec.dropSetRate = 0.1;
    spec.dropGetRate = 1.0 / 3.0;
    spec.ackLossRate = 0.05;
    spec.ids = {0x11, 0xD3};
    spec.busyMs = 0xFFFFFFFFu;
    spec.unplugAt = 7;
    spec.replugMs = 0;
    spec.powerLossAt = 9;
    spec.powerBackMs = 1500;
    SimFaultSpec back;
    std::string error;
    ASSERT_TRUE(ParseSimFaultSpec(FormatSimFaultSpec(spec), back, error)) << FormatSimFaultSpec(spec) << ": " << error;
    EXPECT_EQ(back.seed, spec.seed);
    EXPECT_EQ(back.dropSetRate, spec.dropSetRate);
    EXPECT_EQ(back.dropGetRate, spec.dropGetRate);
    EXPECT_EQ(back.ackLossRate, spec.ackLossRate);
    EXPECT_EQ(back.ids, spec.ids);
    EXPECT_EQ(back.busyMs, spec.busyMs);
    EXPECT_EQ(back.unplugAt, spec.unplugAt);
    EXPECT_EQ(back.replugMs, spec.replugMs);
    EXPECT_EQ(back.powerLossAt, spec.powerLossAt);
    EXPECT_EQ(back.powerBackMs, spec.powerBackMs);
}

namespace {

// A device that accepts everything and counts what reaches it.
class CCountingDevice : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>&) override { ++sets; return true; }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        ++gets;
        answer_O = request_I;
        return true;
    }
    int sets = 0;
    int gets = 0;
};

// The pattern of failures a spec gives over n alternating SETs and GETs of id 0x11.
std::vector<bool> FailurePattern(const SimFaultSpec& spec_I, std::uint64_t stream_I, int n_I)
{
    auto device = std::make_shared<CCountingDevice>();
    CSimFaultInjector injector(device, {});
    injector.Arm(spec_I, stream_I);
    std::vector<bool> failed;
    std::vector<std::uint8_t> answer;
    for (int i = 0; i < n_I; ++i)
        failed.push_back(i % 2 ? !injector.GetFeature({0x11, 0}, answer) : !injector.SetFeature({0x11, 0}));
    return failed;
}

} // namespace

TEST(SimFaultInjector, SameSeedSameFaultsOtherSeedOrStreamOthers)
{
    SimFaultSpec spec;
    spec.seed = 7;
    spec.dropSetRate = spec.dropGetRate = 0.3;
    const auto a = FailurePattern(spec, 0, 400);
    EXPECT_EQ(FailurePattern(spec, 0, 400), a);
    EXPECT_NE(FailurePattern(spec, 1, 400), a);
    spec.seed = 8;
    EXPECT_NE(FailurePattern(spec, 0, 400), a);
    const auto failures = std::count(a.begin(), a.end(), true);
    EXPECT_GT(failures, 80);
    EXPECT_LT(failures, 160);
}

TEST(SimFaultInjector, DropsNeverReachTheDeviceLostAcksDoAndOtherIdsPass)
{
    auto device = std::make_shared<CCountingDevice>();
    CSimFaultInjector injector(device, {});
    SimFaultSpec spec;
    spec.dropSetRate = 1.0;
    spec.ids = {0x12};
    injector.Arm(spec, 0);
    EXPECT_FALSE(injector.SetFeature({0x12, 1}));
    EXPECT_TRUE(injector.SetFeature({0x11, 1}));
    EXPECT_EQ(device->sets, 1);

    spec = SimFaultSpec();
    spec.ackLossRate = 1.0;
    injector.Arm(spec, 0);
    EXPECT_FALSE(injector.SetFeature({0x12, 1}));
    EXPECT_EQ(device->sets, 2); // it took effect
    EXPECT_EQ(injector.Stats().droppedSets, 1u);
    EXPECT_EQ(injector.Stats().lostAcks, 1u);

    injector.Disarm();
    EXPECT_TRUE(injector.SetFeature({0x12, 1}));
    EXPECT_EQ(injector.Stats().reports, 3u); // a disarmed injector counts nothing
}

TEST(SimFaultInjector, BusyAfterEraseForTheGivenClockTime)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    auto device = std::make_shared<CCountingDevice>();
    CSimFaultInjector::Actions actions;
    actions.startsBusy = [](const std::vector<std::uint8_t>& r) { return r[0] == 0x12; };
    CSimFaultInjector injector(device, actions);
    SimFaultSpec spec;
    spec.busyMs = 3000;
    injector.Arm(spec, 0);
    EXPECT_TRUE(injector.SetFeature({0x11, 0}));
    EXPECT_TRUE(injector.SetFeature({0x12, 0}));
    EXPECT_FALSE(injector.SetFeature({0x11, 0}));
    clock->advance(2999);
    std::vector<std::uint8_t> answer;
    EXPECT_FALSE(injector.GetFeature({0x14, 0}, answer));
    clock->advance(1);
    EXPECT_TRUE(injector.SetFeature({0x11, 0}));
    EXPECT_EQ(injector.Stats().busyPeriods, 1u);
    EXPECT_EQ(injector.Stats().busyRefusals, 2u);
}

TEST(SimBoardPower, PowerLossKeepsFlashAndCancelsAPendingArrival)
{
    CFaultRig rig("basic");
    auto pen = rig.Board();
    int arrivals = 0;
    rig.mBus.SetInterfaceEventSink([&](bool arrival, const std::string&) { arrivals += arrival ? 1 : 0; });
    // Enter the loader: the loader device is due 1.3 s later, but the power goes first.
    ASSERT_TRUE(pen->LoaderDevice()->SetFeature({0xCC, 0x05, 0x6A}));
    ASSERT_TRUE(pen->LoaderDevice()->SetFeature({0xCC, 0x6A, 0x05}));
    pen->LoaderDevice()->SetBlockContents(3, std::vector<std::uint8_t>(0x1000, 0x11));
    pen->PowerOff();
    rig.mClock->advance(10000);
    EXPECT_EQ(arrivals, 0);
    EXPECT_FALSE(pen->IsPluggedIn());
    pen->PlugIn(); // no power, no device
    EXPECT_FALSE(pen->IsPluggedIn());
    pen->PowerOn();
    EXPECT_EQ(arrivals, 1);
    EXPECT_TRUE(pen->InLoader()); // block 3 no longer matches its committed checksum
    EXPECT_EQ(pen->CurrentPath(), pen->Spec().loader.path);
    EXPECT_TRUE(rig.mBus.Host()->IsPresent(pen->Spec().loader.path));
    EXPECT_EQ(pen->Loader().FlashByte(0x3000), 0x11);
}

TEST(SimState, SavedBoardsComeBackInAnotherBus)
{
    CTempDir dir;
    const std::string file = dir.File("tablets.state");
    CFaultRig rig("two-tablets");
    auto second = rig.Board(1);
    // Cut the second tablet's update short while it writes blocks: its loader holds
    // invalidated checksums and part of the new image.
    SimFaultSpec spec;
    spec.powerLossAt = 80;
    const FaultRunResult cut = rig.Run(1, [&] { second->SetFaults(spec, 1); });
    ASSERT_FALSE(cut.reported);
    ASSERT_FALSE(second->IsPowered());
    ASSERT_TRUE(SaveSimState(rig.mBus, file));

    CFaultRig later("two-tablets");
    std::string error;
    ASSERT_TRUE(LoadSimState(later.mBus, file, &error)) << error;
    for (std::size_t t = 0; t < 2; ++t) {
        const CSimSRecLoader& before = rig.Board(t)->Loader();
        const CSimSRecLoader& after = later.Board(t)->Loader();
        for (std::size_t i = 0; i < before.Config().blocks.size(); ++i)
            EXPECT_EQ(after.BlockContents(i), before.BlockContents(i)) << "tablet " << t << " block " << i;
        EXPECT_EQ(after.CommittedChecksums(), before.CommittedChecksums());
        EXPECT_EQ(after.CommittedMagicWord(), before.CommittedMagicWord());
    }
    // The first tablet runs its application; the second, saved without power, boots its loader.
    EXPECT_FALSE(later.Board(0)->InLoader());
    EXPECT_TRUE(later.Board(1)->InLoader());
    EXPECT_TRUE(later.mBus.Host()->IsPresent(later.Board(1)->Spec().loader.path));

    // The later process finds the board in its loader and finishes the job.
    const FaultRunResult next = later.Run(1);
    EXPECT_TRUE(next.reported) << next.log;
    EXPECT_TRUE(next.HasLine("Device already in loader mode"));
    EXPECT_TRUE(later.BoardUpdated(1));
    EXPECT_EQ(later.Board(0)->FlashVersion(), kSimFactoryVersion);

    // Saving again gives the same file once the state is the same.
    const std::string again = dir.File("again.state");
    CFaultRig third("two-tablets");
    ASSERT_TRUE(LoadSimState(third.mBus, file));
    ASSERT_TRUE(SaveSimState(third.mBus, again));
    EXPECT_EQ(ReadFile(again), ReadFile(file));
    // Saving over an existing file replaces it.
    ASSERT_TRUE(SaveSimState(later.mBus, again));
    EXPECT_NE(ReadFile(again), ReadFile(file));
    EXPECT_FALSE(std::filesystem::exists(again + ".tmp"));
}

TEST(SimState, RefusesAFileThatDoesNotFitAndChangesNothing)
{
    CTempDir dir;
    CFaultRig basic("basic");
    ASSERT_TRUE(SaveSimState(basic.mBus, dir.File("basic.state")));
    CFaultRig two("two-tablets");
    std::string error;
    EXPECT_FALSE(LoadSimState(two.mBus, dir.File("basic.state"), &error));
    EXPECT_NE(error.find("holds 2 boards, the bus 4"), std::string::npos) << error;

    const std::string text = ReadFile(dir.File("basic.state"));
    const std::string cut = text.substr(0, text.size() / 2);
    WriteFile(dir.File("cut.state"), cut);
    CFaultRig target("basic");
    target.Board()->LoaderDevice()->SetBlockContents(5, std::vector<std::uint8_t>(0x1000, 0x22));
    EXPECT_FALSE(LoadSimState(target.mBus, dir.File("cut.state"), &error));
    EXPECT_EQ(target.Board()->Loader().FlashByte(0x5000), 0x22);

    std::string corrupt = text;
    corrupt.replace(corrupt.find("magic ") + 6, 1, "Z");
    WriteFile(dir.File("corrupt.state"), corrupt);
    EXPECT_FALSE(LoadSimState(target.mBus, dir.File("corrupt.state"), &error));
    EXPECT_NE(error.find("magic"), std::string::npos) << error;
    EXPECT_FALSE(LoadSimState(target.mBus, dir.File("missing.state"), &error));
    EXPECT_EQ(target.Board()->Loader().FlashByte(0x5000), 0x22);
}
