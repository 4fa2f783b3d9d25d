#pragma once
// A simulated board whose loader takes whole images through report 0xE4 (protocol type 1): a
// touch board for Intel HEX images or the bluetooth board for Airoha images.
//
// One 512-byte report serves as command (SET) and status (GET). A start command (byte 2 = 1)
// erases the image area; data commands (byte 2 = 2) are checked and written to flash; the end
// command (byte 2 = 3) completes the image. Every accepted command makes the loader busy for a
// while on the clock; a GET answers the last accepted command with byte 3 = 1 while busy and 0
// after, and carries the count of accepted commands in bytes 508-511. A command that breaks the
// protocol (wrong target, sequence, address, constant, check byte, a command while busy, data
// before the start) is refused (the SET stalls) and noted as a violation.
//
// Intel HEX data: byte 3 = 1, byte 4 = sequence (low 8 bits, first 1), bytes 5-8 = address
// (first 0x8000, then +128), byte 9 = 0x10, 128 bytes from byte 10.
// Airoha data: bytes 3-9 = 02 00 0F 06 01 08 01, bytes 10-12 = address (24-bit big-endian,
// rising), byte 13 = CRC-8 of bytes 14-269, 256 bytes from byte 14. The range 0x3000-0x7FFF
// holds the board's own data: a packet that touches it is refused.
//
// The loader also answers the status report (0xD5) and the exit-loader report (0xD6).

#include "CSimHost.h"
#include "SimFault.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class ESimImageKind
{
    eIntelHex, // byte 1 = 0
    eAiroha,   // byte 1 = 1
};

struct SimImageLoaderConfig
{
    ESimImageKind kind = ESimImageKind::eIntelHex;
    std::uint32_t flashSize = 0x34000; // flash addresses 0 .. flashSize-1
    std::uint32_t firstIntelHexAddress = 0x8000;
    // Busy periods after each accepted command, on the clock.
    std::uint32_t startBusyMs = 250;
    std::uint32_t dataBusyMs = 30;
    std::uint32_t endBusyMs = 450;
};

constexpr std::uint32_t kSimAirohaReservedFirst = 0x3000;
constexpr std::uint32_t kSimAirohaReservedEnd = 0x8000;
// What the reserved range holds from the factory.
constexpr std::uint8_t kSimAirohaReservedByte = 0xA5;

// The bluetooth loader's check byte, computed here independently of the host's.
std::uint8_t SimCrc8Airoha(const std::uint8_t* data_I, std::size_t length_I);

class CSimImageLoader : public CSimHidDevice
{
public:
    explicit CSimImageLoader(SimImageLoaderConfig config_I = SimImageLoaderConfig());

    bool SetFeature(const std::vector<std::uint8_t>& report_I) override;
    bool GetFeature(const std::vector<std::uint8_t>& request_I, std::vector<std::uint8_t>& answer_O) override;

    // Factory contents of the flash (no command involved).
    void SetFlash(std::uint32_t address_I, const std::vector<std::uint8_t>& bytes_I);
    std::size_t FlashSize() const { return mFlash.size(); }
    // The board as it was stored away: its whole flash and whether its image is whole (a start
    // without its end leaves it not). Nothing of a programming run in progress survives.
    void RestoreFlash(const std::vector<std::uint8_t>& flash_I, bool imageValid_I);
    // What the board's start-up check decides: no image was started, or the last one completed.
    bool ImageValid() const { return !mStarted || mCompleted; }
    // Power comes back: the flash (and whether an image was started or completed) stays; the
    // programming session in RAM (sequence, next address, busy period) is gone, so data and end
    // commands are refused until a new start command.
    void PowerCycle();

    // State for tests.
    std::uint8_t FlashByte(std::uint32_t address_I) const;
    std::vector<std::uint8_t> Flash(std::uint32_t address_I, std::size_t length_I) const;
    bool Started() const { return mStarted; }
    bool Completed() const { return mCompleted; }
    int DataPackets() const { return mDataPackets; }
    int Polls() const { return mPolls; }
    int BusyAnswers() const { return mBusyAnswers; }
    std::uint32_t AcceptedCommands() const { return mAccepted; }
    const std::vector<std::string>& Violations() const { return mViolations; }
    // Addresses of the accepted data packets, in order.
    const std::vector<std::uint32_t>& PacketAddresses() const { return mPacketAddresses; }
    int ExitLoaderCount() const { return mExits; }

    // The power fails while this SET is applied: a start command the loader would accept erases
    // its image area only up to byte `stop_I` of it, a data command writes its data only up to
    // byte `stop_I`; byte `stop_I` itself gets only the bits in `mask_I` erased or programmed.
    // True when the report was such a command. TearSpan: the bytes it would cover, else 0.
    bool Tear(const std::vector<std::uint8_t>& report_I, std::uint32_t stop_I, std::uint8_t mask_I);
    std::uint32_t TearSpan(const std::vector<std::uint8_t>& report_I) const;

    // Fault hooks for report 0xE4: fail the next count SETs/GETs after letting `after` pass
    // (-1 = all from then on).
    void FailSets(int count_I, int after_I = 0) { mFailSets.Set(count_I, after_I); }
    void FailGets(int count_I, int after_I = 0) { mFailGets.Set(count_I, after_I); }
    // After this many accepted commands the loader stays busy for ever (-1 = never).
    void StickBusyAfter(int commands_I) { mStickAfter = commands_I; }
    void SetOnExitLoader(std::function<void()> hook_I) { mOnExit = std::move(hook_I); }

private:
    bool Busy() const;
    bool Refuse(const std::string& why_I);
    bool HandleCommand(const std::vector<std::uint8_t>& report_I);
    bool HandleIntelHexData(const std::vector<std::uint8_t>& report_I);
    bool HandleAirohaData(const std::vector<std::uint8_t>& report_I);
    // First flash address of the image area, and of a data command's bytes.
    std::uint32_t ImageAreaStart() const;
    std::uint32_t DataAddress(const std::vector<std::uint8_t>& report_I) const;
    void Accept(const std::vector<std::uint8_t>& report_I, std::uint32_t busyMs_I);

    SimImageLoaderConfig mConfig;
    std::vector<std::uint8_t> mFlash;
    std::vector<std::uint8_t> mLast; // the last accepted command
    std::uint64_t mBusyUntil = 0;
    bool mStarted = false;
    bool mCompleted = false;
    bool mSession = false; // a start command was accepted since power-up (RAM)
    std::uint32_t mSequence = 0;
    std::uint32_t mNextAddress = 0;
    bool mAnyAirohaPacket = false;
    std::uint32_t mAccepted = 0;
    int mDataPackets = 0;
    int mPolls = 0;
    int mBusyAnswers = 0;
    int mExits = 0;
    int mStickAfter = -1;
    std::vector<std::string> mViolations;
    std::vector<std::uint32_t> mPacketAddresses;
    SimFault mFailSets;
    SimFault mFailGets;
    std::function<void()> mOnExit;
};
