// The wider fault classes: torn erases and writes, corrupted answers, stuck reports, lost,
// duplicated and late notifications, and boards that come back near the end of a 90-second wait.

#include "FaultRig.h"

#include <gtest/gtest.h>

#include <bitset>

namespace {

// Answers {id, n, n, n, n} where n counts the GETs it answered: every answer differs from the last.
class CCountingAnswers : public CSimHidDevice
{
public:
    bool SetFeature(const std::vector<std::uint8_t>&) override
    {
        ++sets;
        return true;
    }
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override
    {
        ++gets;
        answer_O.assign(5, static_cast<std::uint8_t>(gets));
        answer_O[0] = request_I[0];
        return true;
    }
    int sets = 0;
    int gets = 0;
};

SimFaultSpec Parsed(const std::string& text_I)
{
    SimFaultSpec spec;
    std::string error;
    if (!ParseSimFaultSpec(text_I, spec, error))
        ADD_FAILURE() << text_I << ": " << error;
    return spec;
}

int BitsDiffering(const std::vector<std::uint8_t>& a_I, const std::vector<std::uint8_t>& b_I)
{
    int bits = 0;
    for (std::size_t i = 0; i < std::min(a_I.size(), b_I.size()); ++i)
        bits += static_cast<int>(std::bitset<8>(static_cast<unsigned>(a_I[i] ^ b_I[i])).count());
    return bits;
}

} // namespace

TEST(SimFaultSpecText, ParsesAndFormatsTheWiderClasses)
{
    const SimFaultSpec spec = Parsed("tear=1,flip=0.1,short=0.2,long=0.3,wrong-id=0.4,stale=0.5,stuck=0x15:3/0x1D,"
                                     "notify-loss=0.25,notify-dup=0.75,notify-late=5000,reenum=91000");
    EXPECT_DOUBLE_EQ(spec.tearRate, 1.0);
    EXPECT_DOUBLE_EQ(spec.flipRate, 0.1);
    EXPECT_DOUBLE_EQ(spec.shortRate, 0.2);
    EXPECT_DOUBLE_EQ(spec.longRate, 0.3);
    EXPECT_DOUBLE_EQ(spec.wrongIdRate, 0.4);
    EXPECT_DOUBLE_EQ(spec.staleRate, 0.5);
    EXPECT_EQ(spec.stuck, (std::map<std::uint8_t, std::int64_t>{{0x15, 3}, {0x1D, -1}}));
    EXPECT_DOUBLE_EQ(spec.notifyLossRate, 0.25);
    EXPECT_DOUBLE_EQ(spec.notifyDupRate, 0.75);
    EXPECT_EQ(spec.notifyLateMs, 5000u);
    EXPECT_EQ(spec.reenumMs, 91000);
    EXPECT_TRUE(spec.Any());
    EXPECT_TRUE(spec.CorruptsAnswers());
    EXPECT_TRUE(spec.DisturbsNotifications());

    SimFaultSpec back;
    std::string error;
    ASSERT_TRUE(ParseSimFaultSpec(FormatSimFaultSpec(spec), back, error)) << FormatSimFaultSpec(spec) << ": " << error;
    EXPECT_EQ(FormatSimFaultSpec(back), FormatSimFaultSpec(spec));
    EXPECT_EQ(back.stuck, spec.stuck);
    EXPECT_EQ(back.reenumMs, spec.reenumMs);

    // Each class alone is a fault; "reenum=0" too (an instant return is still a changed board).
    for (const char* alone : {"tear=0.5,power-loss-at=3", "flip=0.1", "stale=1", "stuck=0xCC", "notify-late=1",
                              "notify-dup=1", "reenum=0"})
        EXPECT_TRUE(Parsed(alone).Any()) << alone;
    EXPECT_FALSE(Parsed("seed=3,tear=0").Any());

    for (const char* bad : {"tear=2", "flip=-0.1", "stale=x", "stuck=", "stuck=0x100", "stuck=0x15:0", "stuck=0x15:x",
                            "stuck=0x15:1:2", "notify-late=-1", "notify-late=4294967296", "reenum=x", "wrong-id=1.01"}) {
        SimFaultSpec untouched;
        EXPECT_FALSE(ParseSimFaultSpec(bad, untouched, error)) << bad;
    }
}

// One corruption kind at rate 1 over a run of GETs; what the host gets against what the board said.
TEST(SimFaultInjector, CorruptsAnswersAsEachKindSays)
{
    struct Case
    {
        const char* spec;
        // Checks one corrupted answer against the board's true answer and the previous true
        // answers (of this id and of the other id).
        std::function<void(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& truth,
                           const std::vector<std::uint8_t>& previousSameId,
                           const std::vector<std::uint8_t>& previousOtherId)>
            check;
    };
    const Case cases[] = {
        {"flip=1",
         [](const auto& got, const auto& truth, const auto&, const auto&) {
             EXPECT_EQ(got.size(), truth.size());
             EXPECT_EQ(BitsDiffering(got, truth), 1);
         }},
        {"short=1",
         [](const auto& got, const auto& truth, const auto&, const auto&) {
             EXPECT_GE(got.size(), 1u);
             EXPECT_LT(got.size(), truth.size());
             EXPECT_TRUE(std::equal(got.begin(), got.end(), truth.begin()));
         }},
        {"long=1",
         [](const auto& got, const auto& truth, const auto&, const auto&) {
             EXPECT_GT(got.size(), truth.size());
             EXPECT_LE(got.size(), truth.size() + 16);
             EXPECT_TRUE(std::equal(truth.begin(), truth.end(), got.begin()));
         }},
        {"wrong-id=1",
         [](const auto& got, const auto& truth, const auto&, const auto& other) {
             if (other.empty()) {
                 EXPECT_NE(got[0], truth[0]);
                 EXPECT_TRUE(std::equal(got.begin() + 1, got.end(), truth.begin() + 1));
             } else {
                 EXPECT_EQ(got, other);
             }
         }},
        {"stale=1",
         [](const auto& got, const auto& truth, const auto& same, const auto&) {
             EXPECT_EQ(got, same.empty() ? truth : same);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        auto device = std::make_shared<CCountingAnswers>();
        CSimFaultInjector injector(device, {});
        injector.Arm(Parsed(c.spec), 0);
        std::map<std::uint8_t, std::vector<std::uint8_t>> last;
        for (int i = 0; i < 12; ++i) {
            const std::uint8_t id = i % 3 == 2 ? 0x10 : 0x19;
            const std::uint8_t other = id == 0x19 ? 0x10 : 0x19;
            std::vector<std::uint8_t> got;
            ASSERT_TRUE(injector.GetFeature({id, 0, 0, 0, 0}, got));
            // The board's true answer, rebuilt from its counter.
            std::vector<std::uint8_t> truth(5, static_cast<std::uint8_t>(device->gets));
            truth[0] = id;
            c.check(got, truth, last[id], last[other]);
            last[id] = truth;
        }
        EXPECT_EQ(device->gets, 12); // the board answered every request
        EXPECT_GE(injector.Stats().CorruptedAnswers(), 10u);
    }

    // ids= limits the corruption to the listed report ids.
    auto device = std::make_shared<CCountingAnswers>();
    CSimFaultInjector injector(device, {});
    injector.Arm(Parsed("flip=1,ids=0x19"), 0);
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(injector.GetFeature({0x10, 0, 0, 0, 0}, got));
    EXPECT_EQ(got, (std::vector<std::uint8_t>{0x10, 1, 1, 1, 1}));
    ASSERT_TRUE(injector.GetFeature({0x19, 0, 0, 0, 0}, got));
    EXPECT_EQ(BitsDiffering(got, {0x19, 2, 2, 2, 2}), 1);
}

TEST(SimFaultInjector, StuckReportsFailTheirFirstNOrEveryTime)
{
    struct Case
    {
        const char* spec;
        std::vector<bool> failedOf0x15; // SET, GET, SET, GET, ... of id 0x15
        int reachedBoard;
    };
    const Case cases[] = {
        {"stuck=0x15:3", {true, true, true, false, false, false}, 3 + 6},
        {"stuck=0x15", {true, true, true, true, true, true}, 0 + 6},
        {"stuck=0x15:1/0x11:2", {true, false, false, false, false, false}, 5 + 6 - 2},
        {"stuck=0x1D", {false, false, false, false, false, false}, 6 + 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        auto device = std::make_shared<CCountingAnswers>();
        CSimFaultInjector injector(device, {});
        injector.Arm(Parsed(c.spec), 0);
        std::vector<bool> failed;
        std::vector<std::uint8_t> answer;
        for (int i = 0; i < 6; ++i) {
            failed.push_back(i % 2 ? !injector.GetFeature({0x15, 0}, answer) : !injector.SetFeature({0x15, 0}));
            injector.SetFeature({0x11, 0}); // another id in between
        }
        EXPECT_EQ(failed, c.failedOf0x15);
        EXPECT_EQ(device->sets + device->gets, c.reachedBoard);
        // Set anew, the count starts over.
        injector.Arm(Parsed(c.spec), 0);
        EXPECT_EQ(!injector.SetFeature({0x15, 0}), c.failedOf0x15[0]);
    }
}

// A power cut during an erase or a write, on the S-record loader and on the whole-image loader:
// the expected flash is built here byte by byte from the description of a torn report.
TEST(SimTornFlash, PartErasesAndPartWritesClearOnlyBits)
{
    SimSRecLoaderConfig config;
    config.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}};
    config.blockSize = 16;
    CSimSRecLoader loader(config);
    std::vector<std::uint8_t> old(0x100);
    for (std::size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<std::uint8_t>(0x5A ^ i);
    loader.SetBlockContents(1, old);

    struct Case
    {
        bool erase;
        std::uint32_t stop;
        std::uint8_t mask;
    };
    const Case cases[] = {{true, 0, 0x81}, {true, 0x37, 0x0F}, {true, 0xFF, 0xFF}, {false, 0, 0x01},
                          {false, 5, 0xF0}, {false, 15, 0x00}};
    std::vector<std::uint8_t> data(16);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0x30 + 7 * i);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.erase ? "erase" : "write") + " stopped at " + std::to_string(c.stop));
        loader.SetBlockContents(1, old);
        std::vector<std::uint8_t> report;
        std::vector<std::uint8_t> expected = old;
        const std::uint32_t at = 0x20; // the write's offset in block 1
        if (c.erase) {
            report = {0x12, 1, 0, 0, 0};
            for (std::uint32_t i = 0; i < c.stop; ++i)
                expected[i] = 0xFF;
            expected[c.stop] = static_cast<std::uint8_t>(old[c.stop] | c.mask);
        } else {
            report = {0x11, 0x20, 0x01, 0, 0};
            report.insert(report.end(), data.begin(), data.end());
            for (std::uint32_t i = 0; i < c.stop; ++i)
                expected[at + i] = old[at + i] & data[i];
            // Only the bits both the mask and the data clear are cleared in the stopping byte.
            for (int bit = 0; bit < 8; ++bit) {
                const bool cleared = (c.mask >> bit & 1) && !(data[c.stop] >> bit & 1);
                if (cleared)
                    expected[at + c.stop] = static_cast<std::uint8_t>(expected[at + c.stop] & ~(1u << bit));
            }
        }
        ASSERT_TRUE(loader.Tear(report, c.stop, c.mask));
        EXPECT_EQ(loader.BlockContents(1), expected);
    }
    // Neither an erase of a protected block, nor a report that is no erase or write, nor a stop
    // past the report's span tears anything.
    loader.SetBlockContents(1, old);
    EXPECT_FALSE(loader.Tear({0x12, 0, 0, 0, 0}, 3, 0xFF));
    EXPECT_FALSE(loader.Tear({0x1D, 0, 0, 0, 0}, 0, 0xFF));
    EXPECT_FALSE(loader.Tear({0x12, 1, 0, 0, 0}, 0x100, 0xFF));
    EXPECT_EQ(loader.BlockContents(1), old);

    // The whole-image loader's start command erases its image area up to the stop.
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    SimImageLoaderConfig imageConfig;
    imageConfig.flashSize = 0x9000;
    CSimImageLoader image(imageConfig);
    image.SetFlash(0x8000, std::vector<std::uint8_t>(0x1000, 0x00));
    std::vector<std::uint8_t> start(512, 0);
    start[0] = 0xE4;
    start[2] = 1;
    ASSERT_EQ(image.TearSpan(start), 0x1000u);
    ASSERT_TRUE(image.Tear(start, 0x400, 0x03));
    EXPECT_EQ(image.Flash(0x8000, 0x400), std::vector<std::uint8_t>(0x400, 0xFF));
    EXPECT_EQ(image.FlashByte(0x8400), 0x03);
    EXPECT_EQ(image.Flash(0x8401, 0xBFF), std::vector<std::uint8_t>(0xBFF, 0x00));
    EXPECT_FALSE(image.ImageValid()); // started, never completed
}

// Through the injector on a board: the power loss strikes the N-th report; with tear=1 the erase
// it strikes leaves the block neither as it was nor erased, and the board then boots its loader.
TEST(SimTornFlash, APowerLossOnAnEraseTearsItAndTheNextRunRecovers)
{
    // Find the first erase of a fault-free update.
    std::int64_t eraseNumber = 0;
    {
        CFaultRig clean("basic");
        const FaultRunResult run = clean.Run(0, [&] { clean.mBus.Host()->ClearTranscript(); });
        ASSERT_TRUE(run.reported);
        const auto records = clean.mBus.Host()->Transcript();
        for (std::size_t i = 0; i < records.size() && eraseNumber == 0; ++i) {
            const auto& bytes = records[i].bytes;
            if (records[i].direction == ESimWireDirection::eSet && bytes.size() > 3 && bytes[0] == 0xDC && bytes[3] == 0x12)
                eraseNumber = static_cast<std::int64_t>(i) + 1;
        }
    }
    ASSERT_GT(eraseNumber, 0);
    CFaultRig rig("basic");
    auto pen = rig.Board();
    std::vector<std::vector<std::uint8_t>> before;
    for (std::size_t i = 0; i < pen->Loader().Config().blocks.size(); ++i)
        before.push_back(pen->Loader().BlockContents(i));
    SimFaultSpec spec = Parsed("seed=5,tear=1"); // the power stays off until Restore
    spec.powerLossAt = eraseNumber;
    const FaultRunResult cut = rig.Run(0, [&] { rig.mBus.SetFaults(spec); });
    EXPECT_FALSE(cut.reported);
    EXPECT_EQ(rig.mBus.FaultStats().tornReports, 1u);
    std::size_t torn = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const auto& now = pen->Loader().BlockContents(i);
        torn += now != before[i] ? 1 : 0;
    }
    EXPECT_LE(torn, 1u);
    rig.Restore();
    EXPECT_TRUE(pen->InLoader()); // its checksums were invalidated before the erase
    const FaultRunResult next = rig.Run(0);
    EXPECT_TRUE(next.reported) << next.log;
    EXPECT_TRUE(rig.BoardUpdated());
}

// Power lost in the middle of a whole image: the loader forgets its session and refuses data
// until the host starts over, as a board that rebooted does.
TEST(SimImageLoaderPower, APowerCycleEndsTheProgrammingSession)
{
    auto clock = std::make_shared<CVirtualClock>();
    CScopedClock scoped(clock);
    CSimImageLoader loader;
    std::vector<std::uint8_t> start(512, 0);
    start[0] = 0xE4;
    start[2] = 1;
    auto data = [](std::uint8_t sequence_I, std::uint32_t address_I) {
        std::vector<std::uint8_t> r(512, 0);
        r[0] = 0xE4;
        r[2] = 2;
        r[3] = 1;
        r[4] = sequence_I;
        r[5] = static_cast<std::uint8_t>(address_I);
        r[6] = static_cast<std::uint8_t>(address_I >> 8);
        r[9] = 0x10;
        return r;
    };
    ASSERT_TRUE(loader.SetFeature(start));
    clock->advance(1000);
    ASSERT_TRUE(loader.SetFeature(data(1, 0x8000)));
    clock->advance(1000);
    loader.PowerCycle();
    EXPECT_FALSE(loader.ImageValid());
    EXPECT_FALSE(loader.SetFeature(data(2, 0x8080)));
    EXPECT_EQ(loader.Violations().back(), "data before start");
    ASSERT_TRUE(loader.SetFeature(start));
    clock->advance(1000);
    EXPECT_TRUE(loader.SetFeature(data(1, 0x8000)));
}

TEST(SimBusNotifications, LostDuplicatedAndLateAsTheSpecSays)
{
    struct Case
    {
        const char* spec;
        int arrivalsAtOnce;
        int arrivalsAfterTenSeconds;
        int removalsAfterTenSeconds;
    };
    const Case cases[] = {
        {"", 1, 1, 1},
        {"notify-loss=1", 0, 0, 0},
        {"notify-dup=1", 2, 2, 2},
        {"notify-late=5000,seed=4", -1, 1, 1}, // at once only if the draw was 0 ms
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        CFaultRig rig("basic");
        auto pen = rig.Board();
        int arrivals = 0;
        int removals = 0;
        rig.mBus.SetInterfaceEventSink([&](bool arrival, const std::string& path) {
            EXPECT_EQ(path, pen->CurrentPath());
            (arrival ? arrivals : removals) += 1;
        });
        rig.mBus.SetFaults(Parsed(c.spec));
        pen->Unplug();
        pen->PlugIn();
        EXPECT_TRUE(pen->IsPluggedIn()); // the node is there whatever the program was told
        if (c.arrivalsAtOnce >= 0) {
            EXPECT_EQ(arrivals, c.arrivalsAtOnce);
        }
        rig.mClock->advance(10000);
        EXPECT_EQ(arrivals, c.arrivalsAfterTenSeconds);
        EXPECT_EQ(removals, c.removalsAfterTenSeconds);
        const SimFaultStats stats = rig.mBus.FaultStats();
        EXPECT_EQ(stats.lostNotifications, c.arrivalsAfterTenSeconds == 0 ? 2u : 0u);
        EXPECT_EQ(stats.duplicatedNotifications, c.arrivalsAfterTenSeconds == 2 ? 2u : 0u);
        rig.mBus.SetInterfaceEventSink(nullptr);
    }
}

// A board that takes nearly the whole 90 seconds to come back is waited for; one that takes a
// little longer is reported failed, and, having left its loader with a valid image, runs the new
// firmware: the one false failure the waits cannot avoid. The next run finds it updated.
TEST(SimSlowReturn, BackJustBeforeTheNinetySecondsSucceedsJustAfterFails)
{
    struct Case
    {
        std::int64_t reenumMs;
        bool reported;
        bool updatedAfterwards;
    };
    const Case cases[] = {{1300, true, true}, {60000, true, true}, {89000, true, true}, {91000, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("back after " + std::to_string(c.reenumMs) + " ms");
        CFaultRig rig("basic");
        SimFaultSpec spec;
        spec.reenumMs = c.reenumMs;
        const FaultRunResult run = rig.Run(0, [&] { rig.mBus.SetFaults(spec); });
        EXPECT_EQ(run.reported, c.reported) << run.log;
        rig.mClock->advance(10000);
        EXPECT_EQ(rig.BoardUpdated(), c.updatedAfterwards);
        if (!c.reported) {
            // Too late into its loader: the board waits there, unprogrammed, for the next run.
            EXPECT_TRUE(rig.Board()->InLoader());
            EXPECT_EQ(run.state, 6);
            rig.Restore();
            EXPECT_TRUE(rig.Run(0).reported);
            EXPECT_TRUE(rig.BoardUpdated());
        }
    }

    // Quick into the loader, too slow out of it: a failure is reported for a board that runs the
    // new image.
    CFaultRig rig("basic");
    SimFaultSpec spec;
    const FaultRunResult run = rig.Run(0, [&] {
        rig.mBus.SetFaults(spec);
        // Arm the slow return once the board is in its loader.
        rig.mBus.Host()->AddListener([&](const SimHostEvent& event_I) {
            if (event_I.kind == SimHostEvent::eArrival && event_I.node.path == rig.Board()->Spec().loader.path) {
                SimFaultSpec slow;
                slow.reenumMs = 91000;
                rig.mBus.SetFaults(slow);
            }
        });
    });
    EXPECT_FALSE(run.reported);
    EXPECT_TRUE(run.HasLine("[ERROR] There was a problem swapping out of flash mode (5)")) << run.log;
    rig.mClock->advance(10000);
    EXPECT_TRUE(rig.BoardUpdated());
}

// A checksum table garbled on its way back after the commit is read again instead of failing an
// update whose board holds the image.
TEST(FinalizeChecksums, AGarbledReadBackIsReadAgain)
{
    // How many checksum reads a fault-free update makes: the last one follows the commit.
    int reads = 0;
    {
        CFaultRig clean("basic");
        clean.Board()->LoaderDevice()->SetAnswerTamper(0x19, [&](std::vector<std::uint8_t>&) { ++reads; });
        ASSERT_TRUE(clean.Run(0).reported);
    }
    ASSERT_GE(reads, 2);
    struct Case
    {
        int garbled; // how many reads after the commit are garbled
        bool reported;
    };
    for (const Case c : {Case{1, true}, Case{2, true}, Case{3, false}}) {
        SCOPED_TRACE(std::to_string(c.garbled) + " garbled reads");
        CFaultRig rig("basic");
        int seen = 0;
        rig.Board()->LoaderDevice()->SetAnswerTamper(0x19, [&](std::vector<std::uint8_t>& answer_IO) {
            if (++seen >= reads && seen < reads + c.garbled)
                std::fill(answer_IO.begin() + 5, answer_IO.end(), 0); // every block's checksum
        });
        const FaultRunResult run = rig.Run(0);
        EXPECT_EQ(run.reported, c.reported) << run.log;
        EXPECT_EQ(run.HasLine("FinalizeFlash: the checksums read back do not add up to the image's; reading them again"),
                  true);
        // The board holds the image either way; only three garbled reads in a row fail the run.
        EXPECT_TRUE(rig.BoardUpdated());
    }
}

// The answer to another report, of the length asked for, is as good as none: it is asked again.
TEST(AnswerOfAnotherReport, IsReadAgain)
{
    struct Case
    {
        std::uint8_t id; // the report whose first answer carries another id
        std::uint8_t otherId;
    };
    for (const Case c : {Case{0x17, 0x18}, Case{0x19, 0x1A}, Case{0x21, 0x22}}) {
        SCOPED_TRACE(c.id);
        CFaultRig rig("basic");
        int answers = 0;
        rig.Board()->LoaderDevice()->SetAnswerTamper(c.id, [&](std::vector<std::uint8_t>& answer_IO) {
            if (answers++ == 0)
                answer_IO[0] = c.otherId;
        });
        const FaultRunResult run = rig.Run(0);
        EXPECT_TRUE(run.reported) << run.log;
        EXPECT_TRUE(run.HasLine("Read error: retrying...")) << run.log;
        EXPECT_GE(answers, 2);
        EXPECT_TRUE(rig.BoardUpdated());
    }
}

// A block table garbled on the link (block 0's size swallowing its neighbours, a data block
// marked protected) would leave blocks of the old firmware under valid checksums: it is read
// until two reads agree, and an update whose table never reads the same twice fails.
TEST(GarbledBlockTable, IsReadAgainUntilTwoReadsAgree)
{
    // Description entries are 10 bytes from byte 1: address, size, flags (little-endian).
    struct Case
    {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&, int read)> garble;
        int garbledReads; // how many reads, from the first, are garbled (-1 = all)
        bool reported;
    };
    const Case cases[] = {
        {"block 0 size 0x11000", [](std::vector<std::uint8_t>& a, int) { a[1 + 4 + 2] ^= 0x01; }, 1, true},
        {"block 3 protected", [](std::vector<std::uint8_t>& a, int) { a[1 + 3 * 10 + 9] ^= 0x80; }, 1, true},
        // Two garbled reads, each its own way, then two true ones.
        {"two reads garbled", [](std::vector<std::uint8_t>& a, int read) { a[1 + read * 10 + 9] ^= 0x80; }, 2, true},
        // Every read garbled, each its own way.
        {"every read garbled", [](std::vector<std::uint8_t>& a, int read) { a[1 + read * 10 + 9] ^= 0x80; }, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFaultRig rig("basic");
        int reads = 0;
        rig.Board()->LoaderDevice()->SetAnswerTamper(0x18, [&](std::vector<std::uint8_t>& answer_IO) {
            ++reads;
            if (c.garbledReads < 0 || reads <= c.garbledReads)
                c.garble(answer_IO, reads);
        });
        const FaultRunResult run = rig.Run(0);
        EXPECT_EQ(run.reported, c.reported) << run.log;
        if (run.reported) {
            EXPECT_TRUE(run.HasLine("LoadLoaderDescription: the block table read differently; reading it again"));
            EXPECT_TRUE(rig.BoardUpdated()) << rig.WhyNotUpdated("pen", 0);
        } else {
            EXPECT_TRUE(run.HasLine("[ERROR] LoadLoaderDescription: the block table never read the same twice in a row (8)"))
                << run.log;
            // Nothing was touched: the board still runs its old firmware.
            EXPECT_EQ(rig.Board()->FlashVersion(), kSimFactoryVersion);
        }
    }
}
