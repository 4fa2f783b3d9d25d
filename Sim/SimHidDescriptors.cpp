#include "SimHidDescriptors.h"

namespace {

void Item(std::vector<std::uint8_t>& d_IO, std::uint8_t prefix_I, std::uint32_t value_I, int size_I)
{
    const std::uint8_t sizeCode = size_I == 4 ? 3 : static_cast<std::uint8_t>(size_I);
    d_IO.push_back(static_cast<std::uint8_t>(prefix_I | sizeCode));
    for (int i = 0; i < size_I; ++i)
        d_IO.push_back(static_cast<std::uint8_t>(value_I >> (8 * i)));
}

// Short item prefixes without their size bits.
constexpr std::uint8_t kUsagePage = 0x04;
constexpr std::uint8_t kUsage = 0x08;
constexpr std::uint8_t kCollection = 0xA0;
constexpr std::uint8_t kEndCollection = 0xC0;
constexpr std::uint8_t kLogicalMin = 0x14;
constexpr std::uint8_t kLogicalMax = 0x24;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kApplication = 0x01;
constexpr std::uint8_t kPhysical = 0x00;

} // namespace

std::vector<std::uint8_t> SimVendorCollection(std::uint16_t usagePage_I, std::uint16_t usage_I,
                                              const std::vector<SimFeatureReport>& features_I)
{
    std::vector<std::uint8_t> d;
    Item(d, kUsagePage, usagePage_I, 2);
    Item(d, kUsage, usage_I, usage_I > 0xFF ? 2 : 1);
    Item(d, kCollection, kApplication, 1);
    Item(d, kLogicalMin, 0, 1);
    Item(d, kLogicalMax, 0xFF, 2);
    Item(d, kReportSize, 8, 1);
    for (const SimFeatureReport& f : features_I) {
        Item(d, kReportId, f.id, 1);
        Item(d, kUsage, 1, 1);
        Item(d, kReportCount, f.length > 0 ? f.length - 1u : 0u, 2);
        Item(d, kFeature, 0x02, 1); // data, variable, absolute
    }
    Item(d, kEndCollection, 0, 0);
    return d;
}

std::vector<std::uint8_t> SimDigitizerPenCollection(std::uint8_t reportId_I)
{
    std::vector<std::uint8_t> d;
    Item(d, kUsagePage, 0x0D, 1); // digitizer
    Item(d, kUsage, 0x02, 1);     // pen
    Item(d, kCollection, kApplication, 1);
    Item(d, kReportId, reportId_I, 1);
    Item(d, kUsage, 0x20, 1); // stylus
    Item(d, kCollection, kPhysical, 1);
    Item(d, kUsage, 0x42, 1); // tip switch
    Item(d, kLogicalMin, 0, 1);
    Item(d, kLogicalMax, 1, 1);
    Item(d, kReportSize, 1, 1);
    Item(d, kReportCount, 1, 1);
    Item(d, kInput, 0x02, 1);
    Item(d, kReportCount, 7, 1); // padding to a byte
    Item(d, kInput, 0x03, 1);
    Item(d, kUsagePage, 0x01, 1); // generic desktop
    Item(d, kUsage, 0x30, 1);     // X
    Item(d, kUsage, 0x31, 1);     // Y
    Item(d, kLogicalMax, 0x7FFF, 2);
    Item(d, kReportSize, 16, 1);
    Item(d, kReportCount, 2, 1);
    Item(d, kInput, 0x02, 1);
    Item(d, kEndCollection, 0, 0);
    Item(d, kEndCollection, 0, 0);
    return d;
}

std::vector<SimFeatureReport> SimNormalModeFeatures()
{
    return {{0x02, 2}, {0x08, 5}, {0xCC, 3}};
}

std::vector<SimFeatureReport> SimVendorWrapperFeatures()
{
    return {{0xDC, 1024}};
}

std::vector<SimFeatureReport> SimI2CBridgeFeatures()
{
    return {{0xB0, 3}, {0xB1, 266}, {0xB2, 265}, {0x02, 2}};
}
