#include "SimTabletFixture.h"

#include "FWUpdater/CSRec.h"

TEST(SimUpdate, BasicPenBoardIsUpdatedThroughItsReenumeratedLoader)
{
    SimTabletFixture f("basic");
    auto pen = f.mBus.Board("pen");
    ASSERT_TRUE(pen);
    EXPECT_EQ(pen->FlashVersion(), kSimFactoryVersion);

    ASSERT_TRUE(f.mController->UpdateDeviceList());
    auto device = f.mController->GetCurrentDevice();
    ASSERT_TRUE(device && device->mPenInterface);
    EXPECT_EQ(device->mName, "Vellum Sim Tablet");
    EXPECT_FALSE(device->mLoaderMode);
    EXPECT_EQ(device->mPenInterface->GetVersion(), kSimFactoryVersion);

    f.mController->SetUpdateType(0);
    const std::string file = f.ScenarioFile("basic.pen");
    ASSERT_TRUE(f.mController->ProcessUpdateFile(file));
    ASSERT_TRUE(f.mController->UpdateDevice()) << f.LogText();

    // The arrival reports 5, then UpdateSucceeded reports it again.
    EXPECT_EQ(f.States(), (std::vector<int>{0, 1, 2, 3, 4, 5, 5})) << f.LogText();
    const std::string loaderPath = pen->Spec().loader.path;
    const std::string normalPath = pen->Spec().normal.path;
    const int switching = f.LogFind("Switching Pen to Loader mode... ");
    const int ignoredRemoval = f.LogFind("Ignored Detach Message (" + normalPath + ")", switching);
    const int attach = f.LogFind("IMPORTANT Attach Message (" + loaderPath + ") STATE->ESTATE_PROGRAM", switching);
    const int loaderDump = f.LogFind("[Vellum Sim Tablet] (LOADER MODE)", attach);
    const int back = f.LogFind("IMPORTANT Attach Message (" + normalPath + ") STATE->ESTATE_SUCCESS", loaderDump);
    EXPECT_GE(switching, 0);
    EXPECT_GT(ignoredRemoval, switching);
    EXPECT_GT(attach, ignoredRemoval);
    EXPECT_GT(loaderDump, attach);
    EXPECT_GT(back, loaderDump);
    EXPECT_TRUE(f.LogHas("Device Update complete!"));
    EXPECT_EQ(f.mNotifier->GetProgress(), 100);

    // The normal interface carries the loader's checksums for the dialog; the loader's new
    // checksum sum is the host's expected sum.
    device = f.mController->GetCurrentDevice();
    ASSERT_TRUE(device && device->mPenInterface);
    EXPECT_NE(device->mPenInterface->GetChecksumExpected(), 0u);
    EXPECT_EQ(device->mPenInterface->GetChecksumNew(), device->mPenInterface->GetChecksumExpected());
    EXPECT_NE(device->mPenInterface->GetChecksumOld(), device->mPenInterface->GetChecksumNew());

    CSRec image;
    ASSERT_TRUE(image.Load(file));
    EXPECT_TRUE(SimTabletFixture::FlashHolds(*pen, image.GetBlocks()));
    EXPECT_TRUE(pen->Loader().ApplicationValid());
    EXPECT_FALSE(pen->InLoader());
    EXPECT_EQ(pen->FlashVersion(), kSimDemoVersion);
    EXPECT_EQ(pen->Reenumerations(), 2);

    // The board is back as its application, showing the new version.
    ASSERT_TRUE(f.mController->UpdateDeviceList());
    device = f.mController->GetCurrentDevice();
    ASSERT_TRUE(device && device->mPenInterface);
    EXPECT_EQ(device->mPenInterface->GetVersion(), kSimDemoVersion);
}
