#include "CSimHost.h"

#include "Clock.h"

#include <algorithm>
#include <optional>

namespace {
constexpr std::uint16_t kVendorPage = 0xFF00;
constexpr std::uint8_t kWrapperId = 0xDC;
constexpr std::size_t kWrappedMin = 1024;
} // namespace

bool SimUnwrapVendorReport(const std::vector<std::uint8_t>& wrapped_I, std::vector<std::uint8_t>& inner_O)
{
    if (wrapped_I.size() < 3 || wrapped_I[0] != kWrapperId)
        return false;
    const std::size_t length = static_cast<std::size_t>(wrapped_I[1]) * 256 + wrapped_I[2];
    if (length == 0 || 3 + length > wrapped_I.size())
        return false;
    inner_O.assign(wrapped_I.begin() + 3, wrapped_I.begin() + 3 + static_cast<std::ptrdiff_t>(length));
    return true;
}

void SimWrapVendorReport(const std::vector<std::uint8_t>& inner_I, std::vector<std::uint8_t>& wrapped_O)
{
    wrapped_O.assign(std::max(kWrappedMin, inner_I.size() + 3), 0);
    wrapped_O[0] = kWrapperId;
    wrapped_O[1] = static_cast<std::uint8_t>(inner_I.size() / 256);
    wrapped_O[2] = static_cast<std::uint8_t>(inner_I.size() % 256);
    std::copy(inner_I.begin(), inner_I.end(), wrapped_O.begin() + 3);
}

void CSimHost::AddNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimHidDevice> device_I)
{
    AddAnyNode(info_I, std::move(device_I), nullptr);
}

void CSimHost::AddUsbNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimUsbDevice> device_I)
{
    AddAnyNode(info_I, nullptr, std::move(device_I));
}

void CSimHost::AddAnyNode(const SimHidNodeInfo& info_I, std::shared_ptr<CSimHidDevice> device_I,
                          std::shared_ptr<CSimUsbDevice> usbDevice_I)
{
    SimHidNodeInfo info = info_I;
    info.interfaceClass = usbDevice_I ? ESimInterfaceClass::eBulkLoader : ESimInterfaceClass::eHid;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        auto node = std::make_shared<Node>();
        node->info = info;
        node->device = std::move(device_I);
        node->usbDevice = std::move(usbDevice_I);
        auto& slot = mNodes[info.path];
        if (slot)
            slot->present = false; // the old node under this path is gone for its handles
        slot = node;
    }
    Notify(SimHostEvent{SimHostEvent::eArrival, info});
}

bool CSimHost::UpdateNodeInfo(const SimHidNodeInfo& info_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mNodes.find(info_I.path);
    if (it == mNodes.end())
        return false;
    it->second->info = info_I;
    return true;
}

bool CSimHost::RemoveNode(const std::string& path_I)
{
    SimHidNodeInfo info;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        auto it = mNodes.find(path_I);
        if (it == mNodes.end())
            return false;
        it->second->present = false;
        info = it->second->info;
        mNodes.erase(it);
    }
    Notify(SimHostEvent{SimHostEvent::eRemoval, info});
    return true;
}

void CSimHost::ScheduleAddNode(std::uint32_t delayMs_I, const SimHidNodeInfo& info_I,
                               std::shared_ptr<CSimHidDevice> device_I)
{
    std::weak_ptr<CSimHost> self = weak_from_this();
    GetClock()->scheduleAfter(delayMs_I, [self, info_I, device_I]() {
        if (auto host = self.lock())
            host->AddNode(info_I, device_I);
    });
}

void CSimHost::ScheduleAddUsbNode(std::uint32_t delayMs_I, const SimHidNodeInfo& info_I,
                                  std::shared_ptr<CSimUsbDevice> device_I)
{
    std::weak_ptr<CSimHost> self = weak_from_this();
    GetClock()->scheduleAfter(delayMs_I, [self, info_I, device_I]() {
        if (auto host = self.lock())
            host->AddUsbNode(info_I, device_I);
    });
}

void CSimHost::ScheduleRemoveNode(std::uint32_t delayMs_I, const std::string& path_I)
{
    std::weak_ptr<CSimHost> self = weak_from_this();
    GetClock()->scheduleAfter(delayMs_I, [self, path_I]() {
        if (auto host = self.lock())
            host->RemoveNode(path_I);
    });
}

bool CSimHost::IsPresent(const std::string& path_I) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mNodes.count(path_I) != 0;
}

std::vector<SimHidNodeInfo> CSimHost::Nodes() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<SimHidNodeInfo> nodes;
    for (const auto& entry : mNodes)
        nodes.push_back(entry.second->info);
    return nodes;
}

void CSimHost::AddListener(Listener listener_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mListeners.push_back(std::move(listener_I));
}

void CSimHost::Notify(const SimHostEvent& event_I)
{
    std::vector<Listener> listeners;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        listeners = mListeners;
    }
    for (const Listener& listener : listeners)
        listener(event_I);
}

CSimHost::Handle CSimHost::OpenPath(const std::string& path_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mNodes.find(path_I);
    if (it == mNodes.end())
        return 0;
    const Handle handle = mNextHandle++;
    mHandles[handle] = it->second;
    ++mOpenCounts[path_I];
    return handle;
}

void CSimHost::CloseHandle(Handle handle_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mHandles.erase(handle_I);
}

CSimHost::UsbHandle CSimHost::UsbInitialize(Handle handle_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mHandles.find(handle_I);
    if (it == mHandles.end())
        return 0;
    const std::shared_ptr<Node>& node = it->second;
    if (!node->present || !node->usbDevice || node->claimed)
        return 0;
    auto refused = mRefusedClaims.find(node->info.path);
    if (refused != mRefusedClaims.end() && refused->second)
        return 0;
    node->claimed = true;
    const UsbHandle usb = mNextUsbHandle++;
    mUsbHandles[usb] = UsbClaim{handle_I, node};
    return usb;
}

void CSimHost::UsbFree(UsbHandle usb_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mUsbHandles.find(usb_I);
    if (it == mUsbHandles.end())
        return;
    it->second.node->claimed = false;
    mUsbHandles.erase(it);
}

std::shared_ptr<CSimHost::Node> CSimHost::NodeOfUsb(UsbHandle usb_I) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mUsbHandles.find(usb_I);
    // The claim dies with the file handle it was made on and with the node.
    if (it == mUsbHandles.end() || !it->second.node->present || mHandles.count(it->second.file) == 0)
        return nullptr;
    return it->second.node;
}

bool CSimHost::UsbGetDescriptor(UsbHandle usb_I, std::uint8_t type_I, std::uint8_t index_I, std::uint16_t language_I,
                                std::vector<std::uint8_t>& buffer_IO, std::size_t& transferred_O)
{
    transferred_O = 0;
    const auto node = NodeOfUsb(usb_I);
    if (!node || type_I != 1 || index_I != 0 || language_I != 0)
        return false;
    const SimHidNodeInfo& info = node->info;
    const std::vector<std::uint8_t> descriptor{
        18, 1, 0x00, 0x02,        // bLength, bDescriptorType, bcdUSB 2.00
        0xFF, 0x00, 0x00, 64,     // vendor class, subclass, protocol, bMaxPacketSize0
        static_cast<std::uint8_t>(info.vendorId), static_cast<std::uint8_t>(info.vendorId >> 8),
        static_cast<std::uint8_t>(info.productId), static_cast<std::uint8_t>(info.productId >> 8),
        static_cast<std::uint8_t>(info.version), static_cast<std::uint8_t>(info.version >> 8),
        1, 2, 3, 1};              // string indexes, bNumConfigurations
    transferred_O = std::min(buffer_IO.size(), descriptor.size());
    std::copy_n(descriptor.begin(), transferred_O, buffer_IO.begin());
    return true;
}

bool CSimHost::UsbControlTransfer(UsbHandle usb_I, const std::vector<std::uint8_t>& setup_I,
                                  std::vector<std::uint8_t>& buffer_IO, std::size_t& transferred_O)
{
    transferred_O = 0;
    const auto node = NodeOfUsb(usb_I);
    if (!node || setup_I.size() != 8)
        return false;
    const bool in = (setup_I[0] & 0x80) != 0;
    const std::size_t wLength = static_cast<std::size_t>(setup_I[6]) | (static_cast<std::size_t>(setup_I[7]) << 8);
    // WinUSB refuses a data stage longer than the buffer it was given.
    bool ok = false;
    std::vector<std::uint8_t> in_data;
    if (wLength <= buffer_IO.size())
        ok = node->usbDevice->ControlTransfer(setup_I, in_data);
    std::vector<std::uint8_t> record = setup_I;
    if (ok && in) {
        transferred_O = std::min(in_data.size(), wLength);
        std::copy_n(in_data.begin(), transferred_O, buffer_IO.begin());
        record.insert(record.end(), buffer_IO.begin(), buffer_IO.begin() + static_cast<std::ptrdiff_t>(transferred_O));
    } else if (ok) {
        transferred_O = wLength;
    }
    Record(in ? ESimWireDirection::eGet : ESimWireDirection::eSet, node->info.path, record, ok, true);
    return ok;
}

std::shared_ptr<CSimHost::Node> CSimHost::NodeOf(Handle handle_I) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mHandles.find(handle_I);
    if (it == mHandles.end() || !it->second->present)
        return nullptr;
    return it->second;
}

bool CSimHost::GetAttributes(Handle handle_I, std::uint16_t& vendorId_O, std::uint16_t& productId_O,
                             std::uint16_t& version_O)
{
    const auto node = NodeOf(handle_I);
    if (!node || !node->device)
        return false;
    vendorId_O = node->info.vendorId;
    productId_O = node->info.productId;
    version_O = node->info.version;
    return true;
}

bool CSimHost::GetCaps(Handle handle_I, std::uint16_t& usage_O, std::uint16_t& usagePage_O)
{
    const auto node = NodeOf(handle_I);
    if (!node || !node->device)
        return false;
    usage_O = node->info.usage;
    usagePage_O = node->info.usagePage;
    return true;
}

std::string CSimHost::GetDeviceId(const std::string& path_I, std::uint8_t levels_I) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mNodes.find(path_I);
    if (it == mNodes.end() || levels_I >= it->second->info.parentIds.size())
        return std::string();
    return it->second->info.parentIds[levels_I];
}

void CSimHost::Record(ESimWireDirection direction_I, const std::string& path_I,
                      const std::vector<std::uint8_t>& bytes_I, bool ok_I, bool control_I)
{
    if (!mTranscriptEnabled)
        return;
    std::lock_guard<std::mutex> lock(mMutex);
    if (mTranscriptEnabled)
        mTranscript.push_back(SimWireRecord{direction_I, path_I, bytes_I, ok_I, control_I});
}

bool CSimHost::SetFeature(Handle handle_I, const std::vector<std::uint8_t>& buffer_I, SimFeatureScratch* scratch_IO)
{
    const auto node = NodeOf(handle_I);
    if (!node || !node->device)
        return false;
    bool ok = false;
    if (!buffer_I.empty()) {
        if (node->info.usagePage == kVendorPage) {
            std::optional<SimFeatureScratch> local; // built only for a caller without scratch
            std::vector<std::uint8_t>& inner = (scratch_IO != nullptr ? *scratch_IO : local.emplace()).inner;
            ok = SimUnwrapVendorReport(buffer_I, inner) && node->device->SetFeature(inner);
        } else {
            ok = node->device->SetFeature(buffer_I);
        }
    }
    Record(ESimWireDirection::eSet, node->info.path, buffer_I, ok);
    return ok;
}

bool CSimHost::GetFeature(Handle handle_I, std::vector<std::uint8_t>& buffer_IO, SimFeatureScratch* scratch_IO)
{
    const auto node = NodeOf(handle_I);
    if (!node || !node->device)
        return false;
    // Devices build their answers byte by byte, into buffers kept from earlier reports.
    std::optional<SimFeatureScratch> local; // built only for a caller without scratch
    SimFeatureScratch& scratch = scratch_IO != nullptr ? *scratch_IO : local.emplace();
    std::vector<std::uint8_t>& answer = scratch.answer;
    answer.clear();
    bool ok = false;
    if (!buffer_IO.empty()) {
        if (node->info.usagePage == kVendorPage) {
            std::vector<std::uint8_t>& inner = scratch.inner;
            std::vector<std::uint8_t>& innerAnswer = scratch.innerAnswer;
            innerAnswer.clear();
            ok = SimUnwrapVendorReport(buffer_IO, inner) && node->device->GetFeature(inner, innerAnswer);
            if (ok)
                SimWrapVendorReport(innerAnswer, answer);
        } else {
            ok = node->device->GetFeature(buffer_IO, answer);
        }
    }
    if (ok && mTampered) {
        std::shared_ptr<const WireTamper> tamper;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            tamper = mTamper;
        }
        if (tamper)
            (*tamper)(node->info.path, answer, ok);
    }
    if (ok) {
        // The OS never writes past the caller's buffer; a shorter answer is a short transfer.
        if (answer.size() < buffer_IO.size())
            buffer_IO.resize(answer.size());
        std::copy(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(buffer_IO.size()), buffer_IO.begin());
    }
    Record(ESimWireDirection::eGet, node->info.path, buffer_IO, ok);
    return ok;
}

std::vector<SimWireRecord> CSimHost::Transcript() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mTranscript;
}

std::size_t CSimHost::TranscriptSize() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mTranscript.size();
}

void CSimHost::ClearTranscript()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mTranscript.clear();
}

void CSimHost::SetTranscriptEnabled(bool enabled_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mTranscriptEnabled = enabled_I;
}

void CSimHost::SetWireTamper(WireTamper tamper_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mTamper = tamper_I ? std::make_shared<const WireTamper>(std::move(tamper_I)) : nullptr;
    mTampered = mTamper != nullptr;
}

int CSimHost::OpenCount(const std::string& path_I) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mOpenCounts.find(path_I);
    return it == mOpenCounts.end() ? 0 : it->second;
}

int CSimHost::OpenHandles() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mHandles.size());
}

int CSimHost::ClaimedUsbHandles() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(mUsbHandles.size());
}

void CSimHost::RefuseUsbClaims(const std::string& path_I, bool refuse_I)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mRefusedClaims[path_I] = refuse_I;
}
