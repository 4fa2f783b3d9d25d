// One fault per update: a success leaves the board updated; after a failure the next run finishes it.

#include "FaultRig.h"

namespace {

using Arm = std::function<void(CFaultRig&)>;
constexpr auto eSet = ESimWireDirection::eSet;
constexpr auto eGet = ESimWireDirection::eGet;

constexpr std::uint8_t kWriteBlock = 0x11;
constexpr std::uint8_t kErase = 0x12;
constexpr std::uint8_t kChecksums = 0x19;
constexpr std::uint8_t kChecksums1 = 0xDA;

const std::string kSwapError = "[ERROR] There was a problem swapping out of flash mode (5)";
const std::string kInLoader = "Device already in loader mode";
const std::string kGeneralFailure = "[ERROR] General Program Failure (6)";

struct FaultCase
{
    const char* what;
    const char* scenario = "basic";
    const char* board = "pen";
    std::size_t tablet = 0;
    Arm arm {};             // runs just before UpdateDevice
    bool reported = false;
    int state = -1;        // -1: not checked
    int errorCode = -1;
    std::vector<int> states {};
    std::vector<std::string> lines {}; // line beginnings the log holds
    std::vector<std::string> absent {}; // and those it does not
    int inLoader = -1;       // the board, powered again after the run: in its loader (1) or not (0)
    int version = -1;        // the version word its flash holds then
    Arm after {};            // further checks of the board after the run
    std::string nextLine {}; // a line of the next run's log
};

Arm Faults(const std::string& text_I)
{
    return [text_I](CFaultRig& rig_IO) { rig_IO.mBus.SetFaults(Parsed(text_I)); };
}

// The faults, with the power loss (or unplug) at the k-th report of this id of a fault-free update.
Arm At(std::int64_t SimFaultSpec::*member_I, std::uint8_t id_I, ESimWireDirection direction_I, int k_I,
       const std::string& text_I = "")
{
    return [=](CFaultRig& rig_IO) {
        SimFaultSpec spec = Parsed(text_I);
        spec.*member_I = CFaultRig::NthReport(rig_IO.mScenario.name, id_I, direction_I, k_I);
        rig_IO.mBus.SetFaults(spec);
    };
}
constexpr auto kPowerLoss = &SimFaultSpec::powerLossAt;
constexpr auto kUnplug = &SimFaultSpec::unplugAt;

// Runs fn_I on every answer of this report the board gives, with the count so far.
Arm Tamper(std::uint8_t id_I, std::function<void(CFaultRig&, std::vector<std::uint8_t>&, int)> fn_I)
{
    return [=](CFaultRig& rig_IO) {
        auto count = std::make_shared<int>(0);
        rig_IO.Board()->Loader().SetAnswerTamper(id_I, [&rig_IO, fn_I, count](std::vector<std::uint8_t>& answer_IO) {
            fn_I(rig_IO, answer_IO, ++*count);
        });
    };
}
int AnswersOfACleanRun(const std::string& scenario_I, std::uint8_t id_I)
{
    CFaultRig clean(scenario_I);
    int answers = 0;
    clean.Run("pen", 0, [&] { clean.Board()->Loader().SetAnswerTamper(id_I, [&](auto&) { ++answers; }); });
    return answers;
}

// Application blocks emptied after the last checksum read: the sums agree, the start-up check fails.
Arm FlashCellsFailAfterTheLastChecksumRead(std::uint8_t checksumsId_I)
{
    return [checksumsId_I](CFaultRig& rig_IO) {
        const int last = AnswersOfACleanRun(rig_IO.mScenario.name, checksumsId_I);
        Tamper(checksumsId_I, [last](CFaultRig& rig, std::vector<std::uint8_t>&, int n) {
            CSimSRecLoader& loader = rig.Board()->Loader();
            for (std::size_t i = 0; n == last && i < loader.Config().blocks.size(); ++i) {
                if (!loader.BlockContents(i).empty() && !(loader.Config().blocks[i].flags & 0x8000))
                    loader.SetBlockContents(i, std::vector<std::uint8_t>(loader.BlockContents(i).size(), 0x00));
            }
        })(rig_IO);
    };
}

// Every block's checksum zeroed in this many reads of the table, from the one after the commit.
Arm GarbledReadBacks(int garbled_I)
{
    return [garbled_I](CFaultRig& rig_IO) {
        const int reads = AnswersOfACleanRun(rig_IO.mScenario.name, kChecksums);
        Tamper(kChecksums, [=](CFaultRig&, std::vector<std::uint8_t>& a, int n) {
            if (n >= reads && n < reads + garbled_I)
                std::fill(a.begin() + 5, a.end(), 0);
        })(rig_IO);
    };
}
const std::string kReadAgain =
    "FinalizeFlash: the checksums read back do not add up to the image's; reading them again";

void RunFaultCase(const FaultCase& c)
{
    SCOPED_TRACE(c.what);
    CFaultRig rig(c.scenario);
    const FaultRunResult run = rig.Run(c.board, c.tablet, [&] { c.arm(rig); });
    EXPECT_EQ(run.reported, c.reported) << Tail(run.log);
    EXPECT_TRUE(c.state < 0 || run.state == c.state) << run.state;
    EXPECT_TRUE(c.errorCode < 0 || run.errorCode == c.errorCode) << run.errorCode;
    EXPECT_TRUE(c.states.empty() || run.States() == c.states) << testing::PrintToString(run.States());
    for (const std::string& line : c.lines)
        EXPECT_GE(run.Find(line), 0) << line;
    for (const std::string& line : c.absent)
        EXPECT_EQ(run.Find(line), -1) << line;
    const auto board = rig.Board(c.board, c.tablet);
    board->PowerOn();
    EXPECT_TRUE(c.inLoader < 0 || board->InLoader() == (c.inLoader == 1));
    EXPECT_TRUE(c.version < 0 || board->FlashVersion() == c.version) << board->FlashVersion();
    if (c.after)
        c.after(rig);
    rig.Board()->Loader().FailSets(kErase, 0);
    for (int id = 0; id < 256; ++id)
        rig.Board()->Loader().SetAnswerTamper(static_cast<std::uint8_t>(id), nullptr);
    if (!c.reported) {
        rig.Restore();
        const FaultRunResult next = rig.Run(c.board, c.tablet);
        EXPECT_TRUE(next.reported) << Tail(next.log);
        EXPECT_TRUE(c.nextLine.empty() || next.Find(c.nextLine) >= 0) << c.nextLine;
    }
    EXPECT_EQ(rig.WhyNotUpdated(c.board, c.tablet), "");
}

const FaultCase kCases[] = {
    {.what = "before the checksums are invalidated the board still runs its application",
     .arm = At(kPowerLoss, 0x1C /* magic word */, eSet, 0, "power-back=500"), .state = 6, .errorCode = 6,
     .lines = {"[ERROR] Failed to set magic word (8)", kGeneralFailure}, .inLoader = 0, .version = kSimFactoryVersion},
    {.what = "while blocks are written", .arm = At(kPowerLoss, kWriteBlock, eSet, 40), .state = 6,
     .lines = {"[ERROR] ProgramBoardSRec: Failed to write flash data to device (8)", kGeneralFailure}, .inLoader = 1,
     .nextLine = kInLoader},
    {.what = "a blip while writing is ridden", .arm = At(kPowerLoss, kWriteBlock, eSet, 20, "power-back=200"),
     .reported = true, .lines = {"Attempting to reopen connection."},
     .after = [](CFaultRig& r) { EXPECT_EQ(r.mBus.FaultStats().powerLosses, 1u); }},
    // The board loses its new block checksums and commits zeros: its checksum sum is not the image's.
    {.what = "between the block checksums and their commit",
     .arm = At(kPowerLoss, 0x1D /* commit */, eSet, -1, "power-back=300"),
     .state = 6, .lines = {"[ERROR] Checksum mismatch after programming: expected 0x", kGeneralFailure}, .inLoader = 1},
    {.what = "after the final commit the new image runs", .arm = At(kPowerLoss, kChecksums, eGet, -1),
     .state = 6, .lines = {"[ERROR] Failed refreshing checksum info (8)"}, .inLoader = 0, .version = kSimDemoVersion},
    {.what = "a torn erase after the invalidation commit", .arm = At(kPowerLoss, kErase, eSet, 0, "seed=5,tear=1"),
     .state = 6, .inLoader = 1,
     .after = [](CFaultRig& r) { EXPECT_EQ(r.mBus.FaultStats().tornReports, 1u); }, .nextLine = kInLoader},
    // 11 block attempts of 5 erase reports of 101 transfers; the invalidated checksums keep the loader.
    {.what = "erases failing beyond the retries",
     .arm = [](CFaultRig& r) { r.Board()->Loader().FailSets(kErase, 11 * 5 * 101); }, .state = 6, .errorCode = 6,
     .lines = {"[ERROR] Failed erasing block from device (8)",
               "[ERROR] ProgramBoardSRec: Failed to write flash data to device (8)",
               "[ERROR] Error Programming Board (8)", kGeneralFailure},
     .inLoader = 1},
    {.what = "every checksum commit lost fails before any erase", .arm = Faults("drop-set=1,ids=0x1D"), .errorCode = 6,
     .lines = {"[ERROR] Failed writing checksums to ROM (8)",
               "[ERROR] ProgramBoardSRec: Failed to initialize to flash data (8)"},
     .inLoader = 0, .version = kSimFactoryVersion,
     .after = [](CFaultRig& r) { EXPECT_EQ(r.Board()->Loader().EraseCount(1), 0); }},
    {.what = "busy for ever", .arm = Faults("busy=4294967295"), .state = 6, .errorCode = 6,
     .lines = {"[ERROR] Failed writing block to device (8)"}, .inLoader = 1, .nextLine = kInLoader},
    {.what = "unplugged while entering the loader", .arm = At(kUnplug, 0xCC, eSet, 0), .states = {0, 1, 2, 6},
     .lines = {"Error returned from SwitchToBLMode()", kGeneralFailure}, .inLoader = 0},
    // The flash was complete and committed: plugged back, the board sits in its loader.
    {.what = "unplugged at the exit, not back", .arm = At(kUnplug, 0x15 /* exit */, eSet, -1), .errorCode = 5,
     .states = {0, 1, 2, 3, 4, 6}, .lines = {kSwapError}, .inLoader = 1,
     .after = [](CFaultRig& r) { EXPECT_TRUE(r.Board()->Loader().ApplicationValid()); }},
    // Back in state 4, sent away by the retried exit, removed in state 5: terminated, the safe side.
    {.what = "unplugged at the exit and back", .arm = At(kUnplug, 0x15, eSet, -1, "replug=1500"), .errorCode = 5,
     .states = {0, 1, 2, 3, 4, 5, 7, 6}, .after = [](CFaultRig& r) { EXPECT_EQ(r.WhyNotUpdated(), ""); }},
    // Back near the end of the 90-second wait; too late into its loader, it waits there.
    {.what = "back after 89 s", .arm = Faults("reenum=89000"), .reported = true},
    {.what = "back after 91 s", .arm = Faults("reenum=91000"), .state = 6, .inLoader = 1},
    // Quick into the loader, too slow out of it: a false failure the waits cannot avoid.
    {.what = "back from the loader after 91 s",
     .arm = [](CFaultRig& r) {
         auto once = std::make_shared<bool>(true);
         r.mBus.Host()->AddListener([&r, once](const SimHostEvent& event_I) {
             if (*once && event_I.kind == SimHostEvent::eArrival && event_I.node.path == r.Board()->Spec().loader.path)
                 r.mBus.SetFaults(Parsed("reenum=91000"));
             *once = *once && event_I.node.path != r.Board()->Spec().loader.path;
         });
     },
     .lines = {kSwapError},
     .after = [](CFaultRig& r) {
         r.mClock->advance(10000);
         EXPECT_EQ(r.WhyNotUpdated(), "");
     }},
    // The first answer carries the next report's id, at the length asked for.
    {.what = "an answer of another report", .arm = Tamper(0x17, [](CFaultRig&, auto& a, int n) { a[0] += n == 1; }),
     .reported = true, .lines = {"Read error: retrying..."}},
    {.what = "a checksum table of another report",
     .arm = Tamper(kChecksums, [](CFaultRig&, auto& a, int n) { a[0] += n == 1; }), .reported = true,
     .lines = {"Read error: retrying..."}},
    // Block table entries are 10 bytes from byte 1: address, size, flags (little-endian).
    {.what = "block table: two reads garbled, each its own way",
     .arm = Tamper(0x18, [](CFaultRig&, auto& a, int n) { a[1 + std::min(n, 3) * 10 + 9] ^= n <= 2 ? 0x80 : 0; }),
     .reported = true, .lines = {"LoadLoaderDescription: the block table read differently; reading it again"}},
    {.what = "block table: never the same twice",
     .arm = Tamper(0x18, [](CFaultRig&, auto& a, int n) { a[1 + n % 30 * 10 + 9] ^= 0x80; }),
     .lines = {"[ERROR] LoadLoaderDescription: the block table never read the same twice in a row (8)"},
     .version = kSimFactoryVersion}, // nothing was touched
    // Only three garbled read-backs in a row fail the run; the board holds the image either way.
    {.what = "one garbled read-back", .arm = GarbledReadBacks(1), .reported = true, .lines = {kReadAgain}},
    {.what = "two garbled read-backs", .arm = GarbledReadBacks(2), .reported = true, .lines = {kReadAgain}},
    {.what = "three garbled read-backs", .arm = GarbledReadBacks(3), .lines = {kReadAgain},
     .after = [](CFaultRig& r) { EXPECT_EQ(r.WhyNotUpdated(), ""); }},
    {.what = "a board that comes back as its loader", .arm = FlashCellsFailAfterTheLastChecksumRead(kChecksums),
     .state = 6, .lines = {"GetNormalInterface: the device came back in loader mode", kSwapError}, .inLoader = 1},
};

} // namespace

TEST(FaultUpdate, OneFaultThenARunThatRecovers)
{
    for (const FaultCase& c : kCases)
        RunFaultCase(c);
}

// Switching in place: a lost exit report is no success, a lost answer to it is (the ping tells).
TEST(InPlaceExit, LostExitReportsAndLostAnswers)
{
    for (const char* board : {"pen", "touch", "bluetooth"}) {
        RunFaultCase({.what = board, .scenario = "protocol1", .board = board, .arm = Faults("drop-set=1,ids=0xD6"),
                      .state = 6, .errorCode = 5,
                      .lines = {"Error returned from SwitchFromBLMode()",
                                "GetNormalInterface: the board did not leave its loader", kSwapError},
                      .absent = {"Device Update complete!"}, .inLoader = 1});
        RunFaultCase({.what = board, .scenario = "protocol1", .board = board, .arm = Faults("ack-loss=1,ids=0xD6"),
                      .reported = true, .state = 5, .lines = {"Error returned from SwitchFromBLMode()"}});
    }
}

// The pen takes the exit report but stays in its loader: its answer to the reopen's status read shows it.
TEST(InPlaceExitAccepted, ABoardThatStaysInItsLoaderIsNoSuccess)
{
    RunFaultCase({.what = "in place", .scenario = "protocol1",
                  .arm = FlashCellsFailAfterTheLastChecksumRead(kChecksums1),
                  .state = 6, .errorCode = 5,
                  .absent = {"Error returned from SwitchFromBLMode()", "Device Update complete!"},
                  .inLoader = 1});
}

// A protocol 1 block summed other than the image's stops the update there, before the way back.
TEST(ProtocolOneBlockChecksum, ABlockTheBoardSumsDifferentlyFailsTheUpdateThere)
{
    const Arm arm = Tamper(kChecksums1, [](CFaultRig&, std::vector<std::uint8_t>& a, int) {
        for (std::size_t at = 5; at + 4 <= a.size(); at += 4)
            a[at] ^= 0x01;
    });
    RunFaultCase({.what = "summed differently", .scenario = "protocol1", .arm = arm, .state = 6,
                  .lines = {kGeneralFailure}, .absent = {"Exiting Loader Mode...", "Starting FinalizeFlash..."}});
}
// A lost mode answer once counted as "not in the loader", and a stuck touch board as switched back.
TEST(I2CBridge, LostModeAnswersAreNotTakenForTheApplication)
{
    for (const char* text : {"seed=3892,drop-set=0.01,drop-get=0.01,ack-loss=0.01", "seed=4156,drop-get=0.05"}) {
        CFaultRig rig("basic");
        const FaultRunResult run = rig.Run("touch", 0, [&] { rig.mBus.SetFaults(Parsed(text)); });
        EXPECT_EQ(run.Find("Checksum Support: No"), -1) << text;
        EXPECT_EQ(run.reported, rig.WhyNotUpdated("touch", 0).empty()) << text << "\n" << Tail(run.log);
        EXPECT_GT(rig.mBus.FaultStats().droppedGets, 0u) << text;
    }
}

// The update follows its own tablet while the other is replugged, and never takes one for the other.
TEST(TwoTablets, TheWaitsFollowTheUpdatedTablet)
{
    for (const bool back : {true, false}) {
        // The first pen is replugged once the second has left for its loader (or for good, at the exit).
        auto seen = std::make_shared<int>(0); // 1: the second pen was in its loader, 2: done
        auto step = std::make_shared<std::function<void(CFaultRig&)>>();
        *step = [seen, back, next = std::weak_ptr(step)](CFaultRig& r) {
            const auto second = r.Board("pen", 1);
            *seen = std::max(*seen, second->InLoader() ? 1 : 0);
            if (back ? second->IsPluggedIn() : *seen == 0 || second->InLoader()) {
                r.mClock->scheduleAfter(10, [&r, next] { (*next.lock())(r); });
                return;
            }
            *seen = 2;
            if (!back)
                second->Unplug();
            r.Board("pen", 0)->Unplug();
            r.Board("pen", 0)->PlugIn();
        };
        RunFaultCase({.what = back ? "the other replugged" : "the updated one not back", .scenario = "two-tablets",
                      .tablet = 1, .arm = *step, .reported = back, .errorCode = back ? 0 : 5,
                      .after = [seen](CFaultRig& r) {
                          EXPECT_EQ(*seen, 2);
                          EXPECT_EQ(r.Board("pen", 0)->Loader().EraseCount(1), 0);
                          r.Board("pen", 1)->PlugIn(); // it runs the new image
                          r.mClock->advance(5000);
                          EXPECT_EQ(r.WhyNotUpdated("pen", 1), "");
                      }});
    }
}
