#pragma once
// The HID class driver calls shared by the HID and I2C platform classes: one handle per open
// interface, ids and usages, and one feature SET/GET on a whole buffer (byte 0 = report id).

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct WinHidAttributes
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;
    std::uint16_t usage = 0;
    std::uint16_t usagePage = 0;
};

// Read and write access, shared read and write, open existing; INVALID_HANDLE_VALUE on failure.
HANDLE OpenHidPath(const std::string& path_I);
// HidD_GetAttributes, then the capabilities' usage and page (preparsed data always freed).
bool ReadHidAttributes(HANDLE handle_I, WinHidAttributes& attributes_O);
bool HidSetFeatureCall(HANDLE handle_I, std::vector<std::uint8_t>& buffer_IO);
bool HidGetFeatureCall(HANDLE handle_I, std::vector<std::uint8_t>& buffer_IO);
