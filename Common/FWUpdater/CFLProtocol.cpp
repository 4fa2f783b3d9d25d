#include "FWUpdater/CFLProtocol.h"

#include "DebugOutput.h"

std::uint8_t BLReportIdFor(EBLReportId report_I, int protocolType_I)
{
    const std::uint8_t base = static_cast<std::uint8_t>(report_I);
    if (protocolType_I != 1)
        return report_I == eBL_HID_REP_INTELHEX_PROGRAMMING_ID ? 0 : base;
    if (report_I == eBL_HID_REP_LOADER_BYTE_ID)
        return base;
    return static_cast<std::uint8_t>(base + kBLProtocol1IdOffset);
}

namespace {

const std::shared_ptr<CFLProtocol>& SharedInstance()
{
    static const std::shared_ptr<CFLProtocol> instance = std::make_shared<CFLProtocol>();
    return instance;
}

} // namespace

std::shared_ptr<CFLProtocol> CFLProtocol::Instance()
{
    return SharedInstance();
}

std::uint8_t CFLProtocol::ReportId(EBLReportId report_I) const
{
    const int type = GetProtocolType();
    if (report_I == eBL_HID_REP_INTELHEX_PROGRAMMING_ID && type != 1)
        ASSERT_FAILED_AT("eBL_HID_REP_INTELHEX_PROGRAMMING_ID NOT SUPPORTED FOR CURRENT PROTOCOL",
                         "FLProtocol", 71);
    return BLReportIdFor(report_I, type);
}

std::uint8_t BLReportId(EBLReportId report_I)
{
    // Every report asks: no reference count round trip for it.
    return SharedInstance()->ReportId(report_I);
}
