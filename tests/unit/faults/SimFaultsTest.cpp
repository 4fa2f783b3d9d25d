// The simulator's fault model itself: the spec grammar, the injector, torn flash, saved boards.

#include "FaultRig.h"
#include "SimState.h"

namespace {

// Answers {id, n, n, n, n} where n counts the GETs it answered: every answer differs from the last.
class CCountingAnswers : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>&) override { return ++sets > 0; }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        answer_O.assign(5, static_cast<std::uint8_t>(++gets));
        answer_O[0] = request_I[0];
        return true;
    }
    int sets = 0;
    int gets = 0;
};

} // namespace

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

// The same seed and stream give the same faults; a dropped report never reaches the board, a lost
// acknowledgement does; ids= limits faults to its reports; stuck reports fail their first N times.
TEST(SimFaultInjector, DropsAcksIdsAndStuckReports)
{
    struct Case
    {
        const char* spec;
        std::vector<bool> failed; // SET, GET, SET, GET of id 0x15, each followed by a SET of 0x11
        int reachedBoard;
    };
    const Case cases[] = {
        {"drop-set=1,ids=0x15", {true, false, true, false}, 2 + 4},
        {"ack-loss=1,ids=0x15", {true, false, true, false}, 4 + 4},
        {"drop-get=1", {false, true, false, true}, 2 + 4},
        {"stuck=0x15:3", {true, true, true, false}, 1 + 4},
        {"stuck=0x15:1/0x11:2", {true, false, false, false}, 3 + 2},
        {"stuck=0x1D", {false, false, false, false}, 4 + 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        auto device = std::make_shared<CCountingAnswers>();
        CSimFaultInjector injector(device, {});
        injector.Arm(Parsed(c.spec), 0);
        std::vector<bool> failed;
        std::vector<std::uint8_t> answer;
        for (int i = 0; i < 4; ++i) {
            failed.push_back(i % 2 ? !injector.GetFeature({0x15, 0}, answer) : !injector.SetFeature({0x15, 0}));
            injector.SetFeature({0x11, 0});
        }
        EXPECT_EQ(failed, c.failed);
        EXPECT_EQ(device->sets + device->gets, c.reachedBoard);
    }
    auto pattern = [](const std::string& spec_I, std::uint64_t stream_I) {
        CSimFaultInjector injector(std::make_shared<CCountingAnswers>(), {});
        injector.Arm(Parsed(spec_I), stream_I);
        std::vector<bool> failed;
        for (int i = 0; i < 400; ++i)
            failed.push_back(!injector.SetFeature({0x11, 0}));
        return failed;
    };
    const auto a = pattern("seed=7,drop=0.3", 0);
    EXPECT_EQ(pattern("seed=7,drop=0.3", 0), a);
    EXPECT_NE(pattern("seed=7,drop=0.3", 1), a);
    EXPECT_NE(pattern("seed=8,drop=0.3", 0), a);
    EXPECT_NEAR(std::count(a.begin(), a.end(), true), 120, 40);
}

// A power cut during an erase or a write leaves NOR flash part-way: bytes before the stop are
// done, the stopping byte has only the mask's bits erased (set) or written (cleared).
TEST(SimTornFlash, PartErasesAndPartWritesChangeOnlyTheBitsTheyReached)
{
    SimSRecLoaderConfig config;
    config.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}};
    config.blockSize = 16;
    CSimSRecLoader loader(config);
    std::vector<std::uint8_t> old(0x100);
    std::vector<std::uint8_t> data(16);
    for (std::size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<std::uint8_t>(0x5A ^ i);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0x30 + 7 * i);
    std::vector<std::uint8_t> write = {0x11, 0x20, 0x01, 0, 0}; // 16 bytes at offset 0x20 of block 1
    write.insert(write.end(), data.begin(), data.end());
    for (const auto& [erase, stop, mask] : {std::tuple {true, 0u, 0x81}, {true, 0x37u, 0x0F}, {true, 0xFFu, 0xFF},
                                            {false, 0u, 0x01}, {false, 5u, 0xF0}, {false, 15u, 0x00}}) {
        SCOPED_TRACE(std::string(erase ? "erase" : "write") + " stopped at " + std::to_string(stop));
        loader.SetBlockContents(1, old);
        std::vector<std::uint8_t> expected = old;
        const std::uint32_t at = erase ? 0 : 0x20;
        for (std::uint32_t i = 0; i <= stop; ++i) {
            const std::uint8_t target = erase ? 0xFF : old[at + i] & data[i];
            const std::uint8_t reached = i < stop ? 0xFF : static_cast<std::uint8_t>(mask);
            expected[at + i] = static_cast<std::uint8_t>((old[at + i] & ~reached) | (target & reached));
        }
        ASSERT_TRUE(loader.Tear(erase ? std::vector<std::uint8_t> {0x12, 1, 0, 0, 0} : write, stop,
                                static_cast<std::uint8_t>(mask)));
        EXPECT_EQ(loader.BlockContents(1), expected);
    }
    // Neither a protected block, nor a report that is no erase or write, nor a stop past the span.
    loader.SetBlockContents(1, old);
    EXPECT_FALSE(loader.Tear({0x12, 0, 0, 0, 0}, 3, 0xFF));
    EXPECT_FALSE(loader.Tear({0x1D, 0, 0, 0, 0}, 0, 0xFF));
    EXPECT_FALSE(loader.Tear({0x12, 1, 0, 0, 0}, 0x100, 0xFF));
    EXPECT_EQ(loader.BlockContents(1), old);
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
