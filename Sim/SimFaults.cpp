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

std::string RateText(double rate_I)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", rate_I);
    return text;
}

} // namespace

bool SimFaultSpec::Any() const
{
    return dropSetRate > 0 || dropGetRate > 0 || ackLossRate > 0 || busyMs > 0 || unplugAt > 0 || powerLossAt > 0;
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
        } else if (key == "replug" || key == "power-back") {
            ok = ParseUnsigned(value, 0xFFFFFFFFu, number);
            (key == "replug" ? spec.replugMs : spec.powerBackMs) = static_cast<std::int64_t>(number);
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
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", id);
            if (!first)
                text += '/';
            text += hex;
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
    return *this;
}

std::uint64_t SimFaultStats::Injected() const
{
    return droppedSets + droppedGets + lostAcks + busyPeriods + unplugs + powerLosses;
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
    mArmed = true;
}

void CSimFaultInjector::Disarm()
{
    mArmed = false;
    mBusyUntil = 0;
}

bool CSimFaultInjector::Applies(std::uint8_t id_I) const
{
    return mSpec.ids.empty() || mSpec.ids.count(id_I) != 0;
}

bool CSimFaultInjector::Intercept(std::uint8_t id_I, bool set_I)
{
    if (!mArmed)
        return false;
    ++mStats.reports;
    const auto number = static_cast<std::int64_t>(++mReportsSinceArm);
    if (number == mSpec.powerLossAt) {
        ++mStats.powerLosses;
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
    if (Applies(id_I) && draw < (set_I ? mSpec.dropSetRate : mSpec.dropGetRate)) {
        ++(set_I ? mStats.droppedSets : mStats.droppedGets);
        return true;
    }
    return false;
}

bool CSimFaultInjector::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    const std::uint8_t id = report_I.empty() ? 0 : report_I[0];
    if (Intercept(id, true))
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
    if (Intercept(id, false))
        return false;
    return mInner->GetFeature(request_I, answer_O);
}
