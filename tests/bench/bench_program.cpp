// Host cost of programming a 256 KiB S-record image into the simulated loader, with the log-file
// notifier attached the way the controller attaches it.
//   bench_program                      Google Benchmark timing of the whole update
//   bench_program --once [0|1] [LOG]   one update in protocol type 0 or 1 for callgrind
//                                      (scripts/measure-program-cost.sh), logging to LOG
// The script counts only RunOnce, split at CSimHost::SetFeature/GetFeature (below: the simulator).

#include "CSimHIDFLDeviceInterface.h"
#include "CSimHost.h"
#include "CSimSRecLoader.h"
#include "Clock.h"
#include "FWUpdater/CInterfaceNotifier.h"
#include "LogUpdateNotifier.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::uint32_t kImageBase = 0x10000;
constexpr std::uint32_t kImageSize = 256 * 1024;
constexpr std::uint32_t kBlockBytes = 4096;
constexpr const char* kPath = "\\\\?\\hid#vid_2d1f&pid_0201#8&bench&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class CStdioLogFile : public CLogFile
{
public:
    explicit CStdioLogFile(const std::string& path_I) : mFile(std::fopen(path_I.c_str(), "wb")) {}
    ~CStdioLogFile() override
    {
        if (mFile)
            std::fclose(mFile);
    }
    bool Write(const std::string& bytes_I) override
    {
        return mFile && std::fwrite(bytes_I.data(), 1, bytes_I.size(), mFile) == bytes_I.size();
    }

private:
    std::FILE* mFile;
};

// What the update controller does with the interface's reports: forward to the log notifier.
class CForwardingNotifier : public CInterfaceNotifier
{
public:
    explicit CForwardingNotifier(CUpdateNotifier& target_I) : mTarget(target_I) {}
    void Log(const std::string& message_I) override { mTarget.Log(message_I); }
    void ReportError(const std::string& message_I) override { mTarget.ReportError(8, message_I); }
    void ReportProgress(std::int32_t percent_I) override { mTarget.ReportProgress(percent_I); }

private:
    CUpdateNotifier& mTarget;
};

std::vector<SRecBlock> Image()
{
    SRecBlock block{kImageBase, std::vector<std::uint8_t>(kImageSize)};
    std::uint32_t x = 12345;
    for (auto& b : block.data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return {block};
}

SimSRecLoaderConfig Board(int protocolType_I)
{
    SimSRecLoaderConfig c;
    c.protocolType = protocolType_I;
    c.blockSize = 256;
    c.wordSize = 4;
    c.readSize = 64;
    c.blocks.push_back({0x0000, kImageBase, 0x8004}); // the loader itself
    for (std::uint32_t a = kImageBase; a < kImageBase + kImageSize; a += kBlockBytes)
        c.blocks.push_back({a, kBlockBytes, 4});
    return c;
}

// One complete update; false when anything failed or the board does not hold the image.
__attribute__((noinline)) bool RunOnce(int protocolType_I, const std::vector<SRecBlock>& image_I,
                                       const std::string& logPath_I)
{
    CFLProtocol::Instance()->SetProtocolType(protocolType_I);
    auto host = std::make_shared<CSimHost>();
    host->SetTranscriptEnabled(false); // test instrumentation, neither host nor board
    auto loader = std::make_shared<CSimSRecLoader>(Board(protocolType_I));
    SimHidNodeInfo info;
    info.path = kPath;
    info.usagePage = 0x000D;
    host->AddNode(info, loader);

    CLogUpdateNotifier log(std::make_unique<CStdioLogFile>(logPath_I), logPath_I, "\n", ELogEncoding::eUtf8);
    CForwardingNotifier notifier(log);
    CSimHIDFLDeviceInterface device(kPath, host);
    device.SetNotifier(&notifier);
    if (!device.ReadAttributes())
        return false;
    device.SetFirmwareLoader(true);
    device.SetDataSourceFormat(eFormatPen);
    if (!device.Open() || !device.InitializeProgrammingData(image_I) || !device.ProgramBoard())
        return false;
    device.Close();
    if (device.GetChecksumNew() != device.GetChecksumExpected() || !loader->ApplicationValid())
        return false;
    for (std::uint32_t i = 0; i < kImageSize; i += 997)
        if (loader->FlashByte(kImageBase + i) != image_I[0].data[i])
            return false;
    return true;
}

void BM_ProgramSRec256K(benchmark::State& state)
{
    const auto image = Image();
    const int protocolType = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (!RunOnce(protocolType, image, "/dev/null"))
            state.SkipWithError("update failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kImageSize);
}
BENCHMARK(BM_ProgramSRec256K)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--once") == 0) {
        const int protocolType = argc >= 3 ? std::atoi(argv[2]) : 0;
        const std::string logPath = argc >= 4 ? argv[3] : "/dev/null";
        const auto image = Image();
        const bool ok = RunOnce(protocolType, image, logPath);
        std::printf("programmed %u bytes in protocol type %d: %s\n", kImageSize, protocolType, ok ? "ok" : "FAILED");
        return ok ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
