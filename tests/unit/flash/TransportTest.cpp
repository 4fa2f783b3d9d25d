#include "FlashFixture.h"

#include "FWUpdater/HIDVendorWrapper.h"

// The wrapped form: 0xDC, the inner length big-endian, the inner report, zeros up to 1024 bytes.
TEST(VendorWrapper, WrapUnwrapAndTheLengthsTheyCheck)
{
    Bytes wrapped;
    ASSERT_TRUE(WrapVendorReport({0x14, 1, 2, 3, 4}, wrapped));
    Bytes expected(1024, 0);
    std::copy_n(Bytes{0xDC, 0x00, 0x05, 0x14, 1, 2, 3, 4}.begin(), 8, expected.begin());
    EXPECT_EQ(wrapped, expected);
    ASSERT_TRUE(WrapVendorReport(Bytes(1100, 0x11), wrapped)); // longer: not cut
    EXPECT_EQ(Bytes(wrapped.begin(), wrapped.begin() + 3), (Bytes{0xDC, 0x04, 0x4C}));
    EXPECT_EQ(wrapped.size(), 1103u);
    EXPECT_FALSE(WrapVendorReport(Bytes(0x10000, 0x11), wrapped));
    EXPECT_FALSE(WrapVendorReport(Bytes(), wrapped));

    Bytes inner;
    EXPECT_TRUE(UnwrapVendorReport({0xDC, 0x00, 0x02, 0x21, 0x01, 0x00}, inner));
    EXPECT_EQ(inner, (Bytes{0x21, 0x01}));
    inner = {9};
    for (const Bytes& bad :
         {Bytes{0xDC, 0x00, 0x04, 0x21, 0x01, 0x00}, Bytes{0xDC, 0xFF}, Bytes{0x21, 0x00, 0x01, 0x21}})
        EXPECT_FALSE(UnwrapVendorReport(bad, inner));
    EXPECT_EQ(inner, (Bytes{9}));

    // A GET answer must hold exactly the request's length (13 here), or the request stays as it was.
    const Bytes original{0x17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes report = original;
    auto claims = [](std::uint16_t length_I) {
        return [length_I](Bytes& buffer) {
            buffer.assign(1024, 0x77);
            buffer[0] = 0xDC;
            buffer[1] = static_cast<std::uint8_t>(length_I >> 8);
            buffer[2] = static_cast<std::uint8_t>(length_I);
            return true;
        };
    };
    EXPECT_FALSE(HIDGetFeature(0xFF00, report, claims(12)));
    EXPECT_FALSE(HIDGetFeature(0xFF00, report, claims(0xFFFF)));
    EXPECT_EQ(report, original);
    EXPECT_TRUE(HIDGetFeature(0xFF00, report, claims(13)));
    EXPECT_EQ(report, Bytes(13, 0x77));

    // Other pages pass the report through, but a transport must not hand back more than was asked for.
    EXPECT_FALSE(HIDGetFeature(0x000D, report, [](Bytes& b) {
        b.resize(20, 1);
        return true;
    }));
}
