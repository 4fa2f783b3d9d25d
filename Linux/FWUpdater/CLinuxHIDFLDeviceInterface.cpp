#include "FWUpdater/CLinuxHIDFLDeviceInterface.h"

#include "FWUpdater/HIDVendorWrapper.h"
#include "FWUpdater/HidReportDescriptor.h"
#include "FWUpdater/LinuxUdev.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libudev.h>

namespace {

// The ioctl size field has 14 bits; hidraw itself refuses more than its buffer limit anyway.
constexpr std::size_t kMaxIoctlBuffer = (1u << 14) - 1;

int RetryIoctl(int fd_I, unsigned long request_I, void* argument_I)
{
    int r;
    do {
        r = ::ioctl(fd_I, request_I, argument_I);
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

CLinuxHIDFLDeviceInterface::CLinuxHIDFLDeviceInterface(const std::string& path_I, int interfaceKind_I)
    : CHIDFLDeviceInterface(path_I, interfaceKind_I)
{
}

CLinuxHIDFLDeviceInterface::~CLinuxHIDFLDeviceInterface()
{
    // Not through the virtual slot: the descriptor is this class's own.
    if (mFd >= 0)
        ::close(mFd);
}

std::string CLinuxHIDFLDeviceInterface::Devnode() const
{
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path, devnode, collection);
    return devnode;
}

std::size_t CLinuxHIDFLDeviceInterface::Collection() const
{
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path, devnode, collection);
    return collection;
}

bool CLinuxHIDFLDeviceInterface::Open()
{
    if (IsConnected())
        return true;
    Close();
    int fd;
    do {
        fd = ::open(Devnode().c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    mFd = fd;
    isOpen = mFd >= 0;
    return isOpen;
}

void CLinuxHIDFLDeviceInterface::Close()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    isOpen = false;
}

bool CLinuxHIDFLDeviceInterface::ReadAttributes()
{
    if (!Open())
        return false;
    hidraw_devinfo info {};
    if (RetryIoctl(mFd, HIDIOCGRAWINFO, &info) < 0) {
        Close();
        return false;
    }
    int descriptorSize = 0;
    hidraw_report_descriptor descriptor {};
    if (RetryIoctl(mFd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 || descriptorSize <= 0 ||
        descriptorSize > HID_MAX_DESCRIPTOR_SIZE) {
        Close();
        return false;
    }
    descriptor.size = static_cast<__u32>(descriptorSize);
    std::vector<HidCollectionUsage> collections;
    if (RetryIoctl(mFd, HIDIOCGRDESC, &descriptor) < 0 ||
        !ParseTopLevelCollections(descriptor.value, descriptor.size, collections) || Collection() >= collections.size()) {
        Close();
        return false;
    }
    vendorId = static_cast<std::uint16_t>(info.vendor);
    productId = static_cast<std::uint16_t>(info.product);
    usagePage = collections[Collection()].usagePage;
    usage = collections[Collection()].usage;

    // A version that cannot be found is 0: the ids and usages still classify the interface.
    std::uint16_t ver = 0;
    struct stat st {};
    if (::fstat(mFd, &st) == 0) {
        UdevPtr u = NewUdev();
        UdevDevicePtr d = UdevDeviceFromDevnum(u.get(), st.st_rdev);
        HidrawVersion(u.get(), d.get(), ver);
    }
    version = ver;
    Close();
    return true;
}

std::string CLinuxHIDFLDeviceInterface::GetParentDeviceId(std::uint8_t levels_I)
{
    return HidrawAncestorId(Devnode(), levels_I);
}

bool CLinuxHIDFLDeviceInterface::SetFeatureOnNode(std::vector<std::uint8_t>& buffer_IO)
{
    if (mFd < 0 || buffer_IO.empty() || buffer_IO.size() > kMaxIoctlBuffer)
        return false;
    return RetryIoctl(mFd, HIDIOCSFEATURE(buffer_IO.size()), buffer_IO.data()) >= 0;
}

bool CLinuxHIDFLDeviceInterface::GetFeatureOnNode(std::vector<std::uint8_t>& buffer_IO)
{
    if (mFd < 0 || buffer_IO.empty() || buffer_IO.size() > kMaxIoctlBuffer)
        return false;
    const int n = RetryIoctl(mFd, HIDIOCGFEATURE(buffer_IO.size()), buffer_IO.data());
    if (n < 0)
        return false;
    // The kernel returns how many bytes it filled; never more than asked for.
    if (static_cast<std::size_t>(n) < buffer_IO.size())
        buffer_IO.resize(static_cast<std::size_t>(n));
    return true;
}

bool CLinuxHIDFLDeviceInterface::WriteFeature(const std::vector<std::uint8_t>& report_I)
{
    if (mFd < 0)
        return false;
    return HIDSetFeature(usagePage, report_I, [this](std::vector<std::uint8_t>& buffer) { return SetFeatureOnNode(buffer); });
}

bool CLinuxHIDFLDeviceInterface::ReadFeature(std::vector<std::uint8_t>& report_IO)
{
    if (mFd < 0)
        return false;
    // A GET on the wire (USB GET_REPORT, or the kernel's request to any HID transport) carries
    // only the report id, never the buffer: on the vendor page every GET is the wrapper id, so
    // the board could not tell which inner report is wanted. The wrapped request therefore
    // goes out as a SET first, naming the inner report, and the GET then fetches its answer.
    const bool wrapped = usagePage == kVendorWrapperUsagePage;
    return HIDGetFeature(usagePage, report_IO, [this, wrapped](std::vector<std::uint8_t>& buffer) {
        if (wrapped) {
            std::vector<std::uint8_t> request = buffer;
            if (!SetFeatureOnNode(request))
                return false;
        }
        return GetFeatureOnNode(buffer);
    });
}
