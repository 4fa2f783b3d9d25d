// The whole-image loader (report 0xE4) under seeded faults: dropped and unacknowledged reports
// and long busy periods. Those boards are not on the simulated bus yet, so this drives the
// device interface directly, with the fault injector between the host's node and the loader.
// Invariants per run: a reported success means the loader completed and its flash holds the
// image; after a failure, a run without faults succeeds.

#include "../wholeimage/ImageFixture.h"
#include "SimFaults.h"

#include <cstdlib>

namespace {

struct ImageRun
{
    bool reported = false;
    bool holdsImage = false;
    bool completed = false;
};

class CImageBoard
{
public:
    CImageBoard(ESimImageKind kind_I, const SimImageLoaderConfig& config_I, const Bytes& image_I, const CTempDir& dir_I)
        : mImage(image_I), mKind(kind_I)
    {
        SimImageLoaderConfig config = config_I;
        config.kind = kind_I;
        if (kind_I == ESimImageKind::eAiroha)
            config.flashSize = std::max<std::uint32_t>(0x20000, static_cast<std::uint32_t>(image_I.size() + 0x100));
        mLoader = std::make_shared<CSimImageLoader>(config);
        mInjector = std::make_shared<CSimFaultInjector>(mLoader, CSimFaultInjector::Actions{});
        SimHidNodeInfo info;
        info.path = "\\\\?\\hid#vid_2d1f&pid_0301#8&fault&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
        info.vendorId = 0x2D1F;
        info.productId = 0x0301;
        info.usagePage = 0x000D;
        info.usage = 0x0002;
        mHost->AddNode(info, mInjector);
        mDevice = std::make_shared<CSimHIDFLDeviceInterface>(info.path, mHost);
        mDevice->SetNotifier(&mNotifier);
        mDevice->ReadAttributes();
        mDevice->SetFirmwareLoader(true);
        if (kind_I == ESimImageKind::eIntelHex) {
            auto hex = std::make_shared<CIntelHex>();
            WriteFile(dir_I.File("touch.hex"), IntelHexText(image_I, 0x8000));
            hex->Load(dir_I.File("touch.hex"));
            mDevice->SetDataSourceFormat(eFormatIntelHex);
            mDevice->SetIntelHexData(hex);
        } else {
            auto airo = std::make_shared<CBinaryAiroFlash>();
            WriteFile(dir_I.File("bt.airoflash"), std::string(image_I.begin(), image_I.end()));
            airo->Load(dir_I.File("bt.airoflash"));
            mDevice->SetDataSourceFormat(eFormatAiroFlash);
            mDevice->SetAiroFlashData(airo);
        }
    }

    ImageRun Run()
    {
        ImageRun run;
        mDevice->Close();
        run.reported = mDevice->Open() && mDevice->ProgramBoard();
        run.completed = mLoader->Completed();
        run.holdsImage = HoldsImage();
        return run;
    }

    bool HoldsImage() const
    {
        if (mKind == ESimImageKind::eIntelHex)
            return mLoader->Flash(0x8000, mImage.size()) == mImage;
        // The reserved range keeps the board's own data; everything else is the image.
        for (std::uint32_t a = 0; a < mImage.size(); ++a) {
            const bool reserved = a >= kSimAirohaReservedFirst && a < kSimAirohaReservedEnd;
            if (mLoader->FlashByte(a) != (reserved ? kSimAirohaReservedByte : mImage[a]))
                return false;
        }
        return true;
    }

    std::shared_ptr<CSimHost> mHost = std::make_shared<CSimHost>();
    std::shared_ptr<CSimImageLoader> mLoader;
    std::shared_ptr<CSimFaultInjector> mInjector;
    std::shared_ptr<CSimHIDFLDeviceInterface> mDevice;
    CRecordingNotifier mNotifier;
    Bytes mImage;
    ESimImageKind mKind;
};

class WholeImageFaults : public ::testing::Test
{
protected:
    void SetUp() override { CFLProtocol::Instance()->SetProtocolType(1); }
    void TearDown() override { CFLProtocol::Instance()->SetProtocolType(0); }

    std::shared_ptr<CVirtualClock> clock = std::make_shared<CVirtualClock>();
    CScopedClock scopedClock{clock};
    CTempDir dir;
};

} // namespace

TEST_F(WholeImageFaults, LongBusyAfterStartWithinTheTenSecondsSucceedsBeyondItFails)
{
    SimImageLoaderConfig config;
    config.startBusyMs = 9000;
    CImageBoard patient(ESimImageKind::eIntelHex, config, Pattern(1024, 4), dir);
    const ImageRun within = patient.Run();
    EXPECT_TRUE(within.reported);
    EXPECT_TRUE(within.holdsImage);

    config.startBusyMs = 30000;
    CImageBoard slow(ESimImageKind::eIntelHex, config, Pattern(1024, 4), dir);
    const ImageRun beyond = slow.Run();
    EXPECT_FALSE(beyond.reported);
    EXPECT_EQ(slow.mNotifier.Errors(),
              (std::vector<std::string>{"ProgramBoardIntelHex: Cannot Start Programming - device is busy."}));
    EXPECT_FALSE(beyond.completed);
}

TEST_F(WholeImageFaults, SeededCampaignNeverReportsAnIncompleteImage)
{
    const char* env = std::getenv("VFWU_FAULT_SEEDS");
    const std::uint64_t seeds = env && *env ? std::strtoull(env, nullptr, 10) / 10 + 10 : 16;
    std::uint64_t failures = 0;
    SimFaultStats total;
    for (std::uint64_t seed = 1; seed <= seeds; ++seed) {
        CSimFaultRandom r(seed * 77);
        SimFaultSpec spec;
        spec.seed = seed;
        static const double kRates[] = {0.0, 0.01, 0.1, 0.3, 0.6, 0.9};
        spec.dropSetRate = kRates[r.Between(0, 5)];
        spec.dropGetRate = kRates[r.Between(0, 5)];
        spec.ackLossRate = kRates[r.Between(0, 3)];
        SimImageLoaderConfig config;
        // Long, but within the ten seconds the host waits: a board busier than that never succeeds.
        static const std::uint32_t kBusy[] = {250, 2000, 9000};
        config.startBusyMs = kBusy[r.Between(0, 2)];
        config.dataBusyMs = static_cast<std::uint32_t>(r.Between(0, 300));
        const ESimImageKind kind = seed % 2 ? ESimImageKind::eIntelHex : ESimImageKind::eAiroha;
        const Bytes image = Pattern(kind == ESimImageKind::eIntelHex ? 1024 : 0x8400, static_cast<std::uint8_t>(seed));
        CImageBoard board(kind, config, image, dir);
        board.mInjector->Arm(spec, 0);
        const ImageRun run = board.Run();
        total += board.mInjector->Stats();
        const std::string label = "seed " + std::to_string(seed) + " " + FormatSimFaultSpec(spec) +
                                  " start busy " + std::to_string(config.startBusyMs);
        if (run.reported) {
            EXPECT_TRUE(run.completed && run.holdsImage) << "false success: " << label;
            continue;
        }
        ++failures;
        board.mInjector->Disarm();
        clock->advance(20000);
        const ImageRun second = board.Run();
        EXPECT_TRUE(second.reported && second.completed && second.holdsImage) << "not recovered: " << label;
    }
    std::cout << "whole-image fault campaign: runs " << seeds << ", failures " << failures << ", dropped SETs "
              << total.droppedSets << ", dropped GETs " << total.droppedGets << ", lost acks " << total.lostAcks
              << std::endl;
}
