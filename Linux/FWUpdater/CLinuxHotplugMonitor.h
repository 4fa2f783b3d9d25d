#pragma once
// Arrivals and removals of HID interfaces, as udev announces them (after its rules have run, so
// an arrived node already has its permissions). A thread of its own listens on udev's netlink
// socket and calls the sink with the same path strings discovery yields: one call per top-level
// collection of the node. A removed node's descriptor can no longer be read, so the monitor
// remembers the collection paths of every node it has seen (present at Start or arrived since)
// and reports each of them on removal.
//
// Vendor-specific USB interfaces (the bulk loader's candidates) are reported too, by sysfs path,
// as discovery names them; their removal is reported only for interfaces seen to be of that
// class.
//
// The sink runs on the monitor's thread; CUpdateController's handlers are made for that.

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

// The path bookkeeping of the monitor, apart from udev so it can be tested.
class CHidrawPathTracker
{
public:
    // A node arrived with these interface paths; returns them (what to report).
    std::vector<std::string> OnAdd(const std::string& devnode_I, std::vector<std::string> paths_I);
    // A node is gone: the paths it had, or just the node when it was never seen.
    std::vector<std::string> OnRemove(const std::string& devnode_I);
    bool Knows(const std::string& devnode_I) const { return mPaths.count(devnode_I) != 0; }

private:
    std::map<std::string, std::vector<std::string>> mPaths;
};

class CLinuxHotplugMonitor
{
public:
    using Sink = std::function<void(bool arrival, const std::string& path)>;

    explicit CLinuxHotplugMonitor(Sink sink_I);
    ~CLinuxHotplugMonitor();
    CLinuxHotplugMonitor(const CLinuxHotplugMonitor&) = delete;
    CLinuxHotplugMonitor& operator=(const CLinuxHotplugMonitor&) = delete;

    // Starts listening; false when udev's monitor cannot be set up (no netlink access) or it
    // runs already. Nodes present at that moment are remembered but not reported.
    bool Start();
    // Stops and joins the thread; no sink call happens after it returns. Safe to call twice.
    void Stop();

private:
    void Run();

    Sink mSink;
    std::thread mThread;
    int mWakeFd = -1;
    struct udev* mUdev = nullptr;
    struct udev_monitor* mMonitor = nullptr;
    // Touched by the monitor thread only (and Start before it).
    CHidrawPathTracker mTracker;
    CHidrawPathTracker mUsbTracker;
};
