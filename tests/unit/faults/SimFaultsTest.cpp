// The fault grammar of --sim-faults, and --sim-state files that cannot be used.

#include "FaultRig.h"
#include "SimState.h"

TEST(SimFaultSpecText, ParsesFormatsBackAndRefusesWhatItCannotMean)
{
    const SimFaultSpec spec = Parsed(" seed=7, drop=0.01 ,drop-get=0.25,busy=3000,unplug-at=120,power-loss-at=300,"
                                     "replug=50,power-back=0,ack-loss=0.5,ids=0x11/18/0xD3,tear=1,flip=0.125,short=0.375,"
                                     "long=0.625,wrong-id=0.875,stale=0.5,stuck=0x15:3/0x1D,notify-loss=0.25,"
                                     "notify-dup=0.75,notify-late=5000,reenum=91000");
    EXPECT_EQ(FormatSimFaultSpec(spec), "seed=7,drop-set=0.01,drop-get=0.25,ack-loss=0.5,ids=0x11/0x12/0xD3,busy=3000,"
                                        "unplug-at=120,replug=50,power-loss-at=300,power-back=0,tear=1,flip=0.125,"
                                        "short=0.375,long=0.625,wrong-id=0.875,stale=0.5,notify-loss=0.25,notify-dup=0.75,"
                                        "stuck=0x15:3/0x1D,notify-late=5000,reenum=91000");
    EXPECT_EQ(FormatSimFaultSpec(Parsed(FormatSimFaultSpec(spec))), FormatSimFaultSpec(spec));
    // Each class alone is a fault; "reenum=0" too (an instant return is still a changed board).
    for (const char* alone : {"drop-get=0.1", "busy=1", "unplug-at=1", "tear=0.5,power-loss-at=3", "flip=0.1",
                              "stale=1", "stuck=0xCC", "notify-late=1", "notify-dup=1", "reenum=0"})
        EXPECT_TRUE(Parsed(alone).Any()) << alone;
    EXPECT_FALSE(Parsed("seed=3,tear=0").Any());
    for (const char* bad : {"drop=1.5", "drop=-0.1", "drop=nan", "seed=x", "seed=-1", "unplug-at=0", "busy=4294967296",
                            "ids=0x100", "ids=", "colour=red", "seed", "seed=1,seed=2", "seed=1,,drop=0", "drop=0.1x",
                            "tear=2", "stuck=", "stuck=0x100", "stuck=0x15:0", "stuck=0x15:1:2", "notify-late=-1",
                            "notify-late=4294967296", "reenum=x", "wrong-id=1.01"}) {
        SimFaultSpec untouched;
        untouched.seed = 99;
        std::string error;
        EXPECT_FALSE(ParseSimFaultSpec(bad, untouched, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(untouched.seed, 99u) << bad;
    }
}

// A file that does not fit the bus, is cut short or corrupt changes nothing (saving and loading
// boards is tested through the program's --sim-state).
TEST(SimState, RefusesAFileThatDoesNotFitAndChangesNothing)
{
    CTempDir dir;
    ASSERT_TRUE(SaveSimState(CFaultRig("basic").mBus, dir.File("basic.state")));
    const std::string text = ReadFile(dir.File("basic.state"));
    WriteFile(dir.File("cut.state"), text.substr(0, text.size() / 2));
    std::string corrupt = text;
    corrupt.replace(corrupt.find("magic ") + 6, 1, "Z");
    WriteFile(dir.File("corrupt.state"), corrupt);
    std::string error;
    CFaultRig two("two-tablets");
    EXPECT_FALSE(LoadSimState(two.mBus, dir.File("basic.state"), &error));
    EXPECT_NE(error.find("holds 2 boards, the bus 4"), std::string::npos) << error;
    CFaultRig basic("basic");
    basic.Board()->LoaderDevice()->SetBlockContents(5, std::vector<std::uint8_t>(0x1000, 0x22));
    for (const char* bad : {"cut.state", "corrupt.state", "missing.state"})
        EXPECT_FALSE(LoadSimState(basic.mBus, dir.File(bad), &error)) << bad;
    EXPECT_EQ(basic.Board()->Loader().FlashByte(0x5000), 0x22);
}
