// vfwu-usb-gadget: a simulated tablet's board made a real USB device for the kernel. The board
// sits on a simulated bus as usual; the tool presents it through configfs, libcomposite and
// FunctionFS on a USB device controller (dummy_hcd in the real-kernel test): a device with the
// board's vendor and product ids and bcdDevice, whose HID class interface (HID descriptor,
// interrupt IN endpoint, report descriptor served on GET_DESCRIPTOR) the kernel's usbhid binds.
// The kernel's SET_REPORT and GET_REPORT feature requests are real control transfers that arrive
// on the FunctionFS ep0 and are answered by the simulated board (SimKernelBoard.h, shared with
// vfwu-uhid-tablet). A board that re-enumerates into its loader leaves the bus and comes back
// with the loader's ids and report descriptor: the gadget is unbound from the controller, given
// the new descriptors and bound again, as a real board's reset does.
//
// A board whose normal interface is of the bulk loader's class (scenario "bulk") is presented,
// while that node is present, as a vendor-class (0xFF) interface without endpoints: the host's
// vendor control requests to the interface arrive on ep0 and are the simulated board's control
// transfers (an IN request answers with the board's data; a refused one stalls). Its loader
// comes back over HID through the same unbinding and rebinding.
//
// With several boards (--board pen --board touch) they are the interfaces of one composite
// device, the first board's: its node gives the device's ids.
//
// Usage: vfwu-usb-gadget [--scenario NAME] [--board NAME]...   (default: --board pen; runs
//        until SIGINT/SIGTERM; SIGUSR1 prints the number of feature reports answered so far)
// configfs must be mounted on /sys/kernel/config and a controller listed in /sys/class/udc.

#include "CSimBus.h"
#include "CSimHost.h"
#include "FWUpdater/InterfaceKind.h"
#include "SimKernelBoard.h"
#include "SimScenarios.h"
#include "UsbHidGadget.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

constexpr char kGadgetRoot[] = "/sys/kernel/config/usb_gadget";

bool WriteText(const std::string& path_I, const std::string& text_I)
{
    const int fd = ::open(path_I.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "vfwu-usb-gadget: cannot open %s: %s\n", path_I.c_str(), std::strerror(errno));
        return false;
    }
    const ssize_t n = ::write(fd, text_I.data(), text_I.size());
    const int error = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(text_I.size())) {
        std::fprintf(stderr, "vfwu-usb-gadget: cannot write '%s' to %s: %s\n", text_I.c_str(), path_I.c_str(),
                     std::strerror(error));
        return false;
    }
    return true;
}

bool MakeDir(const std::string& path_I)
{
    if (::mkdir(path_I.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "vfwu-usb-gadget: cannot create %s: %s\n", path_I.c_str(), std::strerror(errno));
    return false;
}

std::string Hex4(std::uint16_t value_I)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value_I);
    return text;
}

// The first USB device controller the kernel offers (dummy_udc.0 under dummy_hcd).
std::string FirstUdc()
{
    std::string name;
    if (DIR* dir = ::opendir("/sys/class/udc")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                name = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    return name;
}

// One simulated board as a configfs gadget with one FunctionFS function.
class CUsbGadget
{
public:
    CUsbGadget(std::shared_ptr<CSimHost> host_I, const std::string& name_I)
        : mHost(std::move(host_I)), mName(name_I), mDir(std::string(kGadgetRoot) + "/vfwu-" + name_I),
          mMount("/dev/ffs-" + name_I)
    {
    }
    ~CUsbGadget() { Unbind(); }
    CUsbGadget(const CUsbGadget&) = delete;
    CUsbGadget& operator=(const CUsbGadget&) = delete;

    // The gadget's directory tree, its function and the function's FunctionFS mount.
    bool Create()
    {
        mUdc = FirstUdc();
        if (mUdc.empty()) {
            std::fprintf(stderr, "vfwu-usb-gadget: no USB device controller in /sys/class/udc\n");
            return false;
        }
        const std::string function = mDir + "/functions/ffs." + mName;
        const bool made = MakeDir(mDir) && MakeDir(mDir + "/strings/0x409") && MakeDir(mDir + "/configs/c.1") &&
                          MakeDir(mDir + "/configs/c.1/strings/0x409") && MakeDir(function) &&
                          WriteText(mDir + "/strings/0x409/manufacturer", "Vellum") &&
                          WriteText(mDir + "/strings/0x409/product", "Vellum Sim Tablet " + mName) &&
                          WriteText(mDir + "/strings/0x409/serialnumber", "VFWU0001") &&
                          WriteText(mDir + "/configs/c.1/strings/0x409/configuration", "tablet") &&
                          WriteText(mDir + "/configs/c.1/MaxPower", "100") && MakeDir(mMount);
        if (!made)
            return false;
        const std::string link = mDir + "/configs/c.1/ffs." + mName;
        if (::symlink(function.c_str(), link.c_str()) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "vfwu-usb-gadget: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            return false;
        }
        if (::mount(mName.c_str(), mMount.c_str(), "functionfs", 0, nullptr) != 0 && errno != EBUSY) {
            std::fprintf(stderr, "vfwu-usb-gadget: cannot mount functionfs on %s: %s\n", mMount.c_str(),
                         std::strerror(errno));
            return false;
        }
        return true;
    }

    // The device connects with the first node's ids and one interface per node.
    bool Bind(const std::vector<SimHidNodeInfo>& nodes_I)
    {
        Unbind();
        if (nodes_I.empty())
            return false;
        std::vector<UsbFunctionInterface> interfaces;
        for (const SimHidNodeInfo& node : nodes_I) {
            mBoards.push_back(std::make_unique<CSimKernelBoard>(mHost, node));
            interfaces.push_back({mBoards.back()->IsVendorInterface(), mBoards.back()->ReportDescriptor().size()});
        }
        const SimHidNodeInfo& device = nodes_I.front();
        const bool ids = WriteText(mDir + "/idVendor", Hex4(device.vendorId)) &&
                         WriteText(mDir + "/idProduct", Hex4(device.productId)) &&
                         WriteText(mDir + "/bcdDevice", Hex4(device.version)) && WriteText(mDir + "/bcdUSB", "0x0200");
        mEp0 = ::open((mMount + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
        if (!ids || mEp0 < 0) {
            std::fprintf(stderr, "vfwu-usb-gadget: cannot open %s/ep0: %s\n", mMount.c_str(), std::strerror(errno));
            Unbind();
            return false;
        }
        const std::vector<std::uint8_t> descriptors = FfsDescriptors(interfaces);
        const std::vector<std::uint8_t> strings = FfsNoStrings();
        if (::write(mEp0, descriptors.data(), descriptors.size()) != static_cast<ssize_t>(descriptors.size()) ||
            ::write(mEp0, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size())) {
            std::fprintf(stderr, "vfwu-usb-gadget: FunctionFS refused the descriptors: %s\n", std::strerror(errno));
            Unbind();
            return false;
        }
        if (!WriteText(mDir + "/UDC", mUdc)) {
            Unbind();
            return false;
        }
        mBound = true;
        for (std::size_t i = 0; i < nodes_I.size(); ++i)
            std::fprintf(stderr,
                         "vfwu-usb-gadget: bound %04x:%04x version %04x interface %zu: %04x:%04x %s page %04x usage %04x on %s\n",
                         device.vendorId, device.productId, device.version, i, nodes_I[i].vendorId,
                         nodes_I[i].productId, mBoards[i]->IsVendorInterface() ? "vendor" : "hid",
                         nodes_I[i].usagePage, nodes_I[i].usage, mUdc.c_str());
        return true;
    }

    // The device disconnects; FunctionFS forgets the descriptors when ep0 closes, so the next
    // Bind can give other ones.
    void Unbind()
    {
        if (mBound) {
            // An empty name unbinds; configfs refuses a write of no bytes at all.
            if (!WriteText(mDir + "/UDC", "\n"))
                std::fprintf(stderr, "vfwu-usb-gadget: unbinding through ep0's closing instead\n");
            std::fprintf(stderr, "vfwu-usb-gadget: unbound %04x:%04x\n", mBoards.front()->Info().vendorId,
                         mBoards.front()->Info().productId);
            mBound = false;
        }
        if (mEp0 >= 0) {
            ::close(mEp0);
            mEp0 = -1;
        }
        mBoards.clear();
    }

    int Ep0() const { return mEp0; }
    // Feature SET_REPORT and GET_REPORT requests answered so far.
    unsigned long FeatureReports() const { return mFeatureReports; }
    // Vendor control requests the board accepted so far.
    unsigned long VendorRequests() const { return mVendorRequests; }

    // One event from ep0. False when ep0 fails.
    bool HandleEp0()
    {
        usb_functionfs_event event {};
        ssize_t n;
        do {
            n = ::read(mEp0, &event, sizeof event);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EIDRM))
            return true;
        if (n != static_cast<ssize_t>(sizeof event))
            return false;
        if (event.type == FUNCTIONFS_SETUP)
            HandleSetup(event.u.setup);
        return true;
    }

private:
    void HandleSetup(const usb_ctrlrequest& setup_I)
    {
        UsbSetup setup;
        setup.requestType = setup_I.bRequestType;
        setup.request = setup_I.bRequest;
        setup.value = le16toh(setup_I.wValue);
        setup.index = le16toh(setup_I.wIndex);
        setup.length = le16toh(setup_I.wLength);
        const bool in = (setup.requestType & USB_DIR_IN) != 0;
        std::vector<CSimKernelBoard*> boards;
        for (const auto& board : mBoards)
            boards.push_back(board.get());
        const UsbSetupAnswer answer = AnswerUsbSetup(setup, boards);
        if ((setup.requestType & USB_TYPE_MASK) == USB_TYPE_CLASS && answer.action != UsbSetupAnswer::eStall)
            ++mFeatureReports;
        if ((setup.requestType & USB_TYPE_MASK) == USB_TYPE_VENDOR && answer.action != UsbSetupAnswer::eStall)
            ++mVendorRequests;
        if (answer.action == UsbSetupAnswer::eSend) {
            Answer(answer.data);
        } else if (answer.action == UsbSetupAnswer::eAcknowledge) {
            Acknowledge();
        } else if (answer.action == UsbSetupAnswer::eReceiveSetReport) {
            // FunctionFS acknowledges the data stage as it hands it over: a SET the board refuses
            // cannot stall any more, so it is reported here.
            std::vector<std::uint8_t> report;
            if (!ReceiveDataStage(setup.length, report))
                return;
            if (!mBoards[answer.board]->SetFeature(report))
                std::fprintf(stderr, "vfwu-usb-gadget: the board refused SET_REPORT %02x (%zu bytes)\n", report[0],
                             report.size());
        } else if (answer.action == UsbSetupAnswer::eReceiveVendorOut) {
            // As for SET_REPORT: acknowledged before the board sees it. The board's model takes no
            // data stage, only the request.
            std::vector<std::uint8_t> data;
            std::vector<std::uint8_t> none;
            if (ReceiveDataStage(setup.length, data) &&
                !mBoards[answer.board]->ControlTransfer(UsbSetupPacketBytes(setup), none))
                std::fprintf(stderr, "vfwu-usb-gadget: the board refused vendor request %02x (%zu bytes)\n",
                             setup.request, data.size());
        } else {
            if ((setup.requestType & USB_TYPE_MASK) == USB_TYPE_VENDOR)
                std::fprintf(stderr, "vfwu-usb-gadget: stalled vendor request %02x %02x value %04x length %u\n",
                             setup.requestType, setup.request, setup.value, setup.length);
            Stall(in);
        }
    }

    // The host-to-device data stage of the current request, at most length_I bytes.
    bool ReceiveDataStage(std::size_t length_I, std::vector<std::uint8_t>& data_O)
    {
        data_O.assign(length_I, 0);
        ssize_t n;
        do {
            n = ::read(mEp0, data_O.data(), data_O.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            return false;
        data_O.resize(static_cast<std::size_t>(n));
        return true;
    }

    // The status stage of a host-to-device request without data: FunctionFS completes it on a
    // read of nothing.
    void Acknowledge()
    {
        std::uint8_t none = 0;
        ssize_t n;
        do {
            n = ::read(mEp0, &none, 0);
        } while (n < 0 && errno == EINTR);
    }

    void Answer(const std::vector<std::uint8_t>& data_I)
    {
        ssize_t n;
        do {
            n = ::write(mEp0, data_I.data(), data_I.size());
        } while (n < 0 && errno == EINTR);
    }

    // FunctionFS stalls a request when ep0 is used against its direction.
    void Stall(bool in_I)
    {
        std::uint8_t none = 0;
        [[maybe_unused]] const ssize_t n = in_I ? ::read(mEp0, &none, 0) : ::write(mEp0, &none, 0);
    }

    std::shared_ptr<CSimHost> mHost;
    std::string mName;
    std::string mDir;
    std::string mMount;
    std::string mUdc;
    int mEp0 = -1;
    bool mBound = false;
    std::vector<std::unique_ptr<CSimKernelBoard>> mBoards; // interface i = mBoards[i]
    unsigned long mFeatureReports = 0;
    unsigned long mVendorRequests = 0;
};

// Follows boards of the scenario, each through its normal and its loader node. The first board
// is the tablet's USB device: the device is connected while that board has a node, with its ids,
// and has one interface per followed board present. Any arrival or removal is a reconnection, as
// on a real device whose reset takes every interface with it.
class CUsbGadgetTablet
{
public:
    CUsbGadgetTablet(std::shared_ptr<CSimHost> host_I, const std::vector<const SimBoardSpec*>& boards_I)
        : mBusEvents(*host_I, true), mGadget(host_I, "tablet")
    {
        for (const SimBoardSpec* board : boards_I)
            mSlots.Follow(board->normal.path, board->loader.path);
    }

    bool Create() { return mGadget.Create(); }

    int Run()
    {
        int rc = 0;
        while (gStop == 0 && rc == 0) {
            std::vector<pollfd> fds = {{mBusEvents.Fd(), POLLIN, 0}};
            if (mGadget.Ep0() >= 0)
                fds.push_back({mGadget.Ep0(), POLLIN, 0});
            const int r = ::poll(fds.data(), fds.size(), 200);
            if (r < 0 && errno != EINTR)
                rc = 1;
            if (gCountAsked != 0) {
                gCountAsked = 0;
                std::fprintf(stderr, "vfwu-usb-gadget: feature reports answered: %lu\n", mGadget.FeatureReports());
                if (mGadget.VendorRequests() != 0)
                    std::fprintf(stderr, "vfwu-usb-gadget: vendor requests answered: %lu\n", mGadget.VendorRequests());
            }
            if (r <= 0)
                continue;
            if (fds.size() > 1 && (fds[1].revents & POLLIN) != 0 && !mGadget.HandleEp0()) {
                std::fprintf(stderr, "vfwu-usb-gadget: ep0 failed: %s\n", std::strerror(errno));
                rc = 1;
            }
            if (fds[0].revents & POLLIN)
                DrainBusEvents();
        }
        mGadget.Unbind();
        return rc;
    }

private:
    void DrainBusEvents()
    {
        bool changed = false;
        for (const SimHostEvent& e : mBusEvents.Take())
            changed = mSlots.Apply(e) || changed;
        if (!changed)
            return;
        mGadget.Unbind();
        const std::vector<SimHidNodeInfo> nodes = mSlots.Interfaces();
        if (!nodes.empty())
            mGadget.Bind(nodes);
    }

    CSimKernelBusEvents mBusEvents;
    CUsbGadget mGadget;
    CUsbGadgetSlots mSlots;
};

} // namespace

int main(int argc, char** argv)
{
    std::string scenarioName = "basic";
    std::vector<std::string> boardNames;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenarioName = argv[++i];
        } else if (std::strcmp(argv[i], "--board") == 0 && i + 1 < argc) {
            boardNames.push_back(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: vfwu-usb-gadget [--scenario NAME] [--board NAME]...\n");
            return 2;
        }
    }
    SimScenario scenario;
    if (!GetSimScenario(scenarioName, ".", scenario)) {
        std::fprintf(stderr, "vfwu-usb-gadget: unknown scenario '%s'\n", scenarioName.c_str());
        return 2;
    }
    if (boardNames.empty())
        boardNames.push_back("pen");
    std::vector<const SimBoardSpec*> boards;
    for (const std::string& name : boardNames) {
        const SimBoardSpec* board = nullptr;
        for (const SimBoardSpec& b : scenario.boards)
            if (b.name == name && (b.transport == eInterfaceKindHID || b.transport == eInterfaceKindI2C ||
                                   b.transport == eInterfaceKindBULK))
                board = &b;
        if (board == nullptr) {
            std::fprintf(stderr, "vfwu-usb-gadget: scenario '%s' has no HID, I2C-bridge or bulk board '%s'\n",
                         scenarioName.c_str(), name.c_str());
            return 2;
        }
        boards.push_back(board);
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnCountSignal); // prints the number of feature reports answered so far

    auto host = std::make_shared<CSimHost>();
    CUsbGadgetTablet tablet(host, boards);
    if (!tablet.Create())
        return 1;
    CSimBus bus(host);
    PlugInSimScenario(scenario, bus);
    return tablet.Run();
}
