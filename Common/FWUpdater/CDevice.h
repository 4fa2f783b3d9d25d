#pragma once
// One tablet: its model description from the topology file and, once discovery has found them,
// the interfaces of its boards. A value type, copied freely (interfaces as shared references).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CFLDeviceInterface;

// Index of the per-board arrays; the same numbers as the update type.
enum Board : int
{
    eBoardPen = 0,
    eBoardTouch = 1,
    eBoardBluetooth = 2,
};
constexpr std::size_t kBoardCount = 3;

class CDevice
{
public:
    // Empty name means an unknown device.
    std::string mName;
    // Automatic update file name per board.
    std::array<std::string, kBoardCount> mUpdate;
    std::array<std::uint32_t, kBoardCount> mVid {};
    std::array<std::uint32_t, kBoardCount> mPid {};
    // InterfaceKind per board: 1 HID, 2 BULK, 3 I2C, 0 none.
    std::array<std::int32_t, kBoardCount> mInterface {};
    // Device-tree levels up to the parent that the boards of one tablet share.
    std::array<std::uint8_t, kBoardCount> mTopology {1, 1, 1};
    std::array<std::uint32_t, kBoardCount> mSectors {};
    // Top-level HID usage and usage page when no HID router is present.
    std::array<std::uint32_t, kBoardCount> mUsageId {};
    std::array<std::uint32_t, kBoardCount> mUsagePg {};
    std::array<bool, kBoardCount> mInitEeprom {};
    std::shared_ptr<CFLDeviceInterface> mPenInterface;
    std::shared_ptr<CFLDeviceInterface> mTouchInterface;
    std::shared_ptr<CFLDeviceInterface> mBluetoothInterface;
    bool mTouchSupported = false;
    bool mBluetoothSupported = false;
    // true: entering the loader makes the board come back as another device.
    std::array<bool, kBoardCount> mIntoBLMode {true, true, true};
    // A loader-mode description, or a device found or put in loader mode.
    bool mLoaderMode = false;
};
