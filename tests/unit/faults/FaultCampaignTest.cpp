// The fault campaign: seeded random faults over many update runs of every scenario and tablet,
// with three invariants after every run:
//   1. success is reported only when the board holds the image, its committed checksums check
//      out and it runs its application;
//   2. after any failure, the next run on the same board without faults succeeds;
//   3. a failure reported for a board that in fact runs the new image (a false failure) is
//      counted and listed with the run's last error, so that each one can be explained.
// VFWU_FAULT_SEEDS sets the number of runs (default 60), VFWU_FAULT_SEED_BASE the first seed;
// VFWU_FAULT_LOGS=1 prints the log of every false failure.

#include "FaultRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

namespace {

std::uint64_t EnvNumber(const char* name_I, std::uint64_t default_I)
{
    const char* text = std::getenv(name_I);
    if (text == nullptr || *text == '\0')
        return default_I;
    return std::strtoull(text, nullptr, 10);
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
    if (r.NextUnit() < 0.2) {
        static const std::uint32_t kBusy[] = {200, 3000, 8000, 40000, 0xFFFFFFFFu};
        spec.busyMs = kBusy[r.Between(0, 4)];
    }
    // Boards that come back just before or just after a 90-second wait gives up.
    static const std::int64_t kNearTheLimit[] = {88000, 89000, 89500, 89999, 90000, 90001, 90500, 91000, 95000};
    if (r.NextUnit() < 0.3) {
        spec.unplugAt = static_cast<std::int64_t>(r.Between(1, 280));
        if (r.NextUnit() < 0.6)
            spec.replugMs = r.NextUnit() < 0.2 ? kNearTheLimit[r.Between(0, 8)] : static_cast<std::int64_t>(r.Between(0, 15000));
    }
    if (r.NextUnit() < 0.35) {
        spec.powerLossAt = static_cast<std::int64_t>(r.Between(1, 280));
        if (r.NextUnit() < 0.6)
            spec.powerBackMs =
                r.NextUnit() < 0.2 ? kNearTheLimit[r.Between(0, 8)] : static_cast<std::int64_t>(r.Between(0, 15000));
        // Half the power losses tear the erase or write they strike.
        if (r.NextUnit() < 0.5)
            spec.tearRate = 1.0;
    }
    if (r.NextUnit() < 0.25) {
        static const double kAnswerRates[] = {0.001, 0.01, 0.05, 0.2};
        const double rate = kAnswerRates[r.Between(0, 3)];
        double* kinds[] = {&spec.flipRate, &spec.shortRate, &spec.longRate, &spec.wrongIdRate, &spec.staleRate};
        const std::uint64_t kind = r.Between(0, 5); // 5: every kind at once
        for (std::uint64_t k = 0; k < 5; ++k) {
            if (kind == 5 || kind == k)
                *kinds[k] = kind == 5 ? rate / 5 : rate;
        }
    }
    if (r.NextUnit() < 0.15) {
        // Enter-loader, exit-loader, checksum commit and erase of both protocols; the whole-image command.
        static const std::uint8_t kStuckIds[] = {0xCC, 0x15, 0xD6, 0x1D, 0xDE, 0x12, 0xD3, 0xE4};
        static const std::int64_t kCounts[] = {1, 2, 3, 5, 20, -1};
        spec.stuck[kStuckIds[r.Between(0, 7)]] = kCounts[r.Between(0, 5)];
    }
    if (r.NextUnit() < 0.15) {
        static const double kLoss[] = {0.0, 0.1, 0.5, 1.0};
        static const double kDup[] = {0.0, 0.3, 1.0};
        static const std::uint32_t kLate[] = {0, 500, 5000, 30000, 95000};
        spec.notifyLossRate = kLoss[r.Between(0, 3)];
        spec.notifyDupRate = kDup[r.Between(0, 2)];
        spec.notifyLateMs = kLate[r.Between(0, 4)];
        if (!spec.DisturbsNotifications())
            spec.notifyLossRate = 1.0;
    }
    if (r.NextUnit() < 0.1)
        spec.reenumMs = kNearTheLimit[r.Between(0, 8)];
    return spec;
}

// The fault classes the figures are kept by; a run counts in every class its spec holds.
enum EFaultClass
{
    eClassNone,
    eClassLink,    // dropped reports, lost acknowledgements
    eClassBusy,
    eClassUnplug,
    eClassPower,   // power loss between reports
    eClassTorn,    // power loss that may tear an erase or write
    eClassAnswers, // corrupted answers
    eClassStuck,
    eClassNotify,
    eClassReturn,  // slow re-enumeration near the 90-second limit
    eClassCount
};

const char* const kClassNames[eClassCount] = {"none",          "link (drop, ack)", "busy",   "unplug",
                                              "power loss",    "torn flash",       "answers", "stuck reports",
                                              "notifications", "late return"};

std::vector<int> ClassesOf(const SimFaultSpec& spec_I)
{
    std::vector<int> classes;
    if (spec_I.dropSetRate > 0 || spec_I.dropGetRate > 0 || spec_I.ackLossRate > 0)
        classes.push_back(eClassLink);
    if (spec_I.busyMs > 0)
        classes.push_back(eClassBusy);
    if (spec_I.unplugAt > 0)
        classes.push_back(eClassUnplug);
    if (spec_I.powerLossAt > 0)
        classes.push_back(spec_I.tearRate > 0 ? eClassTorn : eClassPower);
    if (spec_I.CorruptsAnswers())
        classes.push_back(eClassAnswers);
    if (!spec_I.stuck.empty())
        classes.push_back(eClassStuck);
    if (spec_I.DisturbsNotifications())
        classes.push_back(eClassNotify);
    if (spec_I.reenumMs >= 0)
        classes.push_back(eClassReturn);
    if (classes.empty())
        classes.push_back(eClassNone);
    return classes;
}

std::uint64_t InjectedOfClass(int class_I, const SimFaultStats& f_I)
{
    switch (class_I) {
    case eClassLink:
        return f_I.droppedSets + f_I.droppedGets + f_I.lostAcks;
    case eClassBusy:
        return f_I.busyPeriods;
    case eClassUnplug:
        return f_I.unplugs;
    case eClassPower:
        return f_I.powerLosses - f_I.tornReports;
    case eClassTorn:
        return f_I.tornReports;
    case eClassAnswers:
        return f_I.CorruptedAnswers();
    case eClassStuck:
        return f_I.stuckFailures;
    case eClassNotify:
        return f_I.NotificationFaults();
    case eClassReturn:
        return f_I.slowReturns;
    default:
        return 0;
    }
}

struct ClassFigures
{
    std::uint64_t runs = 0;
    std::uint64_t injected = 0;
    std::uint64_t failures = 0;
    std::uint64_t falseSuccesses = 0;
    std::uint64_t falseFailures = 0;
    std::uint64_t unrecovered = 0;
    double wallSeconds = 0;
};

struct CampaignFigures
{
    std::uint64_t runs = 0;
    std::uint64_t faultyRuns = 0;
    std::uint64_t failures = 0;
    std::uint64_t recoveryRuns = 0;
    std::uint64_t falseSuccesses = 0;
    std::uint64_t falseFailures = 0;
    std::uint64_t unrecovered = 0;
    std::uint64_t uncleanFailures = 0;
    std::uint64_t failuresWithoutCode = 0;
    SimFaultStats faults;
    std::map<std::string, std::uint64_t> runsByBoard;
    ClassFigures classes[eClassCount];
    // Reported failures of boards that run the new image, by the run's last error.
    std::map<std::string, std::uint64_t> falseFailureReasons;
    std::vector<std::string> falseFailureList;
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

std::string Tail(const std::string& log_I)
{
    return log_I.substr(log_I.size() > 20000 ? log_I.size() - 20000 : 0);
}

} // namespace

TEST(FaultCampaign, NoFalseSuccessAndEveryFailedBoardIsRecovered)
{
    const std::uint64_t seeds = EnvNumber("VFWU_FAULT_SEEDS", 60);
    const std::uint64_t base = EnvNumber("VFWU_FAULT_SEED_BASE", 1);
    const std::vector<std::string> scenarios = SimScenarioNames();
    CampaignFigures figures;
    for (std::uint64_t n = 0; n < seeds; ++n) {
        const auto started = std::chrono::steady_clock::now();
        const std::uint64_t seed = base + n;
        const std::string& scenario = scenarios[seed % scenarios.size()];
        CFaultRig rig(scenario);
        // Every board of the scenario in turn (both tablets of two-tablets).
        const auto& boards = rig.mBus.Boards();
        const auto& chosen = boards[(seed / scenarios.size()) % boards.size()];
        const std::string name = chosen->Spec().name;
        std::size_t tablet = 0;
        while (rig.Board(name, tablet) != chosen)
            ++tablet;
        const SimFaultSpec spec = RandomSpec(seed);
        const std::vector<int> classes = ClassesOf(spec);
        const std::string label = "seed " + std::to_string(seed) + " (" + scenario + ", " + name + " board, tablet " +
                                  std::to_string(tablet) + ", " + FormatSimFaultSpec(spec) + ")";

        const FaultRunResult first = rig.Run(name, tablet, [&] { rig.mBus.SetFaults(spec); });
        const SimFaultStats stats = rig.mBus.FaultStats();
        ++figures.runs;
        figures.faultyRuns += spec.Any() ? 1 : 0;
        figures.faults += stats;
        ++figures.runsByBoard[scenario + "/" + name];
        for (int c : classes) {
            ++figures.classes[c].runs;
            figures.classes[c].injected += InjectedOfClass(c, stats);
        }
        auto count = [&](std::uint64_t ClassFigures::*member_I) {
            for (int c : classes)
                ++(figures.classes[c].*member_I);
        };
        auto addTime = [&] {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            for (int c : classes)
                figures.classes[c].wallSeconds += seconds;
        };
        if (first.reported) {
            if (!rig.BoardUpdated(name, tablet)) {
                ++figures.falseSuccesses;
                count(&ClassFigures::falseSuccesses);
                ADD_FAILURE() << "false success: " << label << ": " << rig.WhyNotUpdated(name, tablet) << "\n" << first.log;
            }
            addTime();
            continue;
        }
        ++figures.failures;
        count(&ClassFigures::failures);
        if (rig.BoardUpdated(name, tablet)) {
            // The board runs the new image although a failure was reported: listed, not failed.
            ++figures.falseFailures;
            count(&ClassFigures::falseFailures);
            const std::string reason = LastError(first.log);
            ++figures.falseFailureReasons[reason];
            figures.falseFailureList.push_back(label + ": " + reason);
            if (EnvNumber("VFWU_FAULT_LOGS", 0) != 0)
                std::cout << "false failure: " << label << "\n" << first.log << std::endl;
        }
        // A failure ends in the failed state, never in a busy or successful one. (A direct reopen
        // that fails ends in state 6 without an error code, as specified.)
        figures.failuresWithoutCode += first.errorCode == 0 ? 1 : 0;
        if (first.state != 6) {
            ++figures.uncleanFailures;
            ADD_FAILURE() << "failure ended in state " << first.state << ", error " << first.errorCode << ": " << label
                          << "\n" << Tail(first.log);
        }
        rig.Restore();
        const FaultRunResult second = rig.Run(name, tablet, nullptr);
        ++figures.runs;
        ++figures.recoveryRuns;
        if (!second.reported || !rig.BoardUpdated(name, tablet)) {
            ++figures.unrecovered;
            count(&ClassFigures::unrecovered);
            ADD_FAILURE() << "board not recovered: " << label << "\nfirst run:\n"
                          << Tail(first.log) << "\nsecond run:\n" << second.log;
        }
        addTime();
    }
    const SimFaultStats& f = figures.faults;
    std::cout << "fault campaign: seeds " << base << ".." << (base + seeds - 1) << ", runs " << figures.runs
              << " (faulty " << figures.faultyRuns << ", recovery " << figures.recoveryRuns << ")\n"
              << "  reports through the injector " << f.reports << ", faults injected " << f.Injected() << ":"
              << " dropped SETs " << f.droppedSets << ", dropped GETs " << f.droppedGets << ", lost acks "
              << f.lostAcks << ", busy periods " << f.busyPeriods << " (refused reports " << f.busyRefusals
              << "), unplugs " << f.unplugs << ", power losses " << f.powerLosses << " (torn " << f.tornReports
              << "), answers flipped " << f.flippedAnswers << ", short " << f.shortAnswers << ", long "
              << f.longAnswers << ", of another id " << f.wrongIdAnswers << ", stale " << f.staleAnswers
              << ", stuck reports " << f.stuckFailures << ", notifications lost " << f.lostNotifications
              << ", duplicated " << f.duplicatedNotifications << ", late " << f.lateNotifications
              << ", slow returns " << f.slowReturns << "\n"
              << "  failures " << figures.failures << " (without an error code " << figures.failuresWithoutCode << "), failures not in state 6 "
              << figures.uncleanFailures
              << ", false successes " << figures.falseSuccesses << ", false failures " << figures.falseFailures
              << ", unrecovered boards " << figures.unrecovered
              << "\n  faulty runs by board:";
    for (const auto& entry : figures.runsByBoard)
        std::cout << " " << entry.first << " " << entry.second;
    std::cout << "\n  by fault class (a run counts in every class it holds):\n";
    char line[200];
    std::snprintf(line, sizeof line, "  %-18s %8s %10s %8s %8s %8s %8s %9s\n", "class", "runs", "injected", "failures",
                  "false-ok", "false-ko", "unrecov", "wall s");
    std::cout << line;
    for (int c = 0; c < eClassCount; ++c) {
        const ClassFigures& k = figures.classes[c];
        std::snprintf(line, sizeof line, "  %-18s %8llu %10llu %8llu %8llu %8llu %8llu %9.1f\n", kClassNames[c],
                      static_cast<unsigned long long>(k.runs), static_cast<unsigned long long>(k.injected),
                      static_cast<unsigned long long>(k.failures), static_cast<unsigned long long>(k.falseSuccesses),
                      static_cast<unsigned long long>(k.falseFailures), static_cast<unsigned long long>(k.unrecovered),
                      k.wallSeconds);
        std::cout << line;
    }
    if (!figures.falseFailureReasons.empty()) {
        std::cout << "  false failures (the board runs the new image) by last error:\n";
        for (const auto& entry : figures.falseFailureReasons)
            std::cout << "    " << entry.second << " x " << entry.first << "\n";
        const std::size_t shown = std::min<std::size_t>(figures.falseFailureList.size(), 40);
        for (std::size_t i = 0; i < shown; ++i)
            std::cout << "    " << figures.falseFailureList[i] << "\n";
    }
    std::cout << std::flush;
    EXPECT_EQ(figures.falseSuccesses, 0u);
    EXPECT_EQ(figures.unrecovered, 0u);
    EXPECT_EQ(figures.uncleanFailures, 0u);
}
