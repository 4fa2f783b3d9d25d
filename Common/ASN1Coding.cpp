#include "ASN1Coding.h"

#include "DebugOutput.h"

namespace ASN1
{

namespace
{

bool IsPrimitive(ETagClass class_I, std::uint32_t eType)
{
    if (class_I == eClassApplication)
        return eType == 1;
    switch (eType) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
    case 9: case 10: case 12: case 24:
        return true;
    default:
        return false;
    }
}

} // namespace

std::uint8_t IdentifierOctet(ETagClass class_I, std::uint32_t eType)
{
    ASSERT(eType <= eTypeMAX_VALUE);
    const std::uint32_t tag = eType & 0x1F;
    std::uint8_t octet = static_cast<std::uint8_t>(class_I | tag);
    if (!IsPrimitive(class_I, tag))
        octet |= kConstructedBit;
    return octet;
}

std::vector<std::uint8_t> LengthOctets(std::size_t length_I)
{
    std::vector<std::uint8_t> out;
    AppendLength(out, length_I);
    return out;
}

void AppendLength(std::vector<std::uint8_t>& bytes_IO, std::size_t length_I)
{
    if (length_I < 0x80) {
        bytes_IO.push_back(static_cast<std::uint8_t>(length_I));
        return;
    }
    unsigned count = 0;
    for (std::size_t rest = length_I; rest != 0; rest >>= 8)
        ++count;
    bytes_IO.push_back(static_cast<std::uint8_t>(0x80 + count));
    for (unsigned i = count; i-- > 0;)
        bytes_IO.push_back(static_cast<std::uint8_t>(length_I >> (8 * i)));
}

void AppendPrimitive(std::vector<std::uint8_t>& bytes_IO, std::uint8_t identifier_I,
                     const std::uint8_t* contents_I, std::size_t length_I)
{
    bytes_IO.push_back(identifier_I);
    AppendLength(bytes_IO, length_I);
    if (length_I != 0)
        bytes_IO.insert(bytes_IO.end(), contents_I, contents_I + length_I);
}

} // namespace ASN1
