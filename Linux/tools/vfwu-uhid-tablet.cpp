// vfwu-uhid-tablet: a simulated tablet made real for the kernel. The boards of a simulated
// scenario sit on a simulated bus as usual; every node that appears on that bus is created as a
// HID device through /dev/uhid (with a report descriptor carrying the node's usage page, usage
// and feature reports), and destroyed when it leaves. The kernel's feature-report requests are
// answered by the simulated boards. So a board that enters its loader really disappears from
// /dev and comes back as the loader device, with real udev events, and the updater talks to it
// through real hidraw nodes.
//
// Usage: vfwu-uhid-tablet [--scenario NAME]   (runs until SIGINT/SIGTERM)
//
// A GET on a real wire carries only the report id. On the vendor page the host therefore names
// the inner report it wants with a wrapped SET first (see CLinuxHIDFLDeviceInterface); this
// board keeps that request and answers the next wrapper GET with it.

#include "CSimBus.h"
#include "CSimHost.h"
#include "FWUpdater/CFLProtocol.h"
#include "FWUpdater/HIDVendorWrapper.h"
#include "SimHidDescriptors.h"
#include "SimScenarios.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/uhid.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int)
{
    gStop = 1;
}

constexpr std::uint8_t kDigitizerReportId = 0x03;

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

class CUhidTablet
{
public:
    CUhidTablet(int uhid_I, std::shared_ptr<CSimHost> host_I) : mUhid(uhid_I), mHost(std::move(host_I))
    {
        mWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        mHost->AddListener([this](const SimHostEvent& event) {
            std::lock_guard<std::mutex> lock(mMutex);
            mEvents.push_back(event);
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(mWake, &one, sizeof one);
        });
    }

    int Run()
    {
        while (gStop == 0) {
            pollfd fds[2] = {{mUhid, POLLIN, 0}, {mWake, POLLIN, 0}};
            const int r = ::poll(fds, 2, 200);
            if (r < 0 && errno != EINTR)
                return 1;
            if (r <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                if (!HandleKernelEvent())
                    return 1;
            }
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(mWake, &count, sizeof count);
                DrainBusEvents();
            }
        }
        Destroy();
        return 0;
    }

private:
    void DrainBusEvents()
    {
        std::deque<SimHostEvent> events;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            events.swap(mEvents);
        }
        for (const SimHostEvent& e : events) {
            if (e.kind == SimHostEvent::eArrival)
                Create(e.node);
            else if (mCreated && e.node.path == mNode.path)
                Destroy();
        }
    }

    void Create(const SimHidNodeInfo& node_I)
    {
        Destroy();
        mNode = node_I;
        mHandle = mHost->OpenPath(node_I.path);
        mPending.clear();
        std::vector<std::uint8_t> descriptor;
        if (node_I.usagePage == kVendorWrapperUsagePage) {
            mFeatures = SimVendorWrapperFeatures();
            descriptor = SimVendorCollection(node_I.usagePage, node_I.usage, mFeatures);
        } else {
            // The board's own collection first, then a pen collection the input layer turns
            // into an input device (which shows the board's version in sysfs).
            mFeatures = SimNormalModeFeatures();
            descriptor = SimVendorCollection(node_I.usagePage, node_I.usage, mFeatures);
            const std::vector<std::uint8_t> pen = SimDigitizerPenCollection(kDigitizerReportId);
            descriptor.insert(descriptor.end(), pen.begin(), pen.end());
        }
        uhid_event ev {};
        ev.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name, "Vellum Sim Tablet %04x",
                      node_I.productId);
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.phys), sizeof ev.u.create2.phys, "vfwu-uhid/%s",
                      node_I.parentIds.size() > 1 ? node_I.parentIds[1].c_str() : "0");
        ev.u.create2.rd_size = static_cast<__u16>(descriptor.size());
        ev.u.create2.bus = 0x03; // USB, as the tablet's boards are
        ev.u.create2.vendor = node_I.vendorId;
        ev.u.create2.product = node_I.productId;
        ev.u.create2.version = node_I.version;
        std::memcpy(ev.u.create2.rd_data, descriptor.data(), descriptor.size());
        mCreated = Write(ev);
        std::fprintf(stderr, "vfwu-uhid-tablet: created %04x:%04x page %04x usage %04x version %04x%s\n",
                     node_I.vendorId, node_I.productId, node_I.usagePage, node_I.usage, node_I.version,
                     mCreated ? "" : " FAILED");
    }

    void Destroy()
    {
        if (!mCreated)
            return;
        uhid_event ev {};
        ev.type = UHID_DESTROY;
        Write(ev);
        mCreated = false;
        if (mHandle != 0)
            mHost->CloseHandle(mHandle);
        mHandle = 0;
        std::fprintf(stderr, "vfwu-uhid-tablet: destroyed %04x:%04x\n", mNode.vendorId, mNode.productId);
    }

    bool Write(const uhid_event& ev_I)
    {
        ssize_t n;
        do {
            n = ::write(mUhid, &ev_I, sizeof ev_I);
        } while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(sizeof ev_I);
    }

    std::size_t DeclaredLength(std::uint8_t id_I) const
    {
        for (const SimFeatureReport& f : mFeatures)
            if (f.id == id_I)
                return f.length;
        return 0;
    }

    bool HandleKernelEvent()
    {
        uhid_event ev {};
        ssize_t n;
        do {
            n = ::read(mUhid, &ev, sizeof ev);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return false;
        if (ev.type == UHID_GET_REPORT) {
            const std::uint8_t id = ev.u.get_report.rnum;
            std::vector<std::uint8_t> buffer;
            bool ok = false;
            if (mCreated && ev.u.get_report.rtype == UHID_FEATURE_REPORT) {
                if (mNode.usagePage == kVendorWrapperUsagePage && id == eBL_HID_REP_VENDOR_WRAPPER_ID)
                    buffer = mPending;
                else if (DeclaredLength(id) != 0)
                    buffer.assign(DeclaredLength(id), 0), buffer[0] = id;
                ok = !buffer.empty() && mHost->GetFeature(mHandle, buffer);
            }
            uhid_event reply {};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = ok ? 0 : EIO;
            const std::size_t size = ok ? std::min<std::size_t>(buffer.size(), UHID_DATA_MAX) : 0;
            reply.u.get_report_reply.size = static_cast<__u16>(size);
            if (size != 0)
                std::memcpy(reply.u.get_report_reply.data, buffer.data(), size);
            return Write(reply);
        }
        if (ev.type == UHID_SET_REPORT) {
            const std::size_t size = std::min<std::size_t>(ev.u.set_report.size, UHID_DATA_MAX);
            std::vector<std::uint8_t> buffer(ev.u.set_report.data, ev.u.set_report.data + size);
            bool ok = false;
            if (mCreated && ev.u.set_report.rtype == UHID_FEATURE_REPORT && !buffer.empty()) {
                std::vector<std::uint8_t> inner;
                if (mNode.usagePage == kVendorWrapperUsagePage && SimUnwrapVendorReport(buffer, inner) &&
                    !inner.empty() && IsReadRequest(inner)) {
                    mPending = buffer; // names the next GET's answer
                    ok = true;
                } else {
                    ok = mHost->SetFeature(mHandle, buffer);
                }
            }
            uhid_event reply {};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = ev.u.set_report.id;
            reply.u.set_report_reply.err = ok ? 0 : EIO;
            return Write(reply);
        }
        return true; // start, stop, open, close, output: nothing to do
    }

    static bool IsReadRequest(const std::vector<std::uint8_t>& inner_I) { return IsReadReport(inner_I[0]); }

    int mUhid;
    int mWake = -1;
    std::shared_ptr<CSimHost> mHost;
    std::mutex mMutex;
    std::deque<SimHostEvent> mEvents;
    bool mCreated = false;
    SimHidNodeInfo mNode;
    CSimHost::Handle mHandle = 0;
    std::vector<SimFeatureReport> mFeatures;
    std::vector<std::uint8_t> mPending;
};

} // namespace

int main(int argc, char** argv)
{
    std::string scenarioName = "basic";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenarioName = argv[++i];
        } else {
            std::fprintf(stderr, "usage: vfwu-uhid-tablet [--scenario NAME]\n");
            return 2;
        }
    }
    SimScenario scenario;
    if (!GetSimScenario(scenarioName, ".", scenario)) {
        std::fprintf(stderr, "vfwu-uhid-tablet: unknown scenario '%s'\n", scenarioName.c_str());
        return 2;
    }
    const int uhid = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (uhid < 0) {
        std::fprintf(stderr, "vfwu-uhid-tablet: cannot open /dev/uhid: %s\n", std::strerror(errno));
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    auto host = std::make_shared<CSimHost>();
    CUhidTablet tablet(uhid, host);
    CSimBus bus(host);
    PlugInSimScenario(scenario, bus);
    const int rc = tablet.Run();
    ::close(uhid);
    return rc;
}
