// list: the tablets found and, per board, its interface, ids and firmware version.

#include "FWUpdater/CliCommands.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliText.h"

#include <cstdio>
#include <iostream>
#include <vector>

int RunList(const CliOptions& options_I, FrontEndSession& session_I)
{
    CDiscovery* discovery = session_I.controller->GetDiscovery();
    std::vector<ListedDevice> listed;
    if (discovery != nullptr && discovery->UpdateDeviceList()) {
        for (const std::shared_ptr<CDevice>& device : discovery->GetDevices()) {
            ListedDevice entry;
            entry.name = device->mName;
            entry.loaderMode = device->mLoaderMode;
            for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
                const std::shared_ptr<CFLDeviceInterface> interface = BoardInterface(*device, board);
                if (!interface)
                    continue;
                entry.boards.push_back({UpdateTypeWord(board), interface->GetPath(), InterfaceKindName(interface->GetInterfaceKind()),
                                        interface->GetVendorId(), interface->GetProductId(),
                                        VersionString(interface->GetVersion())});
            }
            listed.push_back(std::move(entry));
        }
    }
    if (options_I.json) {
        std::cout << ListJson(listed) << "\n";
        return 0;
    }
    if (listed.empty()) {
        std::cout << "No supported tablet found.\n";
        return 0;
    }
    static const char* const kLabels[] = {"Pen Firmware Version:", "Touch Firmware Version:",
                                          "Bluetooth Firmware Version:"};
    for (std::size_t d = 0; d < listed.size(); ++d) {
        const ListedDevice& device = listed[d];
        const CDevice& description = *discovery->GetDevices()[d];
        std::cout << "Tablet: " << PrintableText(device.name) << (device.loaderMode ? " (LOADER mode)" : " (NORMAL mode)") << "\n";
        for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
            const ListedBoard* found = nullptr;
            for (const ListedBoard& b : device.boards) {
                if (b.board == UpdateTypeWord(board))
                    found = &b;
            }
            const bool supported = board == eBoardPen || (board == eBoardTouch ? description.mTouchSupported
                                                                               : description.mBluetoothSupported);
            std::printf("  %-28s %s\n", kLabels[board],
                        found ? found->version.c_str() : supported ? "Not Available" : "Not Supported");
            if (found) {
                std::printf("      %s, vendor 0x%04X, product 0x%04X\n      %s\n", found->interfaceKind.c_str(),
                            found->vendorId, found->productId, PrintableText(found->path).c_str());
            }
        }
    }
    std::fflush(stdout);
    return 0;
}
