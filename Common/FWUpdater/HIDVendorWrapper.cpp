#include "FWUpdater/HIDVendorWrapper.h"

#include "FWUpdater/CFLProtocol.h"

#include <algorithm>
#include <optional>

bool WrapVendorReport(const std::vector<std::uint8_t>& inner_I, std::vector<std::uint8_t>& wrapped_O)
{
    if (inner_I.empty() || inner_I.size() > 0xFFFF)
        return false;
    if (&inner_I == &wrapped_O) {
        const std::vector<std::uint8_t> inner = inner_I;
        return WrapVendorReport(inner, wrapped_O);
    }
    const std::size_t length = inner_I.size();
    // Filled in place, so that a buffer kept from an earlier report is reused without allocating.
    wrapped_O.assign(std::max(kVendorWrapperMinLength, length + kVendorWrapperHeaderLength), 0);
    wrapped_O[0] = eBL_HID_REP_VENDOR_WRAPPER_ID;
    wrapped_O[1] = static_cast<std::uint8_t>(length >> 8);
    wrapped_O[2] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(inner_I.begin(), inner_I.end(), wrapped_O.begin() + kVendorWrapperHeaderLength);
    return true;
}

bool UnwrapVendorReport(const std::vector<std::uint8_t>& wrapped_I, std::vector<std::uint8_t>& inner_O)
{
    if (wrapped_I.size() < kVendorWrapperHeaderLength || wrapped_I[0] != eBL_HID_REP_VENDOR_WRAPPER_ID)
        return false;
    const std::size_t length = (static_cast<std::size_t>(wrapped_I[1]) << 8) | wrapped_I[2];
    if (length > wrapped_I.size() - kVendorWrapperHeaderLength)
        return false; // the length field claims more than the device sent
    inner_O.assign(wrapped_I.begin() + kVendorWrapperHeaderLength,
                   wrapped_I.begin() + static_cast<std::ptrdiff_t>(kVendorWrapperHeaderLength + length));
    return true;
}

bool HIDSetFeature(std::uint32_t usagePage_I, const std::vector<std::uint8_t>& report_I,
                   const HIDFeatureCall& setFeature_I, HIDFeatureBuffers* buffers_IO)
{
    std::optional<HIDFeatureBuffers> local; // built only for a caller without buffers
    std::vector<std::uint8_t>& buffer = (buffers_IO != nullptr ? *buffers_IO : local.emplace()).os;
    if (usagePage_I == kVendorWrapperUsagePage) {
        if (!WrapVendorReport(report_I, buffer))
            return false;
    } else {
        buffer.assign(report_I.begin(), report_I.end());
    }
    // The OS sends a copy: whatever it does to the buffer, the caller's report stays intact, so
    // the unwrap after a set has nothing left to restore.
    return setFeature_I(buffer);
}

bool HIDGetFeature(std::uint32_t usagePage_I, std::vector<std::uint8_t>& report_IO,
                   const HIDFeatureCall& getFeature_I, HIDFeatureBuffers* buffers_IO)
{
    if (usagePage_I != kVendorWrapperUsagePage) {
        const std::size_t requested = report_IO.size();
        if (!getFeature_I(report_IO))
            return false;
        return report_IO.size() <= requested;
    }
    std::optional<HIDFeatureBuffers> local;
    HIDFeatureBuffers& buffers = buffers_IO != nullptr ? *buffers_IO : local.emplace();
    if (!WrapVendorReport(report_IO, buffers.os))
        return false;
    if (!getFeature_I(buffers.os))
        return false;
    if (!UnwrapVendorReport(buffers.os, buffers.inner) || buffers.inner.size() != report_IO.size())
        return false;
    report_IO.swap(buffers.inner);
    return true;
}
