#include "SimKernelBoard.h"

#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/HIDVendorWrapper.h"

#include <set>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr std::uint8_t kDigitizerReportId = 0x03;
// The touch board's I2C bridge (scenarios basic and two-tablets).
constexpr std::uint16_t kTouchBridgeProductId = 0x0101;

// Inner reports the host reads (GET) in either protocol type: a wrapped SET of one of these
// names the next GET's answer instead of being a command.
bool IsReadReport(std::uint8_t id_I)
{
    static const std::set<std::uint8_t> ids = [] {
        std::set<std::uint8_t> s;
        for (std::uint8_t id : {eBL_HID_REP_READ_ID, eBL_HID_REP_STATUS_ID, eBL_HID_REP_LOADER_PARAMETERS_ID,
                                eBL_HID_REP_LOADER_DESCRIPTION_ID, eBL_HID_REP_CHECKSUMS_ID, eBL_HID_REP_LOADER_INFO_ID,
                                eBL_HID_REP_CURRENT_CPU_ID, eBL_HID_REP_CPU_COUNT_ID}) {
            s.insert(id);
            s.insert(static_cast<std::uint8_t>(id + kBLProtocol1IdOffset));
        }
        s.insert(eBL_HID_REP_LOADER_BYTE_ID); // the same id in both types
        return s;
    }();
    return ids.count(id_I) != 0;
}

} // namespace

CSimKernelBoard::CSimKernelBoard(std::shared_ptr<CSimHost> host_I, const SimHidNodeInfo& info_I)
    : mHost(std::move(host_I)), mInfo(info_I)
{
    mHandle = mHost->OpenPath(info_I.path);
    if (IsVendorInterface()) {
        // Claimed once for as long as the gadget presents the node: nothing else drives it.
        mUsb = mHandle != 0 ? mHost->UsbInitialize(mHandle) : 0;
        return;
    }
    if (info_I.usagePage == kVendorWrapperUsagePage)
        mFeatures = SimVendorWrapperFeatures();
    else if (info_I.productId == kTouchBridgeProductId)
        mFeatures = SimI2CBridgeFeatures();
    else
        mFeatures = SimNormalModeFeatures();
    mDescriptor = SimVendorCollection(info_I.usagePage, info_I.usage, mFeatures);
    if (info_I.usagePage != kVendorWrapperUsagePage) {
        const std::vector<std::uint8_t> pen = SimDigitizerPenCollection(kDigitizerReportId);
        mDescriptor.insert(mDescriptor.end(), pen.begin(), pen.end());
    }
}

CSimKernelBoard::~CSimKernelBoard()
{
    if (mUsb != 0)
        mHost->UsbFree(mUsb);
    if (mHandle != 0)
        mHost->CloseHandle(mHandle);
}

std::size_t CSimKernelBoard::DeclaredLength(std::uint8_t id_I) const
{
    for (const SimFeatureReport& f : mFeatures)
        if (f.id == id_I)
            return f.length;
    return 0;
}

bool CSimKernelBoard::GetFeature(std::uint8_t id_I, std::vector<std::uint8_t>& answer_O)
{
    answer_O.clear();
    if (mInfo.usagePage == kVendorWrapperUsagePage && id_I == eBL_HID_REP_VENDOR_WRAPPER_ID)
        answer_O = mPending;
    else if (DeclaredLength(id_I) != 0)
        answer_O.assign(DeclaredLength(id_I), 0), answer_O[0] = id_I;
    return mHandle != 0 && !answer_O.empty() && mHost->GetFeature(mHandle, answer_O);
}

bool CSimKernelBoard::SetFeature(const std::vector<std::uint8_t>& report_I)
{
    if (mHandle == 0 || report_I.empty())
        return false;
    std::vector<std::uint8_t> inner;
    if (mInfo.usagePage == kVendorWrapperUsagePage && SimUnwrapVendorReport(report_I, inner) && !inner.empty() &&
        IsReadReport(inner[0])) {
        mPending = report_I; // names the next GET's answer
        return true;
    }
    return mHost->SetFeature(mHandle, report_I);
}

bool CSimKernelBoard::ControlTransfer(const std::vector<std::uint8_t>& setup_I, std::vector<std::uint8_t>& in_O)
{
    in_O.clear();
    if (mUsb == 0 || setup_I.size() != 8)
        return false;
    // The data stage buffer is exactly wLength long: the host never lets more through.
    in_O.resize(static_cast<std::size_t>(setup_I[6]) | (static_cast<std::size_t>(setup_I[7]) << 8));
    std::size_t transferred = 0;
    const bool ok = mHost->UsbControlTransfer(mUsb, setup_I, in_O, transferred);
    in_O.resize((setup_I[0] & 0x80) != 0 && ok ? transferred : 0);
    return ok;
}

CSimKernelBusEvents::CSimKernelBusEvents(CSimHost& host_I, bool usbNodes_I)
{
    mWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    host_I.AddListener([this, usbNodes_I](const SimHostEvent& event) {
        if (event.node.interfaceClass != ESimInterfaceClass::eHid && !usbNodes_I)
            return; // USB nodes of the bulk loader are not HID devices
        std::lock_guard<std::mutex> lock(mMutex);
        mEvents.push_back(event);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(mWake, &one, sizeof one);
    });
}

CSimKernelBusEvents::~CSimKernelBusEvents()
{
    if (mWake >= 0)
        ::close(mWake);
}

std::deque<SimHostEvent> CSimKernelBusEvents::Take()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(mWake, &count, sizeof count);
    std::deque<SimHostEvent> events;
    std::lock_guard<std::mutex> lock(mMutex);
    events.swap(mEvents);
    return events;
}
