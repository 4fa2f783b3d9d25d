#include "ASN1Coding.h"
#include "Settings/CSettingsObject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{

using Bytes = std::vector<std::uint8_t>;

Bytes EncodingOf(const CSettingsObjectPtr& value_I)
{
    Bytes bytes;
    value_I->Encode(bytes);
    return bytes;
}

} // namespace

TEST(ASN1Coding, IdentifierOctets)
{
    using namespace ASN1;
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeBoolean), 0x01);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeInteger), 0x02);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeOctetString), 0x04);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeNull), 0x05);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeUTF8String), 0x0C);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeGeneralizedTime), 0x18);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeExternal), 0x28);  // constructed
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeSequence), 0x30);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeSet), 0x31);
    EXPECT_EQ(IdentifierOctet(eClassUniversal, eTypeMAX_VALUE), 0x3E);
    EXPECT_EQ(IdentifierOctet(eClassApplication, 0), 0x60);
    EXPECT_EQ(IdentifierOctet(eClassApplication, 1), 0x41);  // the one primitive application tag
    EXPECT_EQ(IdentifierOctet(eClassApplication, 2), 0x62);
    for (std::uint32_t tag : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 10u, 12u, 24u})
        EXPECT_EQ(IdentifierOctet(eClassUniversal, tag) & kConstructedBit, 0) << tag;
    for (std::uint32_t tag : {8u, 11u, 13u, 16u, 17u, 23u, 25u, 30u})
        EXPECT_EQ(IdentifierOctet(eClassUniversal, tag) & kConstructedBit, kConstructedBit) << tag;
}

TEST(ASN1Coding, TagAboveThirtyIsReported)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(ASN1::IdentifierOctet(ASN1::eClassUniversal, 30), 0x3E);
    EXPECT_TRUE(capture.Lines().empty());
    const std::uint8_t octet = ASN1::IdentifierOctet(ASN1::eClassApplication, 31);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("Assert:(eType <= eTypeMAX_VALUE) in ", 0), 0u);
    EXPECT_EQ(octet & 0xE0, 0x60); // still one octet of the requested class
}

TEST(ASN1Coding, LengthOctets)
{
    EXPECT_EQ(ASN1::LengthOctets(0), (Bytes {0x00}));
    EXPECT_EQ(ASN1::LengthOctets(127), (Bytes {0x7F}));
    EXPECT_EQ(ASN1::LengthOctets(128), (Bytes {0x81, 0x80}));
    EXPECT_EQ(ASN1::LengthOctets(200), (Bytes {0x81, 0xC8}));
    EXPECT_EQ(ASN1::LengthOctets(255), (Bytes {0x81, 0xFF}));
    EXPECT_EQ(ASN1::LengthOctets(256), (Bytes {0x82, 0x01, 0x00}));
    EXPECT_EQ(ASN1::LengthOctets(0x10000), (Bytes {0x83, 0x01, 0x00, 0x00}));
    EXPECT_EQ(ASN1::LengthOctets(0x12345678), (Bytes {0x84, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(ASN1::LengthOctets(std::numeric_limits<std::uint64_t>::max()),
              (Bytes {0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsEncoding, Scalars)
{
    EXPECT_EQ(EncodingOf(CSettingsBool::Create(true)), (Bytes {0x01, 0x01, 0x01}));
    EXPECT_EQ(EncodingOf(CSettingsBool::Create(false)), (Bytes {0x01, 0x01, 0x00}));
    EXPECT_EQ(EncodingOf(CSettingsNULL::Create()), (Bytes {0x05, 0x00}));
    EXPECT_EQ(EncodingOf(CSettingsDouble::Create(1.0)), (Bytes {0x41, 0x08, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodingOf(CSettingsDouble::Create(-2.5)), (Bytes {0x41, 0x08, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodingOf(CSettingsString::Create("ab")), (Bytes {0x0C, 0x02, 'a', 'b'}));
    EXPECT_EQ(EncodingOf(CSettingsString::Create("")), (Bytes {0x0C, 0x00}));
    EXPECT_EQ(EncodingOf(CSettingsBytes::Create({0, 0xFF})), (Bytes {0x04, 0x02, 0x00, 0xFF}));

    const Bytes long200 = EncodingOf(CSettingsString::Create(std::string(200, 'x')));
    ASSERT_EQ(long200.size(), 203u);
    EXPECT_EQ(Bytes(long200.begin(), long200.begin() + 3), (Bytes {0x0C, 0x81, 0xC8}));
    EXPECT_EQ(long200.back(), 'x');

    const Bytes bytes300 = EncodingOf(CSettingsBytes::Create(Bytes(300, 7)));
    EXPECT_EQ(Bytes(bytes300.begin(), bytes300.begin() + 4), (Bytes {0x04, 0x82, 0x01, 0x2C}));
    EXPECT_EQ(bytes300.size(), 304u);
}

TEST(SettingsEncoding, IntegersCountOctetsOnTheUnsignedView)
{
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(0)), (Bytes {0x02, 0x01, 0x00}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(255)), (Bytes {0x02, 0x01, 0xFF}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(128)), (Bytes {0x02, 0x01, 0x80}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(256)), (Bytes {0x02, 0x02, 0x01, 0x00}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(300)), (Bytes {0x02, 0x02, 0x01, 0x2C}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(0x0100000000LL)), (Bytes {0x02, 0x05, 0x01, 0, 0, 0, 0}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(-1)),
              (Bytes {0x02, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(std::numeric_limits<std::int64_t>::min())),
              (Bytes {0x02, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodingOf(CSettingsInteger::Create(std::numeric_limits<std::int64_t>::max())),
              (Bytes {0x02, 0x08, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsEncoding, Containers)
{
    auto array = CSettingsArray::Create();
    EXPECT_EQ(EncodingOf(array), (Bytes {0x62, 0x80, 0x00, 0x00}));
    array->Append(CSettingsBool::Create(true));
    EXPECT_EQ(EncodingOf(array), (Bytes {0x62, 0x80, 0x01, 0x01, 0x01, 0x00, 0x00}));

    auto map = CSettingsMap::Create();
    EXPECT_EQ(EncodingOf(map), (Bytes {0x60, 0x80, 0x00, 0x00}));
    map->Set("a", CSettingsNULL::Create());
    EXPECT_EQ(EncodingOf(map), (Bytes {0x60, 0x80, 0x0C, 0x01, 0x61, 0x05, 0x00, 0x00, 0x00}));

    // keys in byte order, nested containers inline, appended after what the vector held
    map->Set("B", array);
    Bytes out {0xAA};
    map->Encode(out);
    EXPECT_EQ(out, (Bytes {0xAA, 0x60, 0x80, 0x0C, 0x01, 'B', 0x62, 0x80, 0x01, 0x01, 0x01, 0x00, 0x00,
                           0x0C, 0x01, 'a', 0x05, 0x00, 0x00, 0x00}));
}
