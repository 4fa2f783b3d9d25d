#pragma once
// Identifier and length octets of the tag-length-value layout (ASN.1 BER, definite lengths),
// used by the binary form of the settings values. Only what the encoder needs: no decoder.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ASN1
{

enum ETagClass : std::uint8_t
{
    eClassUniversal = 0x00,
    eClassApplication = 0x40,
};

// Universal tag numbers; the low-tag-number form holds tags up to 30 only.
enum ETagType : std::uint32_t
{
    eTypeEndOfContents = 0,
    eTypeBoolean = 1,
    eTypeInteger = 2,
    eTypeBitString = 3,
    eTypeOctetString = 4,
    eTypeNull = 5,
    eTypeObjectIdentifier = 6,
    eTypeObjectDescriptor = 7,
    eTypeExternal = 8,
    eTypeReal = 9,
    eTypeEnumerated = 10,
    eTypeEmbeddedPdv = 11,
    eTypeUTF8String = 12,
    eTypeSequence = 16,
    eTypeSet = 17,
    eTypeGeneralizedTime = 24,
    eTypeMAX_VALUE = 30,
};

constexpr std::uint8_t kConstructedBit = 0x20;
// Length octet that announces contents closed by the end-of-contents octets 0x00 0x00.
constexpr std::uint8_t kIndefiniteLength = 0x80;

// Class bits | constructed bit | tag number. The constructed bit is left off for the primitive
// universal tags 0-7, 9, 10, 12, 24 and for application tag 1 (the settings double). A tag
// above 30 is reported and only its low five bits are kept, so the octet stays one octet.
std::uint8_t IdentifierOctet(ETagClass class_I, std::uint32_t eType);

// Definite-form length octets: one octet below 128, else 0x80 + n and n octets most
// significant first, n as small as possible.
std::vector<std::uint8_t> LengthOctets(std::size_t length_I);
void AppendLength(std::vector<std::uint8_t>& bytes_IO, std::size_t length_I);

// Identifier, length octets and the contents, appended to bytes_IO.
void AppendPrimitive(std::vector<std::uint8_t>& bytes_IO, std::uint8_t identifier_I,
                     const std::uint8_t* contents_I, std::size_t length_I);

} // namespace ASN1
