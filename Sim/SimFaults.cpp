#include "SimFaults.h"

#include "Clock.h"
#include "StringUtils.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

bool ParseUnsigned(const std::string& text_I, std::uint64_t max_I, std::uint64_t& value_O)
{
    if (text_I.empty() || text_I[0] == '-' || text_I[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const int base = text_I.size() > 2 && text_I[0] == '0' && (text_I[1] == 'x' || text_I[1] == 'X') ? 16 : 10;
    const unsigned long long value = std::strtoull(text_I.c_str(), &end, base);
    if (errno != 0 || end != text_I.c_str() + text_I.size() || value > max_I)
        return false;
    value_O = value;
    return true;
}

bool ParseRate(const std::string& text_I, double& rate_O)
{
    if (text_I.empty())
        return false;
    char* end = nullptr;
    const double value = std::strtod(text_I.c_str(), &end);
    if (end != text_I.c_str() + text_I.size() || !std::isfinite(value) || value < 0.0 || value > 1.0)
        return false;
    rate_O = value;
    return true;
}

std::vector<std::string> SplitOn(const std::string& text_I, char separator_I)
{
    std::vector<std::string> parts(1);
    for (char c : text_I) {
        if (c == separator_I)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// The rate member a rate key of the newer fault classes sets, or null.
double* RateKey(const std::string& key_I, SimFaultSpec& spec_IO)
{
    if (key_I == "tear")
        return &spec_IO.tearRate;
    if (key_I == "flip")
        return &spec_IO.flipRate;
    if (key_I == "short")
        return &spec_IO.shortRate;
    if (key_I == "long")
        return &spec_IO.longRate;
    if (key_I == "wrong-id")
        return &spec_IO.wrongIdRate;
    if (key_I == "stale")
        return &spec_IO.staleRate;
    if (key_I == "notify-loss")
        return &spec_IO.notifyLossRate;
    if (key_I == "notify-dup")
        return &spec_IO.notifyDupRate;
    return nullptr;
}

std::string IdText(std::uint8_t id_I)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", id_I);
    return hex;
}

std::string RateText(double rate_I)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", rate_I);
    return text;
}

} // namespace

bool SimFaultSpec::Any() const
{
    return dropSetRate > 0 || dropGetRate > 0 || ackLossRate > 0 || busyMs > 0 || unplugAt > 0 || powerLossAt > 0 ||
           CorruptsAnswers() || !stuck.empty() || DisturbsNotifications() || reenumMs >= 0;
}

bool SimFaultSpec::CorruptsAnswers() const
{
    return flipRate > 0 || shortRate > 0 || longRate > 0 || wrongIdRate > 0 || staleRate > 0;
}

bool SimFaultSpec::DisturbsNotifications() const
{
    return notifyLossRate > 0 || notifyDupRate > 0 || notifyLateMs > 0;
}

bool ParseSimFaultSpec(const std::string& text_I, SimFaultSpec& spec_O, std::string& error_O)
{
    SimFaultSpec spec;
    std::set<std::string> seen;
    bool haveDropSet = false;
    bool haveDropGet = false;
    double drop = 0.0;
    for (std::string item : SplitOn(text_I, ',')) {
        item = Trimmed(item);
        if (item.empty()) {
            if (Trimmed(text_I).empty())
                continue;
            error_O = "empty item in fault spec";
            return false;
        }
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) {
            error_O = "fault item without '=': " + item;
            return false;
        }
        const std::string key = Trimmed(item.substr(0, eq));
        const std::string value = Trimmed(item.substr(eq + 1));
        if (!seen.insert(key).second) {
            error_O = "fault key given twice: " + key;
            return false;
        }
        std::uint64_t number = 0;
        bool ok = true;
        if (key == "seed") {
            ok = ParseUnsigned(value, std::numeric_limits<std::uint64_t>::max(), number);
            spec.seed = number;
        } else if (key == "drop") {
            ok = ParseRate(value, drop);
        } else if (key == "drop-set") {
            ok = ParseRate(value, spec.dropSetRate);
            haveDropSet = true;
        } else if (key == "drop-get") {
            ok = ParseRate(value, spec.dropGetRate);
            haveDropGet = true;
        } else if (key == "ack-loss") {
            ok = ParseRate(value, spec.ackLossRate);
        } else if (key == "ids") {
            for (const std::string& id : SplitOn(value, '/')) {
                ok = ok && ParseUnsigned(Trimmed(id), 0xFF, number);
                if (ok)
                    spec.ids.insert(static_cast<std::uint8_t>(number));
            }
        } else if (key == "busy") {
            ok = ParseUnsigned(value, 0xFFFFFFFFu, number);
            spec.busyMs = static_cast<std::uint32_t>(number);
        } else if (key == "unplug-at" || key == "power-loss-at") {
            ok = ParseUnsigned(value, std::numeric_limits<std::int64_t>::max(), number) && number > 0;
            (key == "unplug-at" ? spec.unplugAt : spec.powerLossAt) = static_cast<std::int64_t>(number);
        } else if (key == "replug" || key == "power-back" || key == "reenum") {
            ok = ParseUnsigned(value, 0xFFFFFFFFu, number);
            (key == "replug" ? spec.replugMs : key == "power-back" ? spec.powerBackMs : spec.reenumMs) =
                static_cast<std::int64_t>(number);
        } else if (key == "notify-late") {
            ok = ParseUnsigned(value, 0xFFFFFFFFu, number);
            spec.notifyLateMs = static_cast<std::uint32_t>(number);
        } else if (RateKey(key, spec) != nullptr) {
            ok = ParseRate(value, *RateKey(key, spec));
        } else if (key == "stuck") {
            for (const std::string& item : SplitOn(value, '/')) {
                const std::vector<std::string> parts = SplitOn(Trimmed(item), ':');
                std::uint64_t count = 0;
                ok = ok && parts.size() <= 2 && ParseUnsigned(Trimmed(parts[0]), 0xFF, number) &&
                     (parts.size() == 1 ||
                      (ParseUnsigned(Trimmed(parts[1]), std::numeric_limits<std::int64_t>::max(), count) && count > 0));
                if (ok)
                    spec.stuck[static_cast<std::uint8_t>(number)] = parts.size() == 1 ? -1 : static_cast<std::int64_t>(count);
            }
        } else {
            error_O = "unknown fault key: " + key;
            return false;
        }
        if (!ok) {
            error_O = "bad value for fault key " + key + ": " + value;
            return false;
        }
    }
    if (!haveDropSet)
        spec.dropSetRate = drop;
    if (!haveDropGet)
        spec.dropGetRate = drop;
    spec_O = spec;
    return true;
}

std::string FormatSimFaultSpec(const SimFaultSpec& spec_I)
{
    std::string text = "seed=" + std::to_string(spec_I.seed);
    if (spec_I.dropSetRate > 0)
        text += ",drop-set=" + RateText(spec_I.dropSetRate);
    if (spec_I.dropGetRate > 0)
        text += ",drop-get=" + RateText(spec_I.dropGetRate);
    if (spec_I.ackLossRate > 0)
        text += ",ack-loss=" + RateText(spec_I.ackLossRate);
    if (!spec_I.ids.empty()) {
        text += ",ids=";
        bool first = true;
        for (std::uint8_t id : spec_I.ids) {
            if (!first)
                text += '/';
            text += IdText(id);
            first = false;
        }
    }
    if (spec_I.busyMs > 0)
        text += ",busy=" + std::to_string(spec_I.busyMs);
    if (spec_I.unplugAt > 0)
        text += ",unplug-at=" + std::to_string(spec_I.unplugAt);
    if (spec_I.replugMs >= 0)
        text += ",replug=" + std::to_string(spec_I.replugMs);
    if (spec_I.powerLossAt > 0)
        text += ",power-loss-at=" + std::to_string(spec_I.powerLossAt);
    if (spec_I.powerBackMs >= 0)
        text += ",power-back=" + std::to_string(spec_I.powerBackMs);
    const std::pair<const char*, double> rates[] = {
        {"tear", spec_I.tearRate},         {"flip", spec_I.flipRate},   {"short", spec_I.shortRate},
        {"long", spec_I.longRate},         {"wrong-id", spec_I.wrongIdRate}, {"stale", spec_I.staleRate},
        {"notify-loss", spec_I.notifyLossRate}, {"notify-dup", spec_I.notifyDupRate}};
    for (const auto& rate : rates) {
        if (rate.second > 0)
            text += std::string(",") + rate.first + "=" + RateText(rate.second);
    }
    if (!spec_I.stuck.empty()) {
        text += ",stuck=";
        bool first = true;
        for (const auto& entry : spec_I.stuck) {
            if (!first)
                text += '/';
            text += IdText(entry.first);
            if (entry.second > 0)
                text += ":" + std::to_string(entry.second);
            first = false;
        }
    }
    if (spec_I.notifyLateMs > 0)
        text += ",notify-late=" + std::to_string(spec_I.notifyLateMs);
    if (spec_I.reenumMs >= 0)
        text += ",reenum=" + std::to_string(spec_I.reenumMs);
    return text;
}

SimFaultStats& SimFaultStats::operator+=(const SimFaultStats& other_I)
{
    reports += other_I.reports;
    droppedSets += other_I.droppedSets;
    droppedGets += other_I.droppedGets;
    lostAcks += other_I.lostAcks;
    busyRefusals += other_I.busyRefusals;
    busyPeriods += other_I.busyPeriods;
    unplugs += other_I.unplugs;
    powerLosses += other_I.powerLosses;
    tornReports += other_I.tornReports;
    flippedAnswers += other_I.flippedAnswers;
    shortAnswers += other_I.shortAnswers;
    longAnswers += other_I.longAnswers;
    wrongIdAnswers += other_I.wrongIdAnswers;
    staleAnswers += other_I.staleAnswers;
    stuckFailures += other_I.stuckFailures;
    lostNotifications += other_I.lostNotifications;
    duplicatedNotifications += other_I.duplicatedNotifications;
    lateNotifications += other_I.lateNotifications;
    slowReturns += other_I.slowReturns;
    return *this;
}

std::uint64_t SimFaultStats::Injected() const
{
    // A torn report is also counted as its power loss.
    return droppedSets + droppedGets + lostAcks + busyPeriods + unplugs + powerLosses + CorruptedAnswers() +
           stuckFailures + NotificationFaults() + slowReturns;
}

std::uint64_t CSimFaultRandom::Next()
{
    std::uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double CSimFaultRandom::NextUnit()
{
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

std::uint64_t CSimFaultRandom::Between(std::uint64_t low_I, std::uint64_t high_I)
{
    if (high_I <= low_I)
        return low_I;
    const std::uint64_t span = high_I - low_I + 1;
    return span == 0 ? Next() : low_I + Next() % span;
}

CSimFaultInjector::CSimFaultInjector(std::shared_ptr<CSimHidDevice> inner_I, Actions actions_I)
    : mInner(std::move(inner_I)), mActions(std::move(actions_I))
{
}

void CSimFaultInjector::Arm(const SimFaultSpec& spec_I, std::uint64_t stream_I)
{
    mSpec = spec_I;
    mRandom = CSimFaultRandom(spec_I.seed * 0xD1B54A32D192ED03ull + stream_I * 0x8CB92BA72F3D8DD7ull + 1);
    mReportsSinceArm = 0;
    mBusyUntil = 0;
    mStuckLeft = spec_I.stuck;
    mLastAnswers.clear();
    {
        std::lock_guard<std::mutex> lock(mNotifyMutex);
        mNotifyRandom = CSimFaultRandom(spec_I.seed * 0x9FB21C651E98DF25ull + stream_I * 0xC2B2AE3D27D4EB4Full + 3);
        mNotifyArmed = spec_I.DisturbsNotifications();
        mNotifyLossRate = spec_I.notifyLossRate;
        mNotifyDupRate = spec_I.notifyDupRate;
        mNotifyLateMs = spec_I.notifyLateMs;
    }
    mArmed = true;
}

SimFaultStats CSimFaultInjector::Stats() const
{
    SimFaultStats stats = mStats;
    std::lock_guard<std::mutex> lock(mNotifyMutex);
    stats += mNotifyStats;
    return stats;
}

void CSimFaultInjector::Disarm()
{
    {
        std::lock_guard<std::mutex> lock(mNotifyMutex);
        mNotifyArmed = false;
    }
    mArmed = false;
    mBusyUntil = 0;
}

bool CSimFaultInjector::Applies(std::uint8_t id_I) const
{
    return mSpec.ids.empty() || mSpec.ids.count(id_I) != 0;
}

bool CSimFaultInjector::Intercept(const std::vector<std::uint8_t>& report_I, bool set_I)
{
    if (!mArmed)
        return false;
    const std::uint8_t id = report_I.empty() ? 0 : report_I[0];
    ++mStats.reports;
    const auto number = static_cast<std::int64_t>(++mReportsSinceArm);
    if (number == mSpec.powerLossAt) {
        ++mStats.powerLosses;
        if (set_I && mSpec.tearRate > 0 && mRandom.NextUnit() < mSpec.tearRate && mActions.tear &&
            mActions.tear(report_I, mRandom))
            ++mStats.tornReports;
        if (mActions.powerLoss)
            mActions.powerLoss();
        return true;
    }
    if (number == mSpec.unplugAt) {
        ++mStats.unplugs;
        if (mActions.unplug)
            mActions.unplug();
        return true;
    }
    if (mBusyUntil != 0 && GetClock()->now() < mBusyUntil) {
        ++mStats.busyRefusals;
        return true;
    }
    // One draw per report whatever the rates, so a spec's faults do not shift when a rate changes.
    const double draw = mRandom.NextUnit();
    if (Applies(id) && draw < (set_I ? mSpec.dropSetRate : mSpec.dropGetRate)) {
        ++(set_I ? mStats.droppedSets : mStats.droppedGets);
        return true;
    }
    auto stuck = mStuckLeft.find(id);
    if (stuck != mStuckLeft.end() && stuck->second != 0) {
        if (stuck->second > 0)
            --stuck->second;
        ++mStats.stuckFailures;
        return true;
    }
    return false;
}

void CSimFaultInjector::Corrupt(std::uint8_t id_I, std::vector<std::uint8_t>& answer_IO)
{
    const std::vector<std::uint8_t> truth = answer_IO;
    // One draw per answer whatever the rates; the kinds share it, each its own slice.
    double draw = mRandom.NextUnit();
    const bool applies = Applies(id_I) && !answer_IO.empty();
    auto take = [&draw](double rate_I) {
        const bool hit = draw < rate_I;
        draw -= rate_I;
        return hit;
    };
    if (!applies) {
        // nothing
    } else if (take(mSpec.flipRate)) {
        const std::uint64_t bit = mRandom.Between(0, answer_IO.size() * 8 - 1);
        answer_IO[bit / 8] = static_cast<std::uint8_t>(answer_IO[bit / 8] ^ (1u << (bit % 8)));
        ++mStats.flippedAnswers;
    } else if (take(mSpec.shortRate)) {
        if (answer_IO.size() > 1) {
            answer_IO.resize(mRandom.Between(1, answer_IO.size() - 1));
            ++mStats.shortAnswers;
        }
    } else if (take(mSpec.longRate)) {
        const std::uint64_t extra = mRandom.Between(1, 16);
        for (std::uint64_t i = 0; i < extra; ++i)
            answer_IO.push_back(static_cast<std::uint8_t>(mRandom.Next()));
        ++mStats.longAnswers;
    } else if (take(mSpec.wrongIdRate)) {
        std::vector<std::uint8_t> other;
        for (const auto& entry : mLastAnswers) {
            if (entry.first != id_I)
                other = entry.second;
        }
        if (other.empty()) {
            answer_IO[0] = static_cast<std::uint8_t>(id_I + 1);
        } else {
            answer_IO = other;
        }
        ++mStats.wrongIdAnswers;
    } else if (take(mSpec.staleRate)) {
        auto last = mLastAnswers.find(id_I);
        if (last != mLastAnswers.end()) {
            answer_IO = last->second;
            ++mStats.staleAnswers;
        }
    }
    mLastAnswers[id_I] = truth;
}

CSimFaultInjector::NotificationFate CSimFaultInjector::NextNotification()
{
    NotificationFate fate;
    std::lock_guard<std::mutex> lock(mNotifyMutex);
    if (!mNotifyArmed)
        return fate;
    // Three draws per notification whatever the rates.
    const double loss = mNotifyRandom.NextUnit();
    const double dup = mNotifyRandom.NextUnit();
    const std::uint64_t late = mNotifyRandom.Between(0, mNotifyLateMs);
    if (loss < mNotifyLossRate) {
        ++mNotifyStats.lostNotifications;
        fate.copies = 0;
        return fate;
    }
    if (dup < mNotifyDupRate) {
        ++mNotifyStats.duplicatedNotifications;
        fate.copies = 2;
    }
    fate.delayMs = static_cast<std::uint32_t>(late);
    if (fate.delayMs > 0)
        ++mNotifyStats.lateNotifications;
    return fate;
}

std::uint32_t CSimFaultInjector::ReenumerationDelay(std::uint32_t ownMs_I)
{
    if (!mArmed || mSpec.reenumMs < 0)
        return ownMs_I;
    ++mStats.slowReturns;
    return static_cast<std::uint32_t>(mSpec.reenumMs);
}

bool CSimFaultInjector::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    const std::uint8_t id = report_I.empty() ? 0 : report_I[0];
    if (Intercept(report_I, true))
        return false;
    const bool ok = mInner->SetFeature(report_I);
    if (ok && mArmed && mSpec.busyMs > 0 && mActions.startsBusy && mActions.startsBusy(report_I)) {
        ++mStats.busyPeriods;
        mBusyUntil = GetClock()->now() + mSpec.busyMs;
        if (mSpec.busyMs == 0xFFFFFFFFu)
            mBusyUntil = std::numeric_limits<std::uint64_t>::max();
    }
    const double draw = mRandom.NextUnit();
    if (ok && mArmed && Applies(id) && draw < mSpec.ackLossRate) {
        ++mStats.lostAcks;
        return false;
    }
    return ok;
}

bool CSimFaultInjector::GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O)
{
    const std::uint8_t id = request_I.empty() ? 0 : request_I[0];
    if (Intercept(request_I, false))
        return false;
    if (!mInner->GetFeature(request_I, answer_O))
        return false;
    if (mArmed && mSpec.CorruptsAnswers())
        Corrupt(id, answer_O);
    return true;
}
