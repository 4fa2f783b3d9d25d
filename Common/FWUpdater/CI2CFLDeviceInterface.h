#pragma once
// A board behind an I2C bridge. Every loader report is tunnelled through the bridge's own HID
// reports: 0xB2 carries a report to the board (and answers its write status), 0xB1 asks for a
// report from the board (and answers it); 0xB0 queries and switches the board's mode. The
// platform class supplies open, close, attributes, the parent id and the raw HID set/get of
// the bridge reports (RawWriteFeature/RawReadFeature, through HIDSetFeature/HIDGetFeature).
//
// The bridge is as untrusted as a board: every answer's id, length and status is checked
// before a byte of it is used, and its busy answers are polled a bounded number of times.

#include "FWUpdater/CFLDeviceInterface.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum EI2CReportId : std::uint8_t
{
    eI2C_REP_MODE_ID = 0xB0,
    eI2C_REP_READ_ID = 0xB1,
    eI2C_REP_WRITE_ID = 0xB2,
};

// Status byte of the bridge's 0xB1/0xB2 answers.
enum EI2CStatus : std::uint8_t
{
    eI2C_STATUS_DONE = 0xF0,
    eI2C_STATUS_BUSY = 0xF1,
    eI2C_STATUS_DONE_DATA = 0xF2, // done, with the echoed id (write) or the report (read)
    eI2C_STATUS_FAILED = 0xF3,
};

constexpr std::size_t kI2CMaxTunnelledReport = 261;
constexpr std::size_t kI2CWriteRequestLength = 265; // B2 01 n(2) report(n) zeros
constexpr std::size_t kI2CWriteStatusLength = 6;
constexpr std::size_t kI2CReadRequestLength = 5;  // B1 01 id n(2)
constexpr std::size_t kI2CReadAnswerLength = 266; // B1 status 00 n(2) report(n) zeros
constexpr std::size_t kI2CModeReportLength = 3;
constexpr std::uint32_t kI2CTunnelPauseMs = 20;
// A bridge that answers busy this many times in a row is taken as stuck.
constexpr int kI2CBusyPolls = 60;
constexpr int kI2CModeSwitchTries = 60;
constexpr std::uint32_t kI2CModeSwitchPauseMs = 500;

class CI2CFLDeviceInterface : public CFLDeviceInterface
{
public:
    explicit CI2CFLDeviceInterface(const std::string& path_I, int interfaceKind_I = eInterfaceKindI2C);

    // Opens, asks the bridge to put the board in its loader until it reports loader mode (60
    // tries 500 ms apart), closes. True when the board is in loader mode.
    bool SwitchToBLMode() override;
    // Needs an open interface; asks the bridge to leave the loader (60 tries, no pause).
    bool SwitchFromBLMode() override;
    // Loader mode: the status report answers through the tunnel; normal mode: the bridge
    // accepts a ping.
    bool IsConnected() override;
    // A board behind the bridge cannot be reset from here: false, nothing sent.
    bool SendReset() override;
    // The tunnel: at most 261 bytes each way.
    bool WriteFeature(const std::vector<std::uint8_t>& report_I) override;
    bool ReadFeature(std::vector<std::uint8_t>& report_IO) override;
    // Asks the bridge on every call and remembers the answer.
    bool IsFirmwareLoader() override;

    // One HID set/get of a bridge report on the platform's handle. RawReadFeature follows the
    // ReadFeature contract (byte 0 = id, length = wanted length; never longer afterwards).
    virtual bool RawWriteFeature(const std::vector<std::uint8_t>& report_I) = 0;
    virtual bool RawReadFeature(std::vector<std::uint8_t>& report_IO) = 0;

private:
    // One mode query: true when a whole answer of the mode report came, and then the mode it
    // tells (remembered as IsFirmwareLoader does).
    bool QueryMode(bool& loader_O);
    // Polls a status report until the bridge stops answering busy (bounded). On true, answer_O
    // holds a whole, well-formed answer whose status is not busy.
    bool PollBridge(EI2CReportId report_I, std::size_t length_I, std::vector<std::uint8_t>& answer_O);
};
