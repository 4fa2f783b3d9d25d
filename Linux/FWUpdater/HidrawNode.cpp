#include "FWUpdater/HidrawNode.h"

#include "FWUpdater/HidReportDescriptor.h"
#include "FWUpdater/LinuxUdev.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The ioctl size field has 14 bits; hidraw itself refuses more than its buffer limit anyway.
constexpr std::size_t kMaxIoctlBuffer = (1u << 14) - 1;

std::string DevnodeOf(const std::string& path_I)
{
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path_I, devnode, collection);
    return devnode;
}

int RetryIoctl(int fd_I, unsigned long request_I, void* argument_I)
{
    int r;
    do {
        r = ::ioctl(fd_I, request_I, argument_I);
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

CHidrawNode::~CHidrawNode()
{
    Close();
}

bool CHidrawNode::Open(const std::string& path_I)
{
    Close();
    const std::string devnode = DevnodeOf(path_I);
    int fd;
    do {
        fd = ::open(devnode.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    mFd = fd;
    return mFd >= 0;
}

void CHidrawNode::Close()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
}

bool CHidrawNode::ReadAttributes(const std::string& path_I, NodeAttributes& attributes_O)
{
    if (mFd < 0)
        return false;
    std::string devnode;
    std::size_t collection = 0;
    SplitHidrawInterfacePath(path_I, devnode, collection);
    hidraw_devinfo info {};
    if (RetryIoctl(mFd, HIDIOCGRAWINFO, &info) < 0)
        return false;
    int descriptorSize = 0;
    if (RetryIoctl(mFd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 || descriptorSize <= 0 ||
        descriptorSize > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    hidraw_report_descriptor descriptor {};
    descriptor.size = static_cast<__u32>(descriptorSize);
    std::vector<HidCollectionUsage> collections;
    if (RetryIoctl(mFd, HIDIOCGRDESC, &descriptor) < 0 ||
        !ParseTopLevelCollections(descriptor.value, descriptor.size, collections) || collection >= collections.size())
        return false;
    attributes_O.vendorId = static_cast<std::uint16_t>(info.vendor);
    attributes_O.productId = static_cast<std::uint16_t>(info.product);
    attributes_O.usagePage = collections[collection].usagePage;
    attributes_O.usage = collections[collection].usage;
    attributes_O.hasUsages = true;
    // A version that cannot be found is 0: the ids and usages still classify the interface.
    attributes_O.version = 0;
    struct stat st {};
    if (::fstat(mFd, &st) == 0) {
        UdevPtr u = NewUdev();
        UdevDevicePtr d = UdevDeviceFromDevnum(u.get(), st.st_rdev);
        HidrawVersion(u.get(), d.get(), attributes_O.version);
    }
    return true;
}

std::string CHidrawNode::ParentId(const std::string& path_I, std::uint8_t levels_I) const
{
    return HidrawAncestorId(DevnodeOf(path_I), levels_I);
}

bool CHidrawNode::SetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    if (mFd < 0 || buffer_IO.empty() || buffer_IO.size() > kMaxIoctlBuffer)
        return false;
    return RetryIoctl(mFd, HIDIOCSFEATURE(buffer_IO.size()), buffer_IO.data()) >= 0;
}

bool CHidrawNode::GetFeature(std::vector<std::uint8_t>& buffer_IO)
{
    if (mFd < 0 || buffer_IO.empty() || buffer_IO.size() > kMaxIoctlBuffer)
        return false;
    const int n = RetryIoctl(mFd, HIDIOCGFEATURE(buffer_IO.size()), buffer_IO.data());
    if (n < 0)
        return false;
    if (static_cast<std::size_t>(n) < buffer_IO.size())
        buffer_IO.resize(static_cast<std::size_t>(n));
    return true;
}
