// The fault model itself: the campaign's figures mean something only if each fault does what its
// key says. Expected values are rebuilt here from the description of each fault.

#include "CSimSRecLoader.h"
#include "FaultRig.h"
#include "SimState.h"

#include <bitset>

namespace {

// Answers {id, n, n, n, n}, n counting the GETs it answered: every answer differs from the last.
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

using Bytes = std::vector<std::uint8_t>;

int BitsDiffering(const Bytes& a_I, const Bytes& b_I)
{
    int bits = 0;
    for (std::size_t i = 0; i < std::min(a_I.size(), b_I.size()); ++i)
        bits += static_cast<int>(std::bitset<8>(static_cast<unsigned>(a_I[i] ^ b_I[i])).count());
    return bits;
}

} // namespace

// One corruption kind at rate 1; what the host gets against the board's true answer and the
// previous true answers of the same and of the other report id.
TEST(SimFaultInjector, CorruptsAnswersAsEachKindSays)
{
    using Check = std::function<void(const Bytes& got, const Bytes& truth, const Bytes& same, const Bytes& other)>;
    const std::pair<const char*, Check> cases[] = {
        {"flip=1", [](auto& got, auto& truth, auto&, auto&) { EXPECT_EQ(BitsDiffering(got, truth), 1); }},
        {"short=1",
         [](auto& got, auto& truth, auto&, auto&) {
             EXPECT_TRUE(!got.empty() && got.size() < truth.size() && std::equal(got.begin(), got.end(), truth.begin()));
         }},
        {"long=1",
         [](auto& got, auto& truth, auto&, auto&) {
             EXPECT_TRUE(got.size() > truth.size() && got.size() <= truth.size() + 16);
             EXPECT_TRUE(std::equal(truth.begin(), truth.end(), got.begin()));
         }},
        {"wrong-id=1",
         [](auto& got, auto& truth, auto&, auto& other) {
             if (!other.empty())
                 EXPECT_EQ(got, other);
             else
                 EXPECT_TRUE(got[0] != truth[0] && std::equal(got.begin() + 1, got.end(), truth.begin() + 1));
         }},
        {"stale=1", [](auto& got, auto& truth, auto& same, auto&) { EXPECT_EQ(got, same.empty() ? truth : same); }},
    };
    for (const auto& [spec, check] : cases) {
        SCOPED_TRACE(spec);
        auto device = std::make_shared<CCountingAnswers>();
        CSimFaultInjector injector(device, {});
        injector.Arm(Parsed(spec), 0);
        std::map<std::uint8_t, Bytes> last;
        for (int i = 0; i < 12; ++i) {
            const std::uint8_t id = i % 3 == 2 ? 0x10 : 0x19;
            Bytes got;
            ASSERT_TRUE(injector.GetFeature({id, 0, 0, 0, 0}, got));
            Bytes truth(5, static_cast<std::uint8_t>(device->gets));
            truth[0] = id;
            check(got, truth, last[id], last[id == 0x19 ? 0x10 : 0x19]);
            last[id] = truth;
        }
        EXPECT_EQ(device->gets, 12);
        EXPECT_GE(injector.Stats().CorruptedAnswers(), 10u);
    }
    // ids= limits the corruption to the listed reports.
    auto device = std::make_shared<CCountingAnswers>();
    CSimFaultInjector injector(device, {});
    injector.Arm(Parsed("flip=1,ids=0x19"), 0);
    Bytes got;
    ASSERT_TRUE(injector.GetFeature({0x10, 0, 0, 0, 0}, got));
    EXPECT_EQ(got, (Bytes{0x10, 1, 1, 1, 1}));
    ASSERT_TRUE(injector.GetFeature({0x19, 0, 0, 0, 0}, got));
    EXPECT_EQ(BitsDiffering(got, {0x19, 2, 2, 2, 2}), 1);
}

TEST(SimFaultInjector, StuckReportsFailTheirFirstNOrEveryTime)
{
    struct Case
    {
        const char* spec;
        std::vector<bool> failedOf0x15; // SET, GET, SET, ... of id 0x15, another id's SET between
        int reachedBoard;
    };
    const Case cases[] = {{"stuck=0x15:3", {true, true, true, false, false, false}, 3 + 6},
                          {"stuck=0x15", {true, true, true, true, true, true}, 0 + 6},
                          {"stuck=0x15:1/0x11:2", {true, false, false, false, false, false}, 5 + 6 - 2},
                          {"stuck=0x1D", {false, false, false, false, false, false}, 6 + 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        auto device = std::make_shared<CCountingAnswers>();
        CSimFaultInjector injector(device, {});
        injector.Arm(Parsed(c.spec), 0);
        std::vector<bool> failed;
        Bytes answer;
        for (int i = 0; i < 6; ++i) {
            failed.push_back(i % 2 ? !injector.GetFeature({0x15, 0}, answer) : !injector.SetFeature({0x15, 0}));
            injector.SetFeature({0x11, 0});
        }
        EXPECT_EQ(failed, c.failedOf0x15);
        EXPECT_EQ(device->sets + device->gets, c.reachedBoard);
    }
}

// A torn erase leaves the bytes before the stop erased and only some bits of the stopping byte
// set; a torn write clears only bits (NOR flash), up to the stop and in the stopping byte only
// where both the mask and the data clear them.
TEST(SimTornFlash, PartErasesAndPartWritesClearOnlyBits)
{
    SimSRecLoaderConfig config;
    config.blocks = {{0x0000, 0x100, 0x8004}, {0x0100, 0x100, 4}};
    config.blockSize = 16;
    CSimSRecLoader loader(config);
    Bytes old(0x100), data(16);
    for (std::size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<std::uint8_t>(0x5A ^ i);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0x30 + 7 * i);
    const struct
    {
        bool erase;
        std::uint32_t stop;
        std::uint8_t mask;
    } cases[] = {{true, 0, 0x81}, {true, 0x37, 0x0F}, {true, 0xFF, 0xFF}, {false, 0, 0x01}, {false, 5, 0xF0}, {false, 15, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.erase ? "erase" : "write") + " stopped at " + std::to_string(c.stop));
        loader.SetBlockContents(1, old);
        Bytes expected = old;
        Bytes report;
        if (c.erase) {
            report = {0x12, 1, 0, 0, 0};
            std::fill_n(expected.begin(), c.stop, 0xFF);
            expected[c.stop] = static_cast<std::uint8_t>(old[c.stop] | c.mask);
        } else {
            report = data; // a write at 0x120
            report.insert(report.begin(), {0x11, 0x20, 0x01, 0, 0});
            for (std::uint32_t i = 0; i < c.stop; ++i)
                expected[0x20 + i] = old[0x20 + i] & data[i];
            expected[0x20 + c.stop] &= static_cast<std::uint8_t>(~(c.mask & ~data[c.stop]));
        }
        ASSERT_TRUE(loader.Tear(report, c.stop, c.mask));
        EXPECT_EQ(loader.BlockContents(1), expected);
    }
    // A protected block, a report that is no erase or write, a stop past the span: nothing torn.
    loader.SetBlockContents(1, old);
    EXPECT_FALSE(loader.Tear({0x12, 0, 0, 0, 0}, 3, 0xFF));
    EXPECT_FALSE(loader.Tear({0x1D, 0, 0, 0, 0}, 0, 0xFF));
    EXPECT_FALSE(loader.Tear({0x12, 1, 0, 0, 0}, 0x100, 0xFF));
    EXPECT_EQ(loader.BlockContents(1), old);
}

// --sim-state carries the boards from one process to the next; a file that does not fit the
// scenario, is cut short or damaged is refused and changes nothing.
TEST(SimState, RefusesAFileThatDoesNotFitAndChangesNothing)
{
    CTempDir dir;
    CFaultRig basic("basic");
    ASSERT_TRUE(SaveSimState(basic.mBus, dir.File("basic.state")));
    std::string error;
    CFaultRig two("two-tablets");
    EXPECT_FALSE(LoadSimState(two.mBus, dir.File("basic.state"), &error));
    EXPECT_NE(error.find("holds 2 boards, the bus 4"), std::string::npos) << error;

    const std::string text = ReadFile(dir.File("basic.state"));
    std::string corrupt = text;
    corrupt.replace(corrupt.find("magic ") + 6, 1, "Z");
    WriteFile(dir.File("cut.state"), text.substr(0, text.size() / 2));
    WriteFile(dir.File("corrupt.state"), corrupt);
    CFaultRig target("basic");
    target.Board()->LoaderDevice()->SetBlockContents(5, Bytes(0x1000, 0x22));
    for (const char* name : {"cut.state", "corrupt.state", "missing.state"}) {
        EXPECT_FALSE(LoadSimState(target.mBus, dir.File(name), &error)) << name;
        EXPECT_EQ(target.Board()->Loader().FlashByte(0x5000), 0x22) << name;
    }
    // A good file brings the saved boards back.
    EXPECT_TRUE(LoadSimState(target.mBus, dir.File("basic.state"), &error)) << error;
    EXPECT_EQ(target.Board()->Loader().FlashByte(0x5000), basic.Board()->Loader().FlashByte(0x5000));
}
