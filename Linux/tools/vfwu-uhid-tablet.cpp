// vfwu-uhid-tablet: a simulated tablet made real for the kernel. The boards of a simulated
// scenario sit on a simulated bus as usual; every node that appears on that bus is created as a
// HID device through /dev/uhid (with a report descriptor carrying the node's usage page, usage
// and feature reports), and destroyed when it leaves. The kernel's feature-report requests are
// answered by the simulated boards. So a board that enters its loader really disappears from
// /dev and comes back as the loader device, with real udev events, and the updater talks to it
// through real hidraw nodes.
//
// Usage: vfwu-uhid-tablet [--scenario NAME]   (runs until SIGINT/SIGTERM; SIGUSR1 prints the number
//        of feature reports answered so far, as vfwu-usb-gadget does)
//
// The boards' answers are shared with vfwu-usb-gadget (SimKernelBoard.h).

#include "CSimBus.h"
#include "CSimHost.h"
#include "SimKernelBoard.h"
#include "SimScenarios.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/uhid.h>
#include <map>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gCountAsked = 0;

void OnSignal(int)
{
    gStop = 1;
}

void OnCountSignal(int)
{
    gCountAsked = 1;
}

// One board's node as a uhid device: its own /dev/uhid file, open while the node is present.
struct UhidNode
{
    int fd = -1;
    std::unique_ptr<CSimKernelBoard> board;
};

class CUhidTablet
{
public:
    explicit CUhidTablet(std::shared_ptr<CSimHost> host_I) : mHost(std::move(host_I)), mBusEvents(*mHost) {}

    int Run()
    {
        int rc = 0;
        while (gStop == 0 && rc == 0) {
            std::vector<pollfd> fds = {{mBusEvents.Fd(), POLLIN, 0}};
            std::vector<std::string> paths;
            for (const auto& [path, node] : mNodes) {
                fds.push_back({node.fd, POLLIN, 0});
                paths.push_back(path);
            }
            const int r = ::poll(fds.data(), fds.size(), 200);
            if (r < 0 && errno != EINTR)
                rc = 1;
            if (gCountAsked != 0) {
                gCountAsked = 0;
                std::fprintf(stderr, "vfwu-uhid-tablet: feature reports answered: %lu\n", mFeatureReports);
            }
            if (r <= 0)
                continue;
            for (std::size_t i = 1; i < fds.size(); ++i) {
                auto it = mNodes.find(paths[i - 1]);
                if ((fds[i].revents & POLLIN) != 0 && it != mNodes.end() && !HandleKernelEvent(it->second))
                    rc = 1;
            }
            if (fds[0].revents & POLLIN)
                DrainBusEvents();
        }
        while (!mNodes.empty())
            Destroy(mNodes.begin()->first);
        return rc;
    }

private:
    void DrainBusEvents()
    {
        for (const SimHostEvent& e : mBusEvents.Take()) {
            if (e.kind == SimHostEvent::eArrival)
                Create(e.node);
            else
                Destroy(e.node.path);
        }
    }

    void Create(const SimHidNodeInfo& info_I)
    {
        Destroy(info_I.path);
        UhidNode node;
        node.fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (node.fd < 0) {
            std::fprintf(stderr, "vfwu-uhid-tablet: cannot open /dev/uhid: %s\n", std::strerror(errno));
            return;
        }
        node.board = std::make_unique<CSimKernelBoard>(mHost, info_I);
        const std::vector<std::uint8_t>& descriptor = node.board->ReportDescriptor();
        uhid_event ev {};
        ev.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.name), sizeof ev.u.create2.name, "Vellum Sim Tablet %04x",
                      info_I.productId);
        std::snprintf(reinterpret_cast<char*>(ev.u.create2.phys), sizeof ev.u.create2.phys, "vfwu-uhid/%s",
                      info_I.parentIds.size() > 1 ? info_I.parentIds[1].c_str() : "0");
        ev.u.create2.rd_size = static_cast<__u16>(descriptor.size());
        ev.u.create2.bus = 0x03; // USB, as the tablet's boards are
        ev.u.create2.vendor = info_I.vendorId;
        ev.u.create2.product = info_I.productId;
        ev.u.create2.version = info_I.version;
        std::memcpy(ev.u.create2.rd_data, descriptor.data(), descriptor.size());
        const bool created = Write(node.fd, ev);
        std::fprintf(stderr, "vfwu-uhid-tablet: created %04x:%04x page %04x usage %04x version %04x%s\n",
                     info_I.vendorId, info_I.productId, info_I.usagePage, info_I.usage, info_I.version,
                     created ? "" : " FAILED");
        if (!created) {
            ::close(node.fd);
            return;
        }
        mNodes[info_I.path] = std::move(node);
    }

    void Destroy(const std::string& path_I)
    {
        auto it = mNodes.find(path_I);
        if (it == mNodes.end())
            return;
        uhid_event ev {};
        ev.type = UHID_DESTROY;
        Write(it->second.fd, ev);
        ::close(it->second.fd);
        std::fprintf(stderr, "vfwu-uhid-tablet: destroyed %04x:%04x\n", it->second.board->Info().vendorId,
                     it->second.board->Info().productId);
        mNodes.erase(it);
    }

    static bool Write(int fd_I, const uhid_event& ev_I)
    {
        ssize_t n;
        do {
            n = ::write(fd_I, &ev_I, sizeof ev_I);
        } while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(sizeof ev_I);
    }

    bool HandleKernelEvent(UhidNode& node_IO)
    {
        uhid_event ev {};
        ssize_t n;
        do {
            n = ::read(node_IO.fd, &ev, sizeof ev);
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return false;
        if (ev.type == UHID_GET_REPORT) {
            mFeatureReports += ev.u.get_report.rtype == UHID_FEATURE_REPORT ? 1 : 0;
            std::vector<std::uint8_t> buffer;
            const bool ok = ev.u.get_report.rtype == UHID_FEATURE_REPORT &&
                            node_IO.board->GetFeature(ev.u.get_report.rnum, buffer);
            uhid_event reply {};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = ok ? 0 : EIO;
            const std::size_t size = ok ? std::min<std::size_t>(buffer.size(), UHID_DATA_MAX) : 0;
            reply.u.get_report_reply.size = static_cast<__u16>(size);
            if (size != 0)
                std::memcpy(reply.u.get_report_reply.data, buffer.data(), size);
            return Write(node_IO.fd, reply);
        }
        if (ev.type == UHID_SET_REPORT) {
            mFeatureReports += ev.u.set_report.rtype == UHID_FEATURE_REPORT ? 1 : 0;
            const std::size_t size = std::min<std::size_t>(ev.u.set_report.size, UHID_DATA_MAX);
            const std::vector<std::uint8_t> buffer(ev.u.set_report.data, ev.u.set_report.data + size);
            const bool ok = ev.u.set_report.rtype == UHID_FEATURE_REPORT && node_IO.board->SetFeature(buffer);
            uhid_event reply {};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = ev.u.set_report.id;
            reply.u.set_report_reply.err = ok ? 0 : EIO;
            return Write(node_IO.fd, reply);
        }
        return true; // start, stop, open, close, output: nothing to do
    }

    std::shared_ptr<CSimHost> mHost;
    CSimKernelBusEvents mBusEvents;
    std::map<std::string, UhidNode> mNodes;
    // Feature GET_REPORT and SET_REPORT requests of the kernel answered so far.
    unsigned long mFeatureReports = 0;
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
    if (::access("/dev/uhid", R_OK | W_OK) != 0) {
        std::fprintf(stderr, "vfwu-uhid-tablet: cannot open /dev/uhid: %s\n", std::strerror(errno));
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnCountSignal);

    auto host = std::make_shared<CSimHost>();
    CUhidTablet tablet(host);
    CSimBus bus(host);
    PlugInSimScenario(scenario, bus);
    return tablet.Run();
}
