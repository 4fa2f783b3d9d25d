#pragma once
// Seeded fault injection for the simulated boards: what real links and real users do to an
// update (a hub that drops reports, a board busy erasing, a cable pulled, a power cut), made
// reproducible.
//
// Faults are injected inside the simulated device, between the host's node and the board's
// loader (CSimFaultInjector wraps the board's device); the code under test is never touched.
//
// Text form of a fault spec (the --sim-faults option): comma-separated key=value items, in any
// order, each key at most once; whitespace around items is ignored; an empty text means no
// faults.
//
//   seed=N            seed of the fault PRNG (decimal, default 0); one board's faults are a
//                     pure function of the seed, the board's index and the reports it receives
//   drop=R            every SET and GET is dropped with probability R (0 <= R <= 1): it never
//                     reaches the board and the host sees the transfer fail
//   drop-set=R        as drop, for SETs only (overrides drop for SETs)
//   drop-get=R        as drop, for GETs only (overrides drop for GETs)
//   ack-loss=R        a SET reaches the board and takes effect, but the host sees it fail
//   ids=A/B/...       drops and lost acknowledgements apply only to these wire report ids
//                     (hexadecimal with 0x or decimal, separated by '/'); default all ids
//   busy=MS           after each erase the board answers nothing for MS milliseconds of the
//                     clock (the flash is busy); 4294967295 = it never answers again
//   unplug-at=N       the board's cable is pulled when its N-th report since the faults were
//                     set arrives (1-based; that report fails): it leaves the bus, keeping whatever state it has
//   replug=MS         an unplugged board is plugged back MS milliseconds later (default: never;
//                     a test or the user plugs it back)
//   power-loss-at=N   the board loses power when its N-th report arrives (that report fails):
//                     it leaves the bus, its flash and committed checksums stay exactly as
//                     written so far, everything in RAM is lost
//   power-back=MS     power returns MS milliseconds after the loss (default: never); the board
//                     then boots its application only when its committed magic word and
//                     checksums check out, otherwise its loader
//   tear=R            a power loss that strikes an erase or a write is torn with probability R:
//                     the board applied part of it (an erase leaves the block erased up to a
//                     random byte, that byte with some bits set, the rest as it was; a write
//                     programs the report's bytes up to a random byte, that byte partly, and
//                     programming only clears bits: new = old & written)
//
// Corrupted answers (each GET answer that reaches the host suffers at most one; ids= applies):
//   flip=R            one random bit of the answer is flipped
//   short=R           the answer is cut to a random shorter length (at least one byte)
//   long=R            the answer carries 1 to 16 extra random bytes
//   wrong-id=R        the host gets the board's last answer to another report id (or, before
//                     there was one, this answer with another id byte)
//   stale=R           the host gets the board's previous answer to this report id again (the
//                     board still acted on the request; no fault before a first answer)
//
// Stuck reports:
//   stuck=ID[:N]/...  SETs and GETs of wire report id ID fail before reaching the board: the
//                     first N of them (counted from when the faults were set), or all of them
//                     without :N; e.g. stuck=0x15:3/0x1D
//
// The bus (notifications about the board's nodes, and how long it takes to come back):
//   notify-loss=R     an arrival or removal notification of the board's nodes is lost (the
//                     node itself comes and goes; only the program is not told)
//   notify-dup=R      a notification is delivered twice
//   notify-late=MS    every notification is delivered a random 0..MS milliseconds late
//   reenum=MS         a board that re-enumerates on a mode switch comes back MS milliseconds
//                     after leaving (default: the board's own delay, 1.3 s); e.g. 89000 or
//                     91000 to come back just before or just after a 90-second wait ends
//
// Example: "seed=7,drop=0.01,busy=3000,unplug-at=120,power-loss-at=300,tear=1,flip=0.01".
//
// Busy periods follow an S-record loader's block erases and a whole-image loader's start command
// (which erases its image area); they come on top of the whole-image loader's own busy answers.

#include "CSimHost.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct SimFaultSpec
{
    std::uint64_t seed = 0;
    double dropSetRate = 0.0;
    double dropGetRate = 0.0;
    double ackLossRate = 0.0;
    std::set<std::uint8_t> ids; // empty = every report id
    std::uint32_t busyMs = 0;
    std::int64_t unplugAt = -1;    // report number, -1 = never
    std::int64_t replugMs = -1;    // -1 = stays unplugged
    std::int64_t powerLossAt = -1; // report number, -1 = never
    std::int64_t powerBackMs = -1; // -1 = stays off
    double tearRate = 0.0;
    double flipRate = 0.0;
    double shortRate = 0.0;
    double longRate = 0.0;
    double wrongIdRate = 0.0;
    double staleRate = 0.0;
    std::map<std::uint8_t, std::int64_t> stuck; // wire id -> failures (-1 = all)
    double notifyLossRate = 0.0;
    double notifyDupRate = 0.0;
    std::uint32_t notifyLateMs = 0;
    std::int64_t reenumMs = -1; // -1 = the board's own delay

    bool Any() const;
    bool CorruptsAnswers() const;
    bool DisturbsNotifications() const;
};

// False (with a reason in error_O) for an unknown key, a repeated key, a malformed number or a
// rate outside [0, 1].
bool ParseSimFaultSpec(const std::string& text_I, SimFaultSpec& spec_O, std::string& error_O);
// The canonical text of a spec; parsing it gives the same spec.
std::string FormatSimFaultSpec(const SimFaultSpec& spec_I);

// What was injected, by kind.
struct SimFaultStats
{
    std::uint64_t reports = 0; // reports that reached an armed injector
    std::uint64_t droppedSets = 0;
    std::uint64_t droppedGets = 0;
    std::uint64_t lostAcks = 0;
    std::uint64_t busyRefusals = 0;
    std::uint64_t busyPeriods = 0;
    std::uint64_t unplugs = 0;
    std::uint64_t powerLosses = 0;
    std::uint64_t tornReports = 0;
    std::uint64_t flippedAnswers = 0;
    std::uint64_t shortAnswers = 0;
    std::uint64_t longAnswers = 0;
    std::uint64_t wrongIdAnswers = 0;
    std::uint64_t staleAnswers = 0;
    std::uint64_t stuckFailures = 0;
    std::uint64_t lostNotifications = 0;
    std::uint64_t duplicatedNotifications = 0;
    std::uint64_t lateNotifications = 0;
    std::uint64_t slowReturns = 0; // re-enumerations that took reenum=MS

    std::uint64_t CorruptedAnswers() const
    {
        return flippedAnswers + shortAnswers + longAnswers + wrongIdAnswers + staleAnswers;
    }
    std::uint64_t NotificationFaults() const { return lostNotifications + duplicatedNotifications + lateNotifications; }

    SimFaultStats& operator+=(const SimFaultStats& other_I);
    std::uint64_t Injected() const;
};

// Small deterministic generator (splitmix64): the same seed gives the same faults on every
// platform and standard library.
class CSimFaultRandom
{
public:
    explicit CSimFaultRandom(std::uint64_t seed_I = 0) : mState(seed_I) {}
    std::uint64_t Next();
    // Uniform in [0, 1).
    double NextUnit();
    // Uniform in [low, high].
    std::uint64_t Between(std::uint64_t low_I, std::uint64_t high_I);

private:
    std::uint64_t mState;
};

// Stands between a board's node and its device. What happens to the board itself on an unplug
// or power loss is the board's business: the injector calls the actions it was given.
class CSimFaultInjector : public CSimHidDevice
{
public:
    struct Actions
    {
        std::function<void()> unplug;
        std::function<void()> powerLoss;
        // Whether this SET (an erase) leaves the flash busy.
        std::function<bool(const std::vector<std::uint8_t>&)> startsBusy;
        // The power fails while this SET is being applied: the board applies part of it if it
        // is an erase or a write (drawing where it stops from random_IO) and says whether it did.
        std::function<bool(const std::vector<std::uint8_t>&, CSimFaultRandom& random_IO)> tear;
    };

    // What becomes of one notification about the board's nodes.
    struct NotificationFate
    {
        int copies = 1;           // 0 = lost, 2 = duplicated
        std::uint32_t delayMs = 0; // delivered this late
    };

    // Starts disarmed: reports pass untouched until Arm.
    CSimFaultInjector(std::shared_ptr<CSimHidDevice> inner_I, Actions actions_I);

    bool SetFeature(const std::vector<std::uint8_t>& report_I) override;
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override;

    // Starts acting on a spec: report numbers count from here, the generator starts from the
    // seed mixed with stream_I (a board's own index, so boards of one bus differ).
    void Arm(const SimFaultSpec& spec_I, std::uint64_t stream_I);
    // Reports pass untouched from now on (a busy period ends too); the statistics stay.
    void Disarm();
    // Draws the fate of one arrival or removal notification (delivered at once when disarmed).
    // Safe on the clock's event thread while reports flow on another: it has its own generator.
    NotificationFate NextNotification();
    // How long the board takes to come back on a mode switch, given its own delay.
    std::uint32_t ReenumerationDelay(std::uint32_t ownMs_I);
    bool Armed() const { return mArmed; }
    const SimFaultSpec& Spec() const { return mSpec; }
    SimFaultStats Stats() const;

private:
    // True when the report must fail before reaching the board.
    bool Intercept(const std::vector<std::uint8_t>& report_I, bool set_I);
    bool Applies(std::uint8_t id_I) const;
    // Corrupts a good answer as the fault description asks (at most one corruption per answer).
    void Corrupt(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO);

    std::shared_ptr<CSimHidDevice> mInner;
    SimFaultSpec mSpec;
    CSimFaultRandom mRandom;
    Actions mActions;
    SimFaultStats mStats;
    std::uint64_t mReportsSinceArm = 0;
    std::uint64_t mBusyUntil = 0;
    std::map<std::uint8_t, std::int64_t> mStuckLeft;
    // The board's last true answer per report id.
    std::map<std::uint8_t, std::vector<std::uint8_t>> mLastAnswers;
    bool mArmed = false;
    // Notifications are drawn on whatever thread runs the clock's events.
    mutable std::mutex mNotifyMutex;
    CSimFaultRandom mNotifyRandom;
    SimFaultStats mNotifyStats;
    bool mNotifyArmed = false;
    double mNotifyLossRate = 0.0;
    double mNotifyDupRate = 0.0;
    std::uint32_t mNotifyLateMs = 0;
};
