#pragma once
// One open hidraw node: the OS calls the HID and I2C platform classes share (open, close, the
// attributes of one top-level collection, feature SET/GET). Not copyable; closes on destruction.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct HidrawAttributes
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0; // 0 when sysfs shows none (see HidrawVersion)
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
};

class CHidrawNode
{
public:
    CHidrawNode() = default;
    ~CHidrawNode();
    CHidrawNode(const CHidrawNode&) = delete;
    CHidrawNode& operator=(const CHidrawNode&) = delete;

    // Read-write; false when the node cannot be opened.
    bool Open(const std::string& devnode_I);
    void Close();
    bool IsOpen() const { return mFd >= 0; }

    // Ids (HIDIOCGRAWINFO), the usages of top-level collection collection_I (HIDIOCGRDESC) and
    // the version (sysfs). False when an ioctl fails or there is no such collection.
    bool ReadAttributes(std::size_t collection_I, HidrawAttributes& attributes_O);

    // One feature report each (byte 0 = id). A GET shortens the buffer to what the kernel
    // returned and never lengthens it.
    bool SetFeature(std::vector<std::uint8_t>& buffer_IO);
    bool GetFeature(std::vector<std::uint8_t>& buffer_IO);

    // The call for HIDGetFeature: on the vendor page the wrapped request goes out as a SET
    // before the GET. A GET on the wire (USB GET_REPORT, or the kernel's request to any HID
    // transport) carries only the report id, never the buffer, and on the vendor page every
    // report has the wrapper's id, so without it the board could not tell which inner report
    // is wanted.
    bool GetFeatureNamingRequest(bool vendorPage_I, std::vector<std::uint8_t>& buffer_IO);

private:
    int mFd = -1;
};
