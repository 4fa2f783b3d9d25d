#pragma once
// What the HID class driver on Windows reports as a collection's capabilities (usage page and
// usage), read here from the raw report descriptor that hidraw hands out. One hidraw node
// carries the whole descriptor of a HID device; Windows splits a device with several top-level
// collections into one interface per collection, so the Linux layer does the same by parsing
// the descriptor's top-level collections.
//
// Path form of such an interface: the hidraw device node for the first collection
// ("/dev/hidraw3"), and the node followed by "#" and the collection's zero-based index for the
// others ("/dev/hidraw3#1"). Every collection of a node shares the node's feature reports.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct HidCollectionUsage
{
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
};

// The usage page and usage of every top-level collection, in descriptor order. A collection's
// usage is the first Usage item before it (an extended four-byte usage carries its own page);
// without one the usage is 0. False, with collections_O cleared, for a descriptor the kernel
// would refuse too: an item running past the end, an End Collection without its Collection, a
// Pop without Push, or a collection still open at the end.
bool ParseTopLevelCollections(const std::uint8_t* data_I, std::size_t size_I,
                              std::vector<HidCollectionUsage>& collections_O);
bool ParseTopLevelCollections(const std::vector<std::uint8_t>& descriptor_I,
                              std::vector<HidCollectionUsage>& collections_O);

// "/dev/hidraw3" for index 0, "/dev/hidraw3#2" for index 2.
std::string MakeHidrawInterfacePath(const std::string& devnode_I, std::size_t collection_I);

// The inverse: a path without a well-formed "#N" suffix is a device node with collection 0.
// A suffix is well formed when it is 1-4 decimal digits without a leading zero and the node
// part is not empty; "#0" is not the canonical form of collection 0 and is therefore taken as
// part of the node name (which then fails to open), so one interface has exactly one path.
void SplitHidrawInterfacePath(const std::string& path_I, std::string& devnode_O, std::size_t& collection_O);
