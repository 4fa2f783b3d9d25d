#include "FWUpdater/CI2CFLDeviceInterface.h"

#include "Clock.h"
#include "FWUpdater/ByteOrder.h"

#include <algorithm>

CI2CFLDeviceInterface::CI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CFLDeviceInterface(path_I, interfaceKind_I)
{
}

bool CI2CFLDeviceInterface::IsFirmwareLoader()
{
    bool loader = false;
    QueryMode(loader);
    return firmwareLoader;
}

bool CI2CFLDeviceInterface::QueryMode(bool& loader_O)
{
    std::vector<std::uint8_t> mode{eI2C_REP_MODE_ID, 0xFF, 0xFF};
    // Only a whole mode answer counts: a short one, or a query that failed on the link, proves
    // nothing about the board, and the last known mode stands. Taking a lost answer for "not in
    // the loader" let a board stuck in its loader pass for switched back, and made programming
    // skip the checksum invalidation and commit of a board that has them.
    // The answer of another report is no answer either.
    if (!RawReadFeature(mode) || mode.size() != kI2CModeReportLength || mode[0] != eI2C_REP_MODE_ID)
        return false;
    firmwareLoader = mode[1] == 0 && mode[2] == 0;
    loader_O = firmwareLoader;
    return true;
}

bool CI2CFLDeviceInterface::SwitchToBLMode()
{
    if (!Open()) {
        Close();
        return false;
    }
    for (int attempt = 0; attempt < kI2CModeSwitchTries; ++attempt) {
        if (IsFirmwareLoader())
            break;
        RawWriteFeature({eI2C_REP_MODE_ID, 0x00, 0x00}); // the answer to the query decides
        GetClock()->sleep(kI2CModeSwitchPauseMs);
    }
    const bool loader = IsFirmwareLoader();
    Close();
    return loader;
}

bool CI2CFLDeviceInterface::SwitchFromBLMode()
{
    if (!IsOpen())
        return false;
    // "Left the loader" ends the update as a success, so it takes two normal-mode answers in a
    // row, both real answers (a failed query's "last known mode" counts for nothing): one
    // answer garbled on the link (a bit of 00 00 flipped) must not pass a board that still runs
    // its loader for switched back.
    auto leftLoader = [this] {
        bool first = true;
        bool second = true;
        return QueryMode(first) && !first && QueryMode(second) && !second;
    };
    for (int attempt = 0; attempt < kI2CModeSwitchTries; ++attempt) {
        if (leftLoader())
            return true;
        RawWriteFeature({eI2C_REP_MODE_ID, 0x01, 0x01});
    }
    return leftLoader();
}

bool CI2CFLDeviceInterface::IsConnected()
{
    if (!IsOpen())
        return false;
    if (IsFirmwareLoader()) {
        std::uint32_t status = 0;
        return ReadStatus(status);
    }
    return RawWriteFeature({eBL_HID_REP_PING_ID, 0x00});
}

bool CI2CFLDeviceInterface::SendReset()
{
    return false;
}

bool CI2CFLDeviceInterface::PollBridge(EI2CReportId report_I, std::size_t length_I, std::vector<std::uint8_t>& answer_O)
{
    for (int poll = 0; poll < kI2CBusyPolls; ++poll) {
        answer_O.assign(length_I, 0);
        answer_O[0] = report_I;
        if (!RawReadFeature(answer_O) || answer_O.size() != length_I || answer_O[0] != report_I)
            return false;
        if (answer_O[1] != eI2C_STATUS_BUSY)
            return true;
        if (poll + 1 < kI2CBusyPolls)
            GetClock()->sleep(kI2CTunnelPauseMs);
    }
    return false; // still busy: a stuck bridge must not hold the update forever
}

bool CI2CFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    const std::size_t n = report_I.size();
    if (n == 0 || n > kI2CMaxTunnelledReport)
        return false;
    std::vector<std::uint8_t> request(kI2CWriteRequestLength, 0);
    request[0] = eI2C_REP_WRITE_ID;
    request[1] = 0x01;
    PutU16LE(request, 2, static_cast<std::uint16_t>(n));
    std::copy(report_I.begin(), report_I.end(), request.begin() + 4);
    const bool sent = RawWriteFeature(request);
    GetClock()->sleep(kI2CTunnelPauseMs);
    if (!sent)
        return false;
    std::vector<std::uint8_t> status;
    if (!PollBridge(eI2C_REP_WRITE_ID, kI2CWriteStatusLength, status))
        return false;
    switch (status[1]) {
    case eI2C_STATUS_DONE:
        return true;
    case eI2C_STATUS_DONE_DATA:
        return status[5] == report_I[0];
    default:
        return false;
    }
}

bool CI2CFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    if (report_IO.empty())
        return false;
    const std::uint8_t id = report_IO[0];
    const std::size_t n = std::min(report_IO.size(), kI2CMaxTunnelledReport);
    std::vector<std::uint8_t> request(kI2CReadRequestLength, 0);
    request[0] = eI2C_REP_READ_ID;
    request[1] = 0x01;
    request[2] = id;
    PutU16LE(request, 3, static_cast<std::uint16_t>(n));
    const bool sent = RawWriteFeature(request);
    GetClock()->sleep(kI2CTunnelPauseMs);
    if (!sent)
        return false;
    std::vector<std::uint8_t> answer;
    if (!PollBridge(eI2C_REP_READ_ID, kI2CReadAnswerLength, answer))
        return false;
    switch (answer[1]) {
    case eI2C_STATUS_DONE:
        return true; // done without data: the caller's buffer stays as it was
    case eI2C_STATUS_DONE_DATA:
        // The length must be the one asked for; 5 + n <= 266 holds for every n <= 261, so the
        // copy stays inside both buffers.
        if (GetU16LE(&answer[3]) != n || answer[5] != id)
            return false;
        std::copy_n(answer.begin() + 5, n, report_IO.begin());
        return true;
    default:
        return false;
    }
}
