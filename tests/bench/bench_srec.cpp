// S-record loading throughput on a large generated file, records in ascending and in descending
// address order (the latter must not go quadratic); scripts/bench-srec.sh compares it with srec_info.
//   bench_srec --generate=ascending|descending PATH [MiB]   write a test file (default 16 MiB)
//   bench_srec [benchmark flags]     run on $VFWU_SREC_ASC and $VFWU_SREC_DESC, else generated files

#include "FWUpdater/CSRec.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr std::uint32_t kBaseAddress = 0x01000000;
constexpr std::uint32_t kBytesPerRecord = 32;

// S3 records of 32 data bytes with CR LF line ends, like a release build of a large firmware.
bool Generate(const std::string& path_I, bool descending_I, std::uint64_t mebibytes_I)
{
    const std::uint64_t lineLength = 2 + 2 + 8 + 2 * kBytesPerRecord + 2 + 2;
    const std::uint64_t records = (mebibytes_I * 1024 * 1024 + lineLength - 1) / lineLength;
    std::string text;
    text.reserve(static_cast<std::size_t>(records * lineLength + 64));
    text += "S00E000062656E63685F7372656300E5\r\n";
    static const char digits[] = "0123456789ABCDEF";
    unsigned sum = 0;
    auto put = [&text, &sum](unsigned b) {
        text += digits[(b >> 4) & 0xF];
        text += digits[b & 0xF];
        sum += b;
    };
    for (std::uint64_t n = 0; n < records; ++n) {
        const std::uint64_t i = descending_I ? records - 1 - n : n;
        const auto address = static_cast<std::uint32_t>(kBaseAddress + i * kBytesPerRecord);
        text += "S3";
        sum = 0;
        put(4 + 1 + kBytesPerRecord);
        for (int k = 3; k >= 0; --k)
            put((address >> (8 * k)) & 0xFF);
        // Data depend on the address only, so both orders hold the same image.
        std::uint32_t seed = address * 2654435761u;
        for (std::uint32_t k = 0; k < kBytesPerRecord; ++k) {
            seed = seed * 1103515245u + 12345u;
            put((seed >> 16) & 0xFF);
        }
        put(~sum & 0xFF);
        text += "\r\n";
    }
    text += "S70500000000FA\r\n";
    std::ofstream out(path_I, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

std::string FileFor(bool descending_I)
{
    const char* env = std::getenv(descending_I ? "VFWU_SREC_DESC" : "VFWU_SREC_ASC");
    if (env && *env)
        return env;
    static std::string generated[2];
    std::string& path = generated[descending_I ? 1 : 0];
    if (path.empty()) {
        const char* name = descending_I ? "vfwu_bench_desc.pen" : "vfwu_bench_asc.pen";
        path = (std::filesystem::temp_directory_path() / name).string();
        if (!Generate(path, descending_I, 16)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(2);
        }
    }
    return path;
}

void BM_LoadSRec(benchmark::State& state, bool descending_I)
{
    const std::string path = FileFor(descending_I);
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    CSRec source;
    std::size_t blocks = 0;
    for (auto _ : state) {
        if (!source.Load(path)) {
            state.SkipWithError("load failed");
            return;
        }
        blocks = source.Blocks().size();
        benchmark::DoNotOptimize(blocks);
    }
    state.SetBytesProcessed(size * state.iterations());
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["file_MiB"] = static_cast<double>(size) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK_CAPTURE(BM_LoadSRec, ascending, false)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_LoadSRec, descending, true)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--generate=", 11) == 0) {
            const std::string order = argv[i] + 11;
            if ((order != "ascending" && order != "descending") || i + 1 >= argc) {
                std::fprintf(stderr, "usage: %s --generate=ascending|descending PATH [MiB]\n", argv[0]);
                return 2;
            }
            const std::uint64_t mib = (i + 2 < argc) ? std::strtoull(argv[i + 2], nullptr, 10) : 16;
            return Generate(argv[i + 1], order == "descending", mib < 1 ? 1 : mib) ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
