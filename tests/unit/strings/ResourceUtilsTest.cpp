// Loading strings along the fallback chain, and decoding their stored form.

#include "ResourceUtils.h"
#include "StringUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

using ResourceUtils::DecodeResourceText;
using ResourceUtils::LoadResourceString;

namespace {

const std::u16string kMarker = u"\u0298";

std::u16string Coded(const char* base64_I)
{
    return kMarker + Utf8ToUtf16(base64_I);
}

// Blocks by (block number, language); records every lookup.
class CFakeResources : public CStringResources
{
public:
    std::optional<std::u16string_view> FindStringBlock(std::uint16_t blockNumber_I,
                                                       std::uint16_t languageId_I) const override
    {
        mLookups.push_back(languageId_I);
        const auto it = mBlocks.find({blockNumber_I, languageId_I});
        if (it == mBlocks.end())
            return std::nullopt;
        return std::u16string_view(it->second);
    }
    // A block of sixteen entries whose entry `index_I` holds `text_I` (length, text, zero).
    void Put(std::uint16_t block_I, std::uint16_t language_I, std::size_t index_I, const std::u16string& text_I)
    {
        std::u16string data(16, u'\0');
        const std::u16string entry = char16_t(text_I.size() + 1) + text_I + u'\0';
        mBlocks[{block_I, language_I}] = data.replace(index_I, 1, entry);
    }
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::u16string> mBlocks;
    mutable std::vector<std::uint16_t> mLookups;
};

} // namespace

TEST(DecodeResourceText, StoredFormAndBase64AndTheFaultsTheyReport)
{
    struct Case
    {
        std::u16string stored;
        std::u16string text;
        std::size_t assertions;
    };
    const Case cases[] = {
        // Without the marker at the start, the text is returned unchanged.
        {u"a\u0298SGk=", u"a\u0298SGk=", 0},
        {Coded("8J+Wig=="), u"\U0001F58A", 0}, // a surrogate pair (the real strings have none)
        {Coded("SGk"), u"Hi", 0},              // short Base64 is decoded as if it had been padded
        {Coded("/w=="), u"\uFFFD", 0},         // a byte that is not UTF-8
        // A bad third character counts as "no second byte"; the next group is intact.
        {Coded("SA*=SGk="), u"HHi", 1},
        {Coded("SGVsb"), u"Help", 1},       // the second group is "b===", whose padding spills into the byte
        {Coded("SGl="), u"Hi", 1},          // set bits after the last byte
        {kMarker + u"\u0153Gk=", u"Hi", 1}, // above 255: the low byte 0x53, "S", is used
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.stored));
        CDiagnosticCapture capture;
        EXPECT_EQ(DecodeResourceText(c.stored), c.text);
        EXPECT_EQ(capture.Lines().size(), c.assertions);
    }
    // Base64: every byte value comes back unchanged (whole texts: tests/fuzz/fuzz_strings).
    CDiagnosticCapture capture;
    std::vector<std::uint8_t> bytes;
    for (int length = 0; length <= 256; ++length) {
        std::string coded = Base64Encode(bytes);
        coded.append((4 - coded.size() % 4) % 4, '=');
        EXPECT_EQ(ResourceUtils::DecodeBase64(coded), bytes) << length;
        bytes.push_back(static_cast<std::uint8_t>(length));
    }
    EXPECT_TRUE(capture.Lines().empty());
    // The incomplete group is left out.
    EXPECT_EQ(ResourceUtils::DecodeBase64("SGVsSGk"), (std::vector<std::uint8_t> {'H', 'e', 'l'}));
    EXPECT_EQ(capture.Lines().size(), 1u);
}

TEST(LoadResourceString, FollowsTheChainUntilABlockIsFoundAndNeverReadsPastIt)
{
    CFakeResources fake;
    fake.Put(126, 0x0007, 0, u"de");
    EXPECT_EQ(LoadResourceString(fake, 2000, 0x0407), u"de");
    EXPECT_EQ(fake.mLookups, (std::vector<std::uint16_t> {0x0407, 0x0007}));
    // A block without the entry ends the search.
    fake.Put(126, 0x0407, 3, u"three");
    EXPECT_EQ(LoadResourceString(fake, 2003, 0x0407), u"three");
    fake.mLookups.clear();
    EXPECT_EQ(LoadResourceString(fake, 2000, 0x0407), u"");
    EXPECT_EQ(fake.mLookups, (std::vector<std::uint16_t> {0x0407}));
    // Stored and plain entries both load.
    fake.Put(1, 0x0009, 5, ResourceUtils::EncodeResourceText(u"Größe"));
    fake.Put(2, 0x0009, 15, u"plain");
    EXPECT_EQ(LoadResourceString(fake, 5, 0x0009), u"Größe");
    EXPECT_EQ(LoadResourceString(fake, 31, 0x0009), u"plain");

    // Damaged entries give nothing and are never read past the block.
    struct Case
    {
        std::u16string block; // block 1 of language 0x0009: ids 0-15
        std::uint32_t id;
        std::u16string text;
        std::size_t assertions;
    };
    const Case cases[] = {
        {std::u16string(u"\0\x0004" u"a\0b\0", 6), 1, std::u16string(u"a\0b", 3), 1}, // taken as the length says
        {std::u16string(u"\x0040" u"abc", 4), 0, u"", 1}, // a length beyond the block's end
        {std::u16string(u"\x0001" u"\0\0", 3), 9, u"", 0}, // the block ends before the id's entry
        {u"", 0, u"", 0},
        {std::u16string(16, u'\0'), 15, u"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block.size());
        CDiagnosticCapture capture;
        fake.mBlocks[{1, 0x0009}] = c.block;
        EXPECT_EQ(LoadResourceString(fake, c.id, 0x0009), c.text);
        EXPECT_EQ(capture.Lines().size(), c.assertions);
    }
    EXPECT_EQ(LoadResourceString(0x10000 + 2000, 0x0009), u""); // beyond 16-bit ids, not id 2000
}
