#include "FWUpdater/CLinuxHotplugMonitor.h"

#include "FWUpdater/CLinuxBulkFLDeviceInterface.h"
#include "FWUpdater/LinuxUdev.h"

#include <cerrno>
#include <cstring>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

std::vector<std::string> CHidrawPathTracker::OnAdd(const std::string& devnode_I, std::vector<std::string> paths_I)
{
    if (paths_I.empty())
        paths_I.push_back(devnode_I);
    mPaths[devnode_I] = paths_I;
    return paths_I;
}

std::vector<std::string> CHidrawPathTracker::OnRemove(const std::string& devnode_I)
{
    auto it = mPaths.find(devnode_I);
    if (it == mPaths.end())
        return {devnode_I};
    std::vector<std::string> paths = std::move(it->second);
    mPaths.erase(it);
    return paths;
}

CLinuxHotplugMonitor::CLinuxHotplugMonitor(Sink sink_I) : mSink(std::move(sink_I)) {}

CLinuxHotplugMonitor::~CLinuxHotplugMonitor()
{
    Stop();
}

bool CLinuxHotplugMonitor::Start()
{
    if (mThread.joinable())
        return false;
    mUdev = udev_new();
    if (mUdev == nullptr)
        return false;
    mMonitor = udev_monitor_new_from_netlink(mUdev, "udev");
    mWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (mMonitor == nullptr || mWakeFd < 0 || udev_monitor_filter_add_match_subsystem_devtype(mMonitor, "hidraw", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(mMonitor, "usb", "usb_interface") < 0 ||
        udev_monitor_enable_receiving(mMonitor) < 0) {
        Stop();
        return false;
    }
    // Listening already, so a node that arrives now is either in this list or reported.
    for (const std::string& node : EnumerateHidrawNodes())
        mTracker.OnAdd(node, HidrawInterfacePaths(mUdev, node));
    for (const std::string& intf : EnumerateVendorUsbInterfaces())
        mUsbTracker.OnAdd(intf, {intf});
    mThread = std::thread([this] { Run(); });
    return true;
}

void CLinuxHotplugMonitor::Stop()
{
    if (mThread.joinable()) {
        const std::uint64_t one = 1;
        // A full counter still wakes the poll; nothing else can go wrong with an eventfd write.
        [[maybe_unused]] const ssize_t written = ::write(mWakeFd, &one, sizeof one);
        mThread.join();
    }
    if (mMonitor != nullptr)
        udev_monitor_unref(mMonitor);
    mMonitor = nullptr;
    if (mUdev != nullptr)
        udev_unref(mUdev);
    mUdev = nullptr;
    if (mWakeFd >= 0)
        ::close(mWakeFd);
    mWakeFd = -1;
}

void CLinuxHotplugMonitor::Run()
{
    pollfd fds[2] = {{udev_monitor_get_fd(mMonitor), POLLIN, 0}, {mWakeFd, POLLIN, 0}};
    for (;;) {
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        UdevDevicePtr device(udev_monitor_receive_device(mMonitor));
        if (!device)
            continue;
        const char* action = udev_device_get_action(device.get());
        const char* subsystem = udev_device_get_subsystem(device.get());
        if (action != nullptr && subsystem != nullptr && std::strcmp(subsystem, "usb") == 0) {
            const std::string syspath = udev_device_get_syspath(device.get());
            if (std::strcmp(action, "add") == 0) {
                const char* cls = udev_device_get_sysattr_value(device.get(), "bInterfaceClass");
                if (cls != nullptr && std::strcmp(cls, "ff") == 0)
                    for (const std::string& path : mUsbTracker.OnAdd(syspath, {syspath}))
                        mSink(true, path);
            } else if (std::strcmp(action, "remove") == 0 && mUsbTracker.Knows(syspath)) {
                for (const std::string& path : mUsbTracker.OnRemove(syspath))
                    mSink(false, path);
            }
            continue;
        }
        const char* node = udev_device_get_devnode(device.get());
        if (action == nullptr || node == nullptr)
            continue;
        if (std::strcmp(action, "add") == 0) {
            for (const std::string& path : mTracker.OnAdd(node, HidrawInterfacePaths(mUdev, node)))
                mSink(true, path);
        } else if (std::strcmp(action, "remove") == 0) {
            for (const std::string& path : mTracker.OnRemove(node))
                mSink(false, path);
        }
    }
}
