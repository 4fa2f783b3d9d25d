// list: the tablets found and, per board, its interface, ids and firmware version.

#include "FWUpdater/CliCommands.h"

#include "FWUpdater/CDevice.h"
#include "FWUpdater/CDiscovery.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "FWUpdater/CUpdateController.h"
#include "FWUpdater/CliJson.h"
#include "FWUpdater/CliStringIds.h"
#include "FWUpdater/CliText.h"

#include <algorithm>
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
        std::cout << CliText(IDS_CLI_NO_TABLET) << "\n";
        return 0;
    }
    const std::string labels[] = {CliText(IDS_CLI_PEN_VERSION), CliText(IDS_CLI_TOUCH_VERSION),
                                  CliText(IDS_CLI_BLUETOOTH_VERSION)};
    std::size_t width = 28;
    for (const std::string& label : labels)
        width = std::max(width, TextWidth(label));
    for (std::size_t d = 0; d < listed.size(); ++d) {
        const ListedDevice& device = listed[d];
        const CDevice& description = *discovery->GetDevices()[d];
        std::cout << CliText(IDS_CLI_TABLET) << " " << PrintableText(device.name) << " "
                  << CliText(device.loaderMode ? IDS_CLI_LOADER_MODE : IDS_CLI_NORMAL_MODE) << "\n";
        for (int board = 0; board < static_cast<int>(kBoardCount); ++board) {
            const ListedBoard* found = nullptr;
            for (const ListedBoard& b : device.boards) {
                if (b.board == UpdateTypeWord(board))
                    found = &b;
            }
            const bool supported = board == eBoardPen || (board == eBoardTouch ? description.mTouchSupported
                                                                               : description.mBluetoothSupported);
            std::cout << "  " << PaddedLabel(labels[board], width + 1)
                      << (found ? found->version : CliText(supported ? IDS_CLI_NOT_AVAILABLE : IDS_CLI_NOT_SUPPORTED)) << "\n";
            if (found) {
                char vendor[16];
                char product[16];
                std::snprintf(vendor, sizeof vendor, "%04X", found->vendorId);
                std::snprintf(product, sizeof product, "%04X", found->productId);
                std::cout << "      " << CliText(IDS_CLI_INTERFACE, {found->interfaceKind, vendor, product}) << "\n      "
                          << PrintableText(found->path) << "\n";
            }
        }
    }
    std::cout << std::flush;
    return 0;
}
