// Read-back verification after S-record programming, on the simulated tablet and a virtual clock.

#include "../orchestration/SimTabletFixture.h"

#include "FWUpdater/CFLProtocol.h"

namespace {

// Updates the pen board; ids_O: the inner report ids of the GETs and SETs sent to its loader.
bool Runs(SimTabletFixture& f_I, bool verify_I, std::vector<std::uint8_t>& ids_O)
{
    EXPECT_TRUE(f_I.mController->UpdateDeviceList());
    f_I.mController->SetUpdateType(0);
    f_I.mController->SetVerifyAfterProgramming(verify_I);
    EXPECT_TRUE(f_I.mController->ProcessUpdateFile(f_I.ScenarioFile("basic.pen")));
    const bool updated = f_I.mController->UpdateDevice();
    for (const SimWireRecord& record : f_I.mBus.Host()->Transcript()) {
        std::vector<std::uint8_t> inner;
        if (record.path != f_I.mBus.Board("pen")->Spec().loader.path || record.bytes.empty())
            continue;
        ids_O.push_back(SimUnwrapVendorReport(record.bytes, inner) && !inner.empty() ? inner[0] : record.bytes[0]);
    }
    return updated;
}

} // namespace

TEST(Verify, ReadsEveryProgrammedBlockBackBeforeLeavingTheLoaderAndOnlyWhenAsked)
{
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        SimTabletFixture f("basic");
        std::vector<std::uint8_t> ids;
        ASSERT_TRUE(Runs(f, verify, ids)) << f.LogText();
        EXPECT_EQ(f.mController->WasVerified(), verify);
        EXPECT_EQ(f.LogHas("Programmed flash verified"), verify);
        // The image fills five 4 KiB blocks; 64 bytes per read report.
        const auto count = [&](std::uint8_t id_I) { return std::count(ids.begin(), ids.end(), id_I); };
        EXPECT_EQ(count(eBL_HID_REP_VALUE_ID), verify ? 5 : 0);
        EXPECT_EQ(count(eBL_HID_REP_READ_ID), verify ? 5 * 4096 / 64 : 0);
        // Read back after the checksums were committed, before the loader was left (from the end).
        const auto fromEnd = [&](std::uint8_t id_I) { return std::find(ids.rbegin(), ids.rend(), id_I) - ids.rbegin(); };
        const auto read = fromEnd(eBL_HID_REP_READ_ID);
        const auto commit = fromEnd(eBL_HID_REP_WRITE_CHECKSUMS_ID);
        EXPECT_TRUE(!verify || (fromEnd(eBL_HID_REP_EXIT_LOADER_ID) < read && read < commit && commit < std::ssize(ids)));
    }
}

TEST(Verify, ADifferenceFailsTheUpdateAndKeepsTheBoardInItsLoader)
{
    SimTabletFixture f("basic");
    const auto pen = f.mBus.Board("pen");
    // The board reads back the last byte of every read answer differently from what it was sent.
    pen->Loader().SetAnswerTamper(eBL_HID_REP_READ_ID, [](std::vector<std::uint8_t>& answer) {
        if (answer.size() > 5)
            answer.back() ^= 0x5A;
    });
    std::vector<std::uint8_t> ids;
    EXPECT_FALSE(Runs(f, true, ids));
    EXPECT_EQ(f.mNotifier->GetState(), ESTATE_FAILED);
    EXPECT_FALSE(f.mController->WasVerified());
    EXPECT_GE(f.LogFind("[ERROR] VerifyFlash: block 1 differs at [0x0000103F]"), 0) << f.LogText();
    // It fails there, as a programming failure: the way back to the application is not taken.
    EXPECT_GE(f.LogFind("[ERROR] General Program Failure (6)"), 0) << f.LogText();
    EXPECT_EQ(f.LogFind("Getting Normal Interface..."), -1) << f.LogText();
    // Its checksums invalidated: it comes back as the loader, not as an unverified application.
    EXPECT_FALSE(pen->Loader().ApplicationValid());
    f.mClock->advance(5000);
    EXPECT_TRUE(pen->InLoader());
}
