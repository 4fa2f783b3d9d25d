#include "FWUpdater/HIDVendorWrapper.h"

#include "FWUpdater/CFLProtocol.h"

#include <algorithm>

bool WrapVendorReport(const std::vector<std::uint8_t>& inner_I, std::vector<std::uint8_t>& wrapped_O)
{
    if (inner_I.empty() || inner_I.size() > 0xFFFF)
        return false;
    const std::size_t length = inner_I.size();
    std::vector<std::uint8_t> wrapped;
    wrapped.reserve(std::max(kVendorWrapperMinLength, length + kVendorWrapperHeaderLength));
    wrapped.push_back(eBL_HID_REP_VENDOR_WRAPPER_ID);
    wrapped.push_back(static_cast<std::uint8_t>(length >> 8));
    wrapped.push_back(static_cast<std::uint8_t>(length & 0xFF));
    wrapped.insert(wrapped.end(), inner_I.begin(), inner_I.end());
    if (wrapped.size() < kVendorWrapperMinLength)
        wrapped.resize(kVendorWrapperMinLength, 0);
    wrapped_O.swap(wrapped);
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
                   const HIDFeatureCall& setFeature_I)
{
    std::vector<std::uint8_t> buffer;
    if (usagePage_I == kVendorWrapperUsagePage) {
        if (!WrapVendorReport(report_I, buffer))
            return false;
    } else {
        buffer = report_I;
    }
    // The OS sends a copy: whatever it does to the buffer, the caller's report stays intact, so
    // the unwrap after a set has nothing left to restore.
    return setFeature_I(buffer);
}

bool HIDGetFeature(std::uint32_t usagePage_I, std::vector<std::uint8_t>& report_IO,
                   const HIDFeatureCall& getFeature_I)
{
    if (usagePage_I != kVendorWrapperUsagePage) {
        const std::size_t requested = report_IO.size();
        if (!getFeature_I(report_IO))
            return false;
        return report_IO.size() <= requested;
    }
    std::vector<std::uint8_t> buffer;
    if (!WrapVendorReport(report_IO, buffer))
        return false;
    if (!getFeature_I(buffer))
        return false;
    std::vector<std::uint8_t> inner;
    if (!UnwrapVendorReport(buffer, inner) || inner.size() != report_IO.size())
        return false;
    report_IO.swap(inner);
    return true;
}
