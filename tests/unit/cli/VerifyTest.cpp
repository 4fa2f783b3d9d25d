// Read-back verification after S-record programming, on the simulated tablet and a virtual clock.

#include "../orchestration/SimTabletFixture.h"

#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/CSRec.h"

namespace {

// Inner report ids of the GETs and SETs that went to the loader node.
std::vector<std::uint8_t> LoaderReportIds(const CSimHost& host_I, const std::string& loaderPath_I)
{
    std::vector<std::uint8_t> ids;
    for (const SimWireRecord& record : host_I.Transcript()) {
        if (record.path != loaderPath_I || record.bytes.empty())
            continue;
        std::vector<std::uint8_t> inner;
        if (SimUnwrapVendorReport(record.bytes, inner) && !inner.empty())
            ids.push_back(inner[0]);
        else
            ids.push_back(record.bytes[0]);
    }
    return ids;
}

bool Runs(SimTabletFixture& f_I, bool verify_I)
{
    EXPECT_TRUE(f_I.mController->UpdateDeviceList());
    f_I.mController->SetUpdateType(0);
    f_I.mController->SetVerifyAfterProgramming(verify_I);
    EXPECT_TRUE(f_I.mController->ProcessUpdateFile(f_I.ScenarioFile("basic.pen")));
    return f_I.mController->UpdateDevice();
}

std::size_t Count(const std::vector<std::uint8_t>& ids_I, std::uint8_t id_I)
{
    return static_cast<std::size_t>(std::count(ids_I.begin(), ids_I.end(), id_I));
}

} // namespace

TEST(Verify, WithoutItTheWireCarriesNoReadReports)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(Runs(f, false)) << f.LogText();
    const auto ids = LoaderReportIds(*f.mBus.Host(), f.mBus.Board("pen")->Spec().loader.path);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(Count(ids, eBL_HID_REP_READ_ID), 0u);
    EXPECT_EQ(Count(ids, eBL_HID_REP_VALUE_ID), 0u);
    EXPECT_FALSE(f.mController->WasVerified());
    EXPECT_EQ(f.LogFind("Starting VerifyFlash"), -1);
}

TEST(Verify, ReadsEveryProgrammedBlockBackBeforeLeavingTheLoader)
{
    SimTabletFixture f("basic");
    ASSERT_TRUE(Runs(f, true)) << f.LogText();
    EXPECT_TRUE(f.mController->WasVerified());
    const auto pen = f.mBus.Board("pen");
    const auto ids = LoaderReportIds(*f.mBus.Host(), pen->Spec().loader.path);
    // The image fills five 4 KiB blocks; 64 bytes per read report.
    EXPECT_EQ(Count(ids, eBL_HID_REP_VALUE_ID), 5u);
    EXPECT_EQ(Count(ids, eBL_HID_REP_READ_ID), 5u * 4096 / 64);
    // Read back after the checksums were committed, before the loader was left.
    const auto lastRead = std::find(ids.rbegin(), ids.rend(), eBL_HID_REP_READ_ID);
    const auto commit = std::find(ids.rbegin(), ids.rend(), eBL_HID_REP_WRITE_CHECKSUMS_ID);
    const auto exit = std::find(ids.rbegin(), ids.rend(), eBL_HID_REP_EXIT_LOADER_ID);
    ASSERT_TRUE(lastRead != ids.rend() && commit != ids.rend() && exit != ids.rend());
    EXPECT_GT(lastRead - ids.rbegin(), exit - ids.rbegin());   // the read came before the exit
    EXPECT_LT(lastRead - ids.rbegin(), commit - ids.rbegin()); // and after the commit
    EXPECT_TRUE(f.LogHas("Programmed flash verified"));
    EXPECT_EQ(pen->FlashVersion(), kSimDemoVersion);
}

TEST(Verify, ADifferenceFailsTheUpdateAndKeepsTheBoardInItsLoader)
{
    SimTabletFixture f("basic");
    const auto pen = f.mBus.Board("pen");
    // The board reads back one byte differently from what it was sent: the last byte of every
    // read answer is flipped.
    pen->Loader().SetAnswerTamper(eBL_HID_REP_READ_ID, [](std::vector<std::uint8_t>& answer) {
        if (answer.size() > 5)
            answer.back() ^= 0x5A;
    });
    EXPECT_FALSE(Runs(f, true));
    EXPECT_EQ(f.mNotifier->GetState(), ESTATE_FAILED);
    EXPECT_FALSE(f.mController->WasVerified());
    EXPECT_GE(f.LogFind("[ERROR] VerifyFlash: block 1 differs at [0x0000103F]"), 0) << f.LogText();
    // It fails there, as a programming failure: the way back to the application is not taken.
    EXPECT_GE(f.LogFind("[ERROR] General Program Failure (6)"), 0) << f.LogText();
    EXPECT_EQ(f.LogFind("Getting Normal Interface..."), -1) << f.LogText();
    // Its checksums were invalidated: leaving the loader brings it back as the loader, to be
    // recovered by the next run, instead of starting an application that was not verified.
    EXPECT_FALSE(pen->Loader().ApplicationValid());
    f.mClock->advance(5000);
    EXPECT_TRUE(pen->InLoader());
}
