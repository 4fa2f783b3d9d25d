// The binary form of the settings values: BER-style tag-length-value with one fixed identifier
// per class. Nothing in the program decodes it; it only has to be self-consistent.

#include "Settings/CSettingsObject.h"

#include "ASN1Coding.h"
#include "DebugOutput.h"

#include <bit>

namespace
{

const std::uint8_t kIdBool = ASN1::IdentifierOctet(ASN1::eClassUniversal, ASN1::eTypeBoolean);
const std::uint8_t kIdInteger = ASN1::IdentifierOctet(ASN1::eClassUniversal, ASN1::eTypeInteger);
const std::uint8_t kIdBytes = ASN1::IdentifierOctet(ASN1::eClassUniversal, ASN1::eTypeOctetString);
const std::uint8_t kIdNull = ASN1::IdentifierOctet(ASN1::eClassUniversal, ASN1::eTypeNull);
const std::uint8_t kIdString = ASN1::IdentifierOctet(ASN1::eClassUniversal, ASN1::eTypeUTF8String);
const std::uint8_t kIdDouble = ASN1::IdentifierOctet(ASN1::eClassApplication, 1);
const std::uint8_t kIdArray = ASN1::IdentifierOctet(ASN1::eClassApplication, 2);
const std::uint8_t kIdMap = ASN1::IdentifierOctet(ASN1::eClassApplication, 0);

void AppendBytes(std::vector<std::uint8_t>& bytes_IO, std::uint8_t identifier_I, const std::string& text_I)
{
    ASN1::AppendPrimitive(bytes_IO, identifier_I, reinterpret_cast<const std::uint8_t*>(text_I.data()),
                          text_I.size());
}

void AppendEndOfContents(std::vector<std::uint8_t>& bytes_IO)
{
    bytes_IO.push_back(0x00);
    bytes_IO.push_back(0x00);
}

} // namespace

void CSettingsBool::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    ASN1::AppendPrimitive(bytes_IO, kIdBool, &mValue, 1);
}

void CSettingsInteger::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    // Counted on the unsigned view: 0..255 take one octet, any negative value eight. No sign
    // octet is added for positive values with the top bit set (128 is 02 01 80).
    const auto value = static_cast<std::uint64_t>(mValue);
    std::size_t count = 1;
    while (count < 8 && (value >> (8 * count)) != 0)
        ++count;
    std::uint8_t contents[8];
    for (std::size_t i = 0; i < count; ++i)
        contents[i] = static_cast<std::uint8_t>(value >> (8 * (count - 1 - i)));
    ASN1::AppendPrimitive(bytes_IO, kIdInteger, contents, count);
}

void CSettingsDouble::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    const auto bits = std::bit_cast<std::uint64_t>(mValue);
    std::uint8_t contents[8];
    for (std::size_t i = 0; i < 8; ++i)
        contents[i] = static_cast<std::uint8_t>(bits >> (8 * (7 - i)));
    ASN1::AppendPrimitive(bytes_IO, kIdDouble, contents, 8);
}

void CSettingsString::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    AppendBytes(bytes_IO, kIdString, mValue);
}

void CSettingsBytes::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    ASN1::AppendPrimitive(bytes_IO, kIdBytes, mValue.data(), mValue.size());
}

void CSettingsNULL::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    ASN1::AppendPrimitive(bytes_IO, kIdNull, nullptr, 0);
}

void CSettingsArray::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    bytes_IO.push_back(kIdArray);
    bytes_IO.push_back(ASN1::kIndefiniteLength);
    for (const auto& obj : mObjectVector) {
        ASSERT(obj);
        if (obj)
            obj->Encode(bytes_IO);
    }
    AppendEndOfContents(bytes_IO);
}

void CSettingsMap::Encode(std::vector<std::uint8_t>& bytes_IO) const
{
    bytes_IO.push_back(kIdMap);
    bytes_IO.push_back(ASN1::kIndefiniteLength);
    for (const auto& obj : mObjectMap) {
        ASSERT(obj.second);
        if (!obj.second)
            continue;
        AppendBytes(bytes_IO, kIdString, obj.first);
        obj.second->Encode(bytes_IO);
    }
    AppendEndOfContents(bytes_IO);
}
