// Loading strings along the fallback chain, and decoding their stored form.

#include "ResourceUtils.h"
#include "StringUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

using ResourceUtils::DecodeBase64;
using ResourceUtils::DecodeResourceText;
using ResourceUtils::LoadResourceString;

namespace {

const std::u16string kMarker = u"\u0298";
const std::u16string kEnglish2200 = u"Error: No supported tablet is connected.  Please connect a tablet.";

std::u16string Coded(const char* base64_I)
{
    return kMarker + Utf8ToUtf16(base64_I);
}

// The assertion texts reported, without their position.
std::vector<std::string> AssertionTexts(const CDiagnosticCapture& capture_I)
{
    std::vector<std::string> texts;
    for (const std::string& line : capture_I.Lines()) {
        const std::size_t end = line.rfind(") in ");
        texts.push_back(line.rfind("Assert:(", 0) == 0 && end != std::string::npos ? line.substr(8, end - 8) : line);
    }
    return texts;
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
    // A block whose entry `index_I` holds `entry_I` (length and characters as given).
    void Put(std::uint16_t block_I, std::uint16_t language_I, std::size_t index_I, const std::u16string& entry_I)
    {
        std::u16string data;
        for (std::size_t k = 0; k < 16; ++k) {
            if (k == index_I)
                data += entry_I;
            else
                data.push_back(0);
        }
        mBlocks[{block_I, language_I}] = data;
    }
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::u16string> mBlocks;
    mutable std::vector<std::uint16_t> mLookups;
};

std::u16string Entry(const std::u16string& text_I)
{
    std::u16string entry(1, static_cast<char16_t>(text_I.size() + 1));
    entry += text_I;
    entry.push_back(0);
    return entry;
}

} // namespace

// --- stored form ---------------------------------------------------------------------------------

TEST(DecodeResourceText, TextWithoutTheMarkerIsReturnedUnchanged)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DecodeResourceText(u"Programming"), u"Programming");
    EXPECT_EQ(DecodeResourceText(u""), u"");
    EXPECT_EQ(DecodeResourceText(u"a\u0298SGk="), u"a\u0298SGk=");
    EXPECT_EQ(DecodeResourceText(u"SGk="), u"SGk=");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeResourceText, MarkerAloneIsTheEmptyString)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DecodeResourceText(kMarker), u"");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeResourceText, Utf8BeyondLatinAndSurrogatePairs)
{
    CDiagnosticCapture capture;
    // "Gerätemodus", "程式設計", and U+1F58A (a pen) outside the basic plane.
    EXPECT_EQ(DecodeResourceText(Coded("R2Vyw6R0ZW1vZHVz")), u"Gerätemodus");
    EXPECT_EQ(DecodeResourceText(Coded("56iL5byP6Kit6KiI")), u"程式設計");
    EXPECT_EQ(DecodeResourceText(Coded("8J+Wig==")), u"\U0001F58A");
    EXPECT_EQ(DecodeResourceText(Coded("YQpi")), u"a\nb");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeResourceText, ShortBase64IsPaddedAsIfItHadBeenPadded)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DecodeResourceText(Coded("SGk")), u"Hi");
    EXPECT_EQ(DecodeResourceText(Coded("SGk")), DecodeResourceText(Coded("SGk=")));
    EXPECT_EQ(DecodeResourceText(Coded("SA")), u"H");
    EXPECT_EQ(DecodeResourceText(Coded("SA")), DecodeResourceText(Coded("SA==")));
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeResourceText, CharacterAbove255IsReportedAndItsLowByteUsed)
{
    CDiagnosticCapture capture;
    // U+0153 has the low byte 0x53, "S".
    EXPECT_EQ(DecodeResourceText(kMarker + u"\u0153Gk="), u"Hi");
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Assert:(codedString_I[i] < 256) in Common/ResourceUtils.cpp at ", 0), 0u) << lines[0];
}

TEST(DecodeResourceText, CharacterOutsideTheAlphabetIsReportedAndDecodingGoesOn)
{
    CDiagnosticCapture capture;
    const std::u16string decoded = DecodeResourceText(Coded("SA*=SGk="));
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"(valueTable[coded_I] & 0x80) == 0"}));
    // The bad third character counts as "no second byte"; the next group is intact.
    EXPECT_EQ(decoded, u"HHi");
}

TEST(DecodeResourceText, PaddingInTheFirstTwoPlacesIsReported)
{
    CDiagnosticCapture capture;
    DecodeResourceText(Coded("=AAA"));
    DecodeResourceText(Coded("S=AA"));
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"s1 < 64", "s2 < 64"}));
}

TEST(DecodeResourceText, OneCharacterInTheLastGroupIsReported)
{
    CDiagnosticCapture capture;
    // Five characters: the second group is "b===", whose padding value spills into the byte.
    EXPECT_EQ(DecodeResourceText(Coded("SGVsb")), u"Help");
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"s2 < 64"}));
}

TEST(DecodeResourceText, BitsThatNoByteCarriesAreReported)
{
    CDiagnosticCapture capture;
    // "SGl=" and "SB==" carry set bits after the last byte; the bytes themselves come out as usual.
    EXPECT_EQ(DecodeResourceText(Coded("SGl=")), u"Hi");
    EXPECT_EQ(DecodeResourceText(Coded("SB==")), u"H");
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"bits == 0", "bits == 0"}));
}

TEST(DecodeResourceText, BytesThatAreNotUtf8BecomeReplacementCharacters)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DecodeResourceText(Coded("/w==")), u"\uFFFD");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeBase64, EveryByteValueAndLengthRoundTrips)
{
    CDiagnosticCapture capture;
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<std::uint8_t>(i));
    for (std::size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 255u, 256u}) {
        const std::vector<std::uint8_t> bytes(all.begin(), all.begin() + length);
        std::string coded = Base64Encode(bytes);
        while (coded.size() % 4 != 0)
            coded.push_back('=');
        EXPECT_EQ(DecodeBase64(coded), bytes) << length;
    }
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(DecodeBase64, UnpaddedInputIsReportedAndTheIncompleteGroupLeftOut)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(DecodeBase64("SGVsSGk"), (std::vector<std::uint8_t>{'H', 'e', 'l'}));
    EXPECT_EQ(AssertionTexts(capture),
              (std::vector<std::string>{"(((codedbuffer_I.size() + 3) / 4) * 4) == codedbuffer_I.size()"}));
}

TEST(EncodeResourceText, IsWhatDecodeReads)
{
    CDiagnosticCapture capture;
    for (const std::u16string& text : {std::u16string(u""), std::u16string(u"a"), std::u16string(u"ab"),
                                       std::u16string(u"Fehler: \nTablet"), std::u16string(u"\U0001F58A ok")}) {
        const std::u16string stored = ResourceUtils::EncodeResourceText(text);
        EXPECT_EQ(stored[0], 0x0298);
        EXPECT_EQ((stored.size() - 1) % 4, 0u);
        EXPECT_EQ(DecodeResourceText(stored), text);
    }
    EXPECT_TRUE(capture.Lines().empty());
}

// --- the built-in table and the fallback chain ------------------------------------------------

TEST(LoadResourceString, EnglishErrorKeepsItsTwoBlanks)
{
    EXPECT_EQ(LoadResourceString(2200, 0x0009), kEnglish2200);
    EXPECT_EQ(LoadResourceString(2200, 0x0409), kEnglish2200);
}

TEST(LoadResourceString, LanguagesWithoutStringsComeOutInEnglish)
{
    EXPECT_EQ(LoadResourceString(2200, 0x001F), kEnglish2200); // Turkish
    EXPECT_EQ(LoadResourceString(2200, 0x041F), kEnglish2200);
    EXPECT_EQ(LoadResourceString(2000, 0x0418), u"Vellum Firmware Update Utility"); // via 0x0018, 0x0009
}

TEST(LoadResourceString, NeutralLanguageIsEnglishOnTheBuiltinTable)
{
    EXPECT_EQ(LoadResourceString(2200, 0), kEnglish2200);
}

TEST(LoadResourceString, ChineseVariantsReachTheirScript)
{
    EXPECT_EQ(LoadResourceString(2102, 0x0C04), u"程式設計"); // Hong Kong -> Traditional
    EXPECT_EQ(LoadResourceString(2102, 0x1404), u"程式設計"); // Macao -> Traditional
    EXPECT_EQ(LoadResourceString(2102, 0x1004), u"正在编程"); // Singapore -> Simplified
    EXPECT_EQ(LoadResourceString(2102, 0x0804), u"正在编程");
    // 0x0004 has no table of its own and goes to the neutral id.
    EXPECT_EQ(LoadResourceString(2102, 0x0004), u"Programming");
}

TEST(LoadResourceString, GermanKeepsItsLineFeeds)
{
    EXPECT_EQ(LoadResourceString(2106, 0x0407),
              u"Firmware-Update fehlgeschlagen. \nBitte schließen Sie Ihr Gerät neu an und \nversuchen Sie es noch "
              u"einmal.");
}

TEST(LoadResourceString, UnknownIdsAreEmpty)
{
    CDiagnosticCapture capture;
    EXPECT_EQ(LoadResourceString(2001, 0x0009), u"");   // in a block, no entry
    EXPECT_EQ(LoadResourceString(2111, 0x0009), u"");   // last entry of a block
    EXPECT_EQ(LoadResourceString(4000, 0x0009), u"");   // no such block
    EXPECT_EQ(LoadResourceString(0, 0x0009), u"");
    EXPECT_EQ(LoadResourceString(0x10000 + 2000, 0x0009), u""); // beyond 16-bit ids
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(LoadResourceString, FollowsTheChainUntilABlockIsFound)
{
    CFakeResources fake;
    fake.Put(126, 0x0007, 0, Entry(u"de"));
    EXPECT_EQ(LoadResourceString(fake, 2000, 0x0407), u"de");
    EXPECT_EQ(fake.mLookups, (std::vector<std::uint16_t>{0x0407, 0x0007}));

    fake.mLookups.clear();
    EXPECT_EQ(LoadResourceString(fake, 2000, 0x0419), u"");
    EXPECT_EQ(fake.mLookups, (std::vector<std::uint16_t>{0x0419, 0x0019, 0x0009, 0x0000}));
}

TEST(LoadResourceString, ABlockWithoutTheEntryEndsTheSearch)
{
    CFakeResources fake;
    fake.Put(126, 0x0407, 3, Entry(u"three"));
    fake.Put(126, 0x0007, 0, Entry(u"de"));
    EXPECT_EQ(LoadResourceString(fake, 2003, 0x0407), u"three");
    fake.mLookups.clear();
    EXPECT_EQ(LoadResourceString(fake, 2000, 0x0407), u"");
    EXPECT_EQ(fake.mLookups, (std::vector<std::uint16_t>{0x0407}));
}

TEST(LoadResourceString, StoredAndPlainEntriesBothLoad)
{
    CFakeResources fake;
    fake.Put(1, 0x0009, 5, Entry(ResourceUtils::EncodeResourceText(u"Größe")));
    fake.Put(2, 0x0009, 15, Entry(u"plain"));
    EXPECT_EQ(LoadResourceString(fake, 5, 0x0009), u"Größe");
    EXPECT_EQ(LoadResourceString(fake, 31, 0x0009), u"plain");
}

TEST(LoadResourceString, DamagedEntriesGiveNothingAndNeverReadPastTheBlock)
{
    CDiagnosticCapture capture;
    CFakeResources fake;
    // A zero inside the text: reported; the text is taken as the length says.
    fake.Put(1, 0x0009, 1, std::u16string(u"\x0004" u"a\0b", 4) + u'\0');
    EXPECT_EQ(LoadResourceString(fake, 1, 0x0009), std::u16string(u"a\0b", 3));
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"wcslen(pwsz+1) == (size_t)((*pwsz) - 1)"}));
    capture.Clear();

    // Length beyond the block's end.
    fake.mBlocks[{2, 0x0009}] = std::u16string(u"\x0040" u"abc", 4);
    EXPECT_EQ(LoadResourceString(fake, 16, 0x0009), u"");
    EXPECT_EQ(AssertionTexts(capture), (std::vector<std::string>{"\"string entry longer than its block\""}));
    capture.Clear();

    // A block that ends before the id's entry.
    fake.mBlocks[{3, 0x0009}] = std::u16string(u"\x0001" u"\0\0", 3);
    EXPECT_EQ(LoadResourceString(fake, 32 + 9, 0x0009), u"");
    fake.mBlocks[{4, 0x0009}] = u"";
    EXPECT_EQ(LoadResourceString(fake, 48, 0x0009), u"");
    // An empty entry.
    fake.Put(5, 0x0009, 0, std::u16string(1, u'\0'));
    EXPECT_EQ(LoadResourceString(fake, 64, 0x0009), u"");
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(LoadResourceString, InstalledResourcesReplaceTheBuiltinTable)
{
    CFakeResources fake;
    fake.Put(126, 0x0009, 0, Entry(u"mine"));
    ResourceUtils::SetStringResources(&fake);
    const std::u16string installed = LoadResourceString(2000, 0x0009);
    ResourceUtils::SetStringResources(nullptr);
    EXPECT_EQ(installed, u"mine");
    EXPECT_EQ(LoadResourceString(2000, 0x0009), u"Vellum Firmware Update Utility");
}
