#pragma once
// The pure parts of the Windows device-node walk, apart from the configuration-manager calls.

#include <string>

// The device instance id of an interface path: the text before the last "#", without its first
// four characters ("\\?\"), with every "#" a backslash. \\?\hid#vid_1&pid_2#7&1&0#{guid} gives
// hid\vid_1&pid_2\7&1&0. Empty when the path has no "#" or is too short.
std::string InstanceIdFromInterfacePath(const std::string& path_I);

// The instance id of the device node levels_I steps above the node of instanceId_I; empty when the
// node cannot be located or a step fails.
std::string GetAncestorDeviceId(const std::string& instanceId_I, unsigned levels_I);
