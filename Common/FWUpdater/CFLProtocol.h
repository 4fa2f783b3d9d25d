#pragma once
// Report ids of the loader protocol and the process-wide protocol type that selects them.
//
// Loader reports are named by their protocol-type-0 id. In protocol type 1 every loader id is
// 0xC1 higher, except the loader byte (0x1F in both). Report 0xE4 exists in protocol type 1 only;
// its enumerator holds 0xE4 - 0xC1 so the same rule gives its id.

#include <atomic>
#include <cstdint>
#include <memory>

enum EBLReportId : std::uint8_t
{
    eBL_HID_REP_READ_ID = 0x10,
    eBL_HID_REP_WRITE_BLOCK_ID = 0x11,
    eBL_HID_REP_ERASE_BLOCK_ID = 0x12,
    eBL_HID_REP_VALUE_ID = 0x13,
    eBL_HID_REP_STATUS_ID = 0x14,
    eBL_HID_REP_EXIT_LOADER_ID = 0x15,
    eBL_HID_REP_WRITE_WORD_ID = 0x16,
    eBL_HID_REP_LOADER_PARAMETERS_ID = 0x17,
    eBL_HID_REP_LOADER_DESCRIPTION_ID = 0x18,
    eBL_HID_REP_CHECKSUMS_ID = 0x19,
    eBL_HID_REP_SET_BLOCK_CHECKSUM_ID = 0x1A,
    eBL_HID_REP_CALC_BLOCK_CHECKSUM_ID = 0x1B,
    eBL_HID_REP_SET_MAGIC_WORD_ID = 0x1C,
    eBL_HID_REP_WRITE_CHECKSUMS_ID = 0x1D,
    eBL_HID_REP_LOADER_INFO_ID = 0x1E,
    eBL_HID_REP_LOADER_BYTE_ID = 0x1F,
    eBL_HID_REP_SET_CPU_ID = 0x20,
    eBL_HID_REP_CURRENT_CPU_ID = 0x21,
    eBL_HID_REP_CPU_COUNT_ID = 0x22,
    eBL_HID_REP_INTELHEX_PROGRAMMING_ID = 0x23, // 0xE4 in protocol type 1, absent in type 0
};

// Reports of the normal (application) mode and the outer wrapper; the same in both types.
enum EBLFixedReportId : std::uint8_t
{
    eBL_HID_REP_PING_ID = 0x02,
    eBL_HID_REP_RESET_ID = 0x08,
    eBL_HID_REP_ENTER_LOADER_ID = 0xCC,
    eBL_HID_REP_VENDOR_WRAPPER_ID = 0xDC,
};

// Offset added to every loader id (but the loader byte) in protocol type 1.
constexpr std::uint8_t kBLProtocol1IdOffset = 0xC1;

// The wire id of a loader report for a given protocol type. Pure: it neither reads the
// process-wide type nor asserts; 0 for report 0xE4 in protocol type 0.
std::uint8_t BLReportIdFor(EBLReportId report_I, int protocolType_I);

class CFLProtocol
{
public:
    // The process-wide object, created on first use.
    static std::shared_ptr<CFLProtocol> Instance();

    int GetProtocolType() const { return protocolType.load(std::memory_order_relaxed); }
    void SetProtocolType(int type_I) { protocolType.store(type_I, std::memory_order_relaxed); }

    // The wire id of a loader report under the current protocol type. Asking for report 0xE4
    // in protocol type 0 asserts and gives 0, the id the report then goes out with.
    std::uint8_t ReportId(EBLReportId report_I) const;

    // Set before programming and read by the single thread that talks to devices; atomic only
    // so that a stray reader on another thread is not a data race.
    std::atomic<int> protocolType{0};
};

// Shorthand for CFLProtocol::Instance()->ReportId(report_I).
std::uint8_t BLReportId(EBLReportId report_I);
