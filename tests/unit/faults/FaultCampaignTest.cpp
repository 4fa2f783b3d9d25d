// Seeded random faults over update runs of every board of every scenario. After every run: no false
// success; after a failure the next fault-free run succeeds; false failures are counted and listed.
// VFWU_FAULT_SEEDS: runs (default 60); VFWU_FAULT_SEED_BASE: first seed; VFWU_FAULT_LOGS=1: their logs.

#include "FaultRig.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

namespace {

std::uint64_t EnvNumber(const char* name_I, std::uint64_t default_I)
{
    const char* text = std::getenv(name_I);
    return text == nullptr || *text == '\0' ? default_I : std::strtoull(text, nullptr, 10);
}

// A random mix of faults; about one run in eight has none at all.
SimFaultSpec RandomSpec(std::uint64_t seed_I)
{
    CSimFaultRandom r(seed_I ^ 0xC0FFEEull);
    SimFaultSpec spec;
    spec.seed = seed_I;
    static const double kRates[] = {0.0, 0.0, 0.001, 0.01, 0.05, 0.2, 0.5, 0.9, 0.97};
    if (r.NextUnit() < 0.5)
        spec.dropSetRate = spec.dropGetRate = kRates[r.Between(0, 8)];
    if (r.NextUnit() < 0.2)
        spec.dropGetRate = kRates[r.Between(0, 8)];
    if (r.NextUnit() < 0.3)
        spec.ackLossRate = kRates[r.Between(0, 6)];
    if (r.NextUnit() < 0.2) {
        // Only some report kinds: erase, write block, commit, checksums, exit (both protocols).
        static const std::uint8_t kIds[] = {0x11, 0x12, 0x15, 0x19, 0x1D, 0xD2, 0xD3, 0xD6, 0xDA, 0xDE};
        const int count = static_cast<int>(r.Between(1, 3));
        for (int i = 0; i < count; ++i)
            spec.ids.insert(kIds[r.Between(0, 9)]);
    }
    if (r.NextUnit() < 0.2)
        spec.busyMs = std::array<std::uint32_t, 5> {200, 3000, 8000, 40000, 0xFFFFFFFFu}[r.Between(0, 4)];
    // Boards that come back just before or just after a 90-second wait gives up.
    static const std::int64_t kNearTheLimit[] = {88000, 89000, 89500, 89999, 90000, 90001, 90500, 91000, 95000};
    auto backAfter = [&] {
        return r.NextUnit() < 0.2 ? kNearTheLimit[r.Between(0, 8)] : static_cast<std::int64_t>(r.Between(0, 15000));
    };
    if (r.NextUnit() < 0.3) {
        spec.unplugAt = static_cast<std::int64_t>(r.Between(1, 280));
        if (r.NextUnit() < 0.6)
            spec.replugMs = backAfter();
    }
    if (r.NextUnit() < 0.35) {
        spec.powerLossAt = static_cast<std::int64_t>(r.Between(1, 280));
        if (r.NextUnit() < 0.6)
            spec.powerBackMs = backAfter();
        // Half the power losses tear the erase or write they strike.
        if (r.NextUnit() < 0.5)
            spec.tearRate = 1.0;
    }
    if (r.NextUnit() < 0.25) {
        const double rate = std::array {0.001, 0.01, 0.05, 0.2}[r.Between(0, 3)];
        double* kinds[] = {&spec.flipRate, &spec.shortRate, &spec.longRate, &spec.wrongIdRate, &spec.staleRate};
        const std::uint64_t kind = r.Between(0, 5); // 5: every kind at once
        for (std::uint64_t k = 0; k < 5; ++k) {
            if (kind == 5 || kind == k)
                *kinds[k] = kind == 5 ? rate / 5 : rate;
        }
    }
    // Enter-loader, exit-loader, checksum commit and erase of both protocols; the whole-image command.
    static const std::uint8_t kStuckIds[] = {0xCC, 0x15, 0xD6, 0x1D, 0xDE, 0x12, 0xD3, 0xE4};
    if (r.NextUnit() < 0.15)
        spec.stuck[kStuckIds[r.Between(0, 7)]] = std::array<std::int64_t, 6> {1, 2, 3, 5, 20, -1}[r.Between(0, 5)];
    if (r.NextUnit() < 0.15) {
        spec.notifyLossRate = std::array {0.0, 0.1, 0.5, 1.0}[r.Between(0, 3)];
        spec.notifyDupRate = std::array {0.0, 0.3, 1.0}[r.Between(0, 2)];
        spec.notifyLateMs = std::array<std::uint32_t, 5> {0, 500, 5000, 30000, 95000}[r.Between(0, 4)];
        spec.notifyLossRate = spec.DisturbsNotifications() ? spec.notifyLossRate : 1.0;
    }
    if (r.NextUnit() < 0.1)
        spec.reenumMs = kNearTheLimit[r.Between(0, 8)];
    return spec;
}

// The fault classes the figures are kept by: whether a spec holds it, and how many of its faults
// were injected. A run counts in every class its spec holds ("none" when it holds no other).
struct FaultClass
{
    const char* name;
    bool (*holds)(const SimFaultSpec&);
    std::uint64_t (*injected)(const SimFaultStats&);
};

const FaultClass kClasses[] = {
    {"none", [](const SimFaultSpec& s) { return !s.Any(); }, [](const SimFaultStats&) { return std::uint64_t {0}; }},
    {"link (drop, ack)", [](const SimFaultSpec& s) { return s.dropSetRate + s.dropGetRate + s.ackLossRate > 0; },
     [](const SimFaultStats& f) { return f.droppedSets + f.droppedGets + f.lostAcks; }},
    {"busy", [](const SimFaultSpec& s) { return s.busyMs > 0; }, [](const SimFaultStats& f) { return f.busyPeriods; }},
    {"unplug", [](const SimFaultSpec& s) { return s.unplugAt > 0; }, [](const SimFaultStats& f) { return f.unplugs; }},
    {"power loss", [](const SimFaultSpec& s) { return s.powerLossAt > 0 && s.tearRate == 0; },
     [](const SimFaultStats& f) { return f.powerLosses - f.tornReports; }},
    {"torn flash", [](const SimFaultSpec& s) { return s.powerLossAt > 0 && s.tearRate > 0; },
     [](const SimFaultStats& f) { return f.tornReports; }},
    {"answers", [](const SimFaultSpec& s) { return s.CorruptsAnswers(); },
     [](const SimFaultStats& f) { return f.CorruptedAnswers(); }},
    {"stuck reports", [](const SimFaultSpec& s) { return !s.stuck.empty(); },
     [](const SimFaultStats& f) { return f.stuckFailures; }},
    {"notifications", [](const SimFaultSpec& s) { return s.DisturbsNotifications(); },
     [](const SimFaultStats& f) { return f.NotificationFaults(); }},
    {"late return", [](const SimFaultSpec& s) { return s.reenumMs >= 0; },
     [](const SimFaultStats& f) { return f.slowReturns; }},
};
constexpr std::size_t kClassCount = std::size(kClasses);

struct Figures
{
    std::uint64_t runs = 0;
    std::uint64_t injected = 0;
    std::uint64_t failures = 0;
    std::uint64_t falseSuccesses = 0;
    std::uint64_t falseFailures = 0;
    std::uint64_t unrecovered = 0;
    double wallSeconds = 0;

    void operator+=(const Figures& run_I)
    {
        runs += run_I.runs;
        injected += run_I.injected;
        failures += run_I.failures;
        falseSuccesses += run_I.falseSuccesses;
        falseFailures += run_I.falseFailures;
        unrecovered += run_I.unrecovered;
        wallSeconds += run_I.wallSeconds;
    }
};

// The last error a run reported, as the reason of its failure.
std::string LastError(const std::string& log_I)
{
    std::string last = "(no error reported)";
    for (const std::string& line : SplitLines(log_I)) {
        if (line.rfind("[ERROR] ", 0) == 0)
            last = line.substr(8);
    }
    return last;
}

} // namespace

TEST(FaultCampaign, NoFalseSuccessAndEveryFailedBoardIsRecovered)
{
    const std::uint64_t seeds = EnvNumber("VFWU_FAULT_SEEDS", 60);
    const std::uint64_t base = EnvNumber("VFWU_FAULT_SEED_BASE", 1);
    const std::vector<std::string> scenarios = SimScenarioNames();
    Figures total;
    Figures byClass[kClassCount];
    std::uint64_t faultyRuns = 0;
    std::uint64_t uncleanFailures = 0;
    SimFaultStats f;
    std::map<std::string, std::uint64_t> runsByBoard;
    std::map<std::string, std::uint64_t> falseFailureReasons;
    std::vector<std::string> falseFailureList;
    for (std::uint64_t seed = base; seed < base + seeds; ++seed) {
        const auto started = std::chrono::steady_clock::now();
        const std::string& scenario = scenarios[seed % scenarios.size()];
        CFaultRig rig(scenario);
        // Every board of the scenario in turn (both tablets of two-tablets).
        const auto& chosen = rig.mBus.Boards()[(seed / scenarios.size()) % rig.mBus.Boards().size()];
        const std::string name = chosen->Spec().name;
        std::size_t tablet = 0;
        while (rig.Board(name, tablet) != chosen)
            ++tablet;
        const SimFaultSpec spec = RandomSpec(seed);
        const std::string label = "seed " + std::to_string(seed) + " (" + scenario + ", " + name + " board, tablet " +
                                  std::to_string(tablet) + ", " + FormatSimFaultSpec(spec) + ")";

        const FaultRunResult first = rig.Run(name, tablet, [&] { rig.mBus.SetFaults(spec); });
        const SimFaultStats stats = rig.mBus.FaultStats();
        Figures run;
        run.runs = 1;
        faultyRuns += spec.Any() ? 1 : 0;
        f += stats;
        ++runsByBoard[scenario + "/" + name];
        const std::string why = rig.WhyNotUpdated(name, tablet);
        if (first.reported && !why.empty()) {
            run.falseSuccesses = 1;
            ADD_FAILURE() << "false success: " << label << ": " << why << "\n" << first.log;
        } else if (!first.reported) {
            run.failures = 1;
            if (why.empty()) {
                // The board runs the new image although a failure was reported: listed, not failed.
                run.falseFailures = 1;
                ++falseFailureReasons[LastError(first.log)];
                falseFailureList.push_back(label + ": " + LastError(first.log));
                if (EnvNumber("VFWU_FAULT_LOGS", 0) != 0)
                    std::cout << "false failure: " << label << "\n" << first.log << std::endl;
            }
            // A failure ends in the failed state, never in a busy or successful one.
            uncleanFailures += first.state != 6 ? 1 : 0;
            EXPECT_EQ(first.state, 6) << "error " << first.errorCode << ": " << label << "\n" << Tail(first.log);
            rig.Restore();
            const FaultRunResult second = rig.Run(name, tablet);
            total.runs += 1;
            run.unrecovered = second.reported && rig.WhyNotUpdated(name, tablet).empty() ? 0 : 1;
            EXPECT_EQ(run.unrecovered, 0u) << "board not recovered: " << label << "\nfirst run:\n"
                                           << Tail(first.log) << "\nsecond run:\n" << second.log;
        }
        run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const bool anyOther = std::any_of(std::begin(kClasses) + 1, std::end(kClasses),
                                          [&](const FaultClass& c) { return c.holds(spec); });
        for (std::size_t c = 0; c < kClassCount; ++c) {
            run.injected = kClasses[c].injected(stats);
            if (c == 0 ? !anyOther : kClasses[c].holds(spec))
                byClass[c] += run;
        }
        run.injected = stats.Injected();
        total += run;
    }
    std::cout << "fault campaign: seeds " << base << ".." << (base + seeds - 1) << ", runs " << total.runs
              << " (faulty " << faultyRuns << ", recovery " << total.runs - seeds << ")\n  reports through the "
              << "injector " << f.reports << ", faults injected " << f.Injected() << " (busy refusals "
              << f.busyRefusals << ")\n  failures "
              << total.failures << ", failures not in state 6 " << uncleanFailures << ", false successes "
              << total.falseSuccesses << ", false failures " << total.falseFailures
              << ", unrecovered boards " << total.unrecovered << "\n  faulty runs by board:";
    for (const auto& [board, runs] : runsByBoard)
        std::cout << " " << board << " " << runs;
    std::cout << "\n  by fault class (a run counts in every class it holds):\n";
    char line[200];
    std::snprintf(line, sizeof line, "  %-18s %8s %10s %8s %8s %8s %8s %9s\n", "class", "runs", "injected", "failures",
                  "false-ok", "false-ko", "unrecov", "wall s");
    std::cout << line;
    for (std::size_t c = 0; c < kClassCount; ++c) {
        const Figures& k = byClass[c];
        std::snprintf(line, sizeof line, "  %-18s %8llu %10llu %8llu %8llu %8llu %8llu %9.1f\n", kClasses[c].name,
                      static_cast<unsigned long long>(k.runs), static_cast<unsigned long long>(k.injected),
                      static_cast<unsigned long long>(k.failures), static_cast<unsigned long long>(k.falseSuccesses),
                      static_cast<unsigned long long>(k.falseFailures), static_cast<unsigned long long>(k.unrecovered),
                      k.wallSeconds);
        std::cout << line;
    }
    if (!falseFailureReasons.empty())
        std::cout << "  false failures (the board runs the new image) by last error:\n";
    for (const auto& [reason, count] : falseFailureReasons)
        std::cout << "    " << count << " x " << reason << "\n";
    for (std::size_t i = 0; i < std::min<std::size_t>(falseFailureList.size(), 40); ++i)
        std::cout << "    " << falseFailureList[i] << "\n";
    std::cout << std::flush;
    EXPECT_EQ(total.falseSuccesses, 0u);
    EXPECT_EQ(total.unrecovered, 0u);
}
