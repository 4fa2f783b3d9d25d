#include "WinDeviceTree.h"

#include <windows.h>

#include <cfgmgr32.h>

#include <algorithm>

std::string InstanceIdFromInterfacePath(const std::string& path_I)
{
    const std::size_t last = path_I.rfind('#');
    if (last == std::string::npos || last < 4)
        return std::string();
    std::string id = path_I.substr(4, last - 4);
    std::replace(id.begin(), id.end(), '#', '\\');
    return id;
}

std::string GetAncestorDeviceId(const std::string& instanceId_I, unsigned levels_I)
{
    if (instanceId_I.empty())
        return std::string();
    std::string id = instanceId_I; // the call wants a writable text
    DEVINST node = 0;
    if (::CM_Locate_DevNodeA(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return std::string();
    for (unsigned i = 0; i < levels_I; ++i) {
        DEVINST parent = 0;
        if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS)
            return std::string();
        node = parent;
    }
    char buffer[201] = {};
    if (::CM_Get_Device_IDA(node, buffer, 200, 0) != CR_SUCCESS)
        return std::string();
    return buffer;
}
