#pragma once
// Discovery of attached tablets. The base class holds the device list, the table of model
// descriptions read from the topology file, and the platform-free rules; the platform
// subclasses find the interfaces and group them into devices.

#include "FWUpdater/CDevice.h"
#include "Settings/CSettingsObject.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The vendor id assumed for a board whose description gives no "vid": the tablet maker's own
// USB vendor id, set at build time (CMake cache variable VFWU_DEFAULT_VENDOR_ID).
std::uint32_t DefaultVendorId();

class CDiscovery
{
public:
    // Descriptions keyed by vendor id + product id of any board of the model.
    using TopologyMap = std::map<std::uint32_t, CDevice>;

    explicit CDiscovery(std::string topologyPath_I = "./fw_loader.ini");
    virtual ~CDiscovery();
    CDiscovery(const CDiscovery&) = delete;
    CDiscovery& operator=(const CDiscovery&) = delete;

    // Base: loads the topology file while the table is still empty (so a missing file is
    // retried at every rediscovery), clears the device list and returns true.
    virtual bool UpdateDeviceList();

    // Replaces the table with the descriptions of the topology file; true when any were found.
    // A missing or malformed file, or a document that is not an array, leaves it empty.
    bool LoadTopology();

    // A copy of the description stored for (vid_I & 0xFFFF) + (pid_I & 0xFFFF), or a fresh
    // record with an empty name when there is none.
    CDevice GetDeviceDescription(std::uint32_t vid_I, std::uint32_t pid_I) const;

    // The first device in loader mode if any (a tablet left there by an interrupted update comes
    // first), else the first device; empty when the list is empty.
    std::shared_ptr<CDevice> GetDefaultDevice() const;

    // The first device (in list order) with a pen, touch or bluetooth interface whose path equals
    // path_I, byte for byte or ignoring ASCII case; empty when none. Each comparison writes a
    // line ("Pen GetDevice <requested> to <interface path>") to the diagnostic channel, which on
    // a console program must not mix with its own output.
    std::shared_ptr<CDevice> GetDevice(const std::string& path_I) const;

    // Where a tablet sits in the device tree: the ancestors (levels 1 up to the description's
    // topology level) of its first board interface (pen, touch, bluetooth); the last one is the
    // parent its boards share. Empty when that parent is unknown.
    using TabletIdentity = std::vector<std::string>;
    static TabletIdentity GetTabletIdentity(const CDevice& device_I);
    // How close two records sit in the device tree when they are the same tablet: the smallest
    // sum of the levels at which their paths meet; -1 when they are not the same tablet. They
    // are when the shared parent of one lies on the other's path up to its own shared parent:
    // a board that re-enumerates as its loader (even as another kind of interface, one level
    // more or less below its port) comes back inside the same subtree, another tablet does not.
    static int TabletDistance(const TabletIdentity& a_I, const TabletIdentity& b_I);
    // The device of the list closest to the tablet identity_I names (the first on a tie); empty
    // when none is that tablet (or when the identity is empty).
    std::shared_ptr<CDevice> GetDeviceByIdentity(const TabletIdentity& identity_I) const;

    // The device dump: empty when the device has no pen interface.
    static std::string Describe(const CDevice& device_I);

    const std::vector<std::shared_ptr<CDevice>>& GetDevices() const { return mDevices; }
    const TopologyMap& GetTopologyMap() const { return mTopologyMap; }
    const std::string& GetTopologyPath() const { return mTopologyPath; }

    // The pieces of LoadTopology, usable on an already parsed document.
    static CDevice DescriptionFromSettings(const CSettingsMap& model_I);
    static TopologyMap BuildTopologyMap(const CSettingsObjectPtr& document_I);
    // A hexadecimal number as a text stream reads it: leading blanks, optional 0x/0X, then hex
    // digits up to the first other character. No digits, or more than 32 bits, gives default_I.
    static std::uint32_t ParseHex(const std::string& text_I, std::uint32_t default_I);
    // "HID" 1, "BULK" 2, "I2C" 3, empty 1, anything else 0 (case-sensitive).
    static std::int32_t ParseInterfaceKind(const std::string& text_I);

protected:
    std::vector<std::shared_ptr<CDevice>> mDevices;
    TopologyMap mTopologyMap;
    std::string mTopologyPath;
};
