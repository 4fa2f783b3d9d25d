#pragma once
// The vendor-page wrapper around HID feature reports, and the set/get feature algorithm that
// applies it. Every platform's HID class (and the raw transfers of the I2C class) calls
// HIDSetFeature/HIDGetFeature with its own one-shot OS call, so the framing and the checks on a
// device's answer live in one place.
//
// Wrapped form: 0xDC, inner length (u16, big-endian), the inner report (its id first), zero
// padding up to 1024 bytes when shorter.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

constexpr std::uint32_t kVendorWrapperUsagePage = 0xFF00;
constexpr std::size_t kVendorWrapperMinLength = 1024;
constexpr std::size_t kVendorWrapperHeaderLength = 3;

// False (wrapped_O untouched) for an empty report or one longer than the 16-bit length field.
bool WrapVendorReport(const std::vector<std::uint8_t>& inner_I, std::vector<std::uint8_t>& wrapped_O);

// False (inner_O untouched) unless the buffer starts with the wrapper id and its length field
// fits inside the bytes actually present.
bool UnwrapVendorReport(const std::vector<std::uint8_t>& wrapped_I, std::vector<std::uint8_t>& inner_O);

// One OS feature call on a whole buffer (byte 0 = report id): true when the OS reports success.
// A get may leave the buffer shorter than it was (the OS returned fewer bytes); it must never
// make it longer.
// Refers to the caller's callable (a lambda, mostly) for the one call it is passed to, and is
// never kept: an update sends thousands of reports, and each built a std::function.
class HIDFeatureCall
{
public:
    template <typename TCall, typename = std::enable_if_t<!std::is_same_v<std::decay_t<TCall>, HIDFeatureCall>>>
    HIDFeatureCall(TCall&& call_I) // NOLINT(google-explicit-constructor): callers pass lambdas
        : mCallable(const_cast<void*>(static_cast<const void*>(std::addressof(call_I)))),
          mInvoke([](void* callable_I, std::vector<std::uint8_t>& buffer_IO) -> bool {
              return (*static_cast<std::remove_reference_t<TCall>*>(callable_I))(buffer_IO);
          })
    {
    }

    bool operator()(std::vector<std::uint8_t>& buffer_IO) const { return mInvoke(mCallable, buffer_IO); }

private:
    void* mCallable;
    bool (*mInvoke)(void* callable_I, std::vector<std::uint8_t>& buffer_IO);
};

// The OS-side buffers of one interface's feature calls, kept between reports by the interface:
// an update sends thousands of reports, and on the vendor page each would otherwise allocate
// 1 KiB for the wrapper alone. Not thread_local: a thread_local with a destructor crashes at
// thread exit in the Windows build (mingw-w64 frees its storage before running its destructor).
struct HIDFeatureBuffers
{
    std::vector<std::uint8_t> os;
    std::vector<std::uint8_t> inner;
    std::vector<std::uint8_t> request; // a wrapped request SET ahead of its GET
};

// One SET: wrapped when usagePage_I is the vendor page. The caller's report is never changed.
// Without buffers_IO the call uses buffers of its own.
bool HIDSetFeature(std::uint32_t usagePage_I, const std::vector<std::uint8_t>& report_I,
                   const HIDFeatureCall& setFeature_I, HIDFeatureBuffers* buffers_IO = nullptr);

// One GET into report_IO (byte 0 = the wanted id, length = the wanted length). On a vendor page
// the request goes out wrapped and the answer is unwrapped; an answer that is not a well-formed
// wrapper or whose inner length differs from the request fails, and report_IO is then left as
// it was. Without the wrapper the OS call works on report_IO directly.
bool HIDGetFeature(std::uint32_t usagePage_I, std::vector<std::uint8_t>& report_IO,
                   const HIDFeatureCall& getFeature_I, HIDFeatureBuffers* buffers_IO = nullptr);
