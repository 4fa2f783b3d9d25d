// The Airoha binary reader, and that a failed load never leaves a corrupted image behind.

#include "FWUpdater/CBinaryAiroFlash.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

std::string Pattern(std::size_t n_I, unsigned seed_I)
{
    std::string s(n_I, '\0');
    for (std::size_t i = 0; i < n_I; ++i) {
        s[i] = static_cast<char>((i * 131 + seed_I) & 0xFF);
    }
    return s;
}

std::string Image(const CBinaryAiroFlash& airo_I)
{
    return airo_I.GetBuffer() ? std::string(reinterpret_cast<const char*>(airo_I.GetBuffer()), airo_I.GetSize()) : "";
}

// A stream whose size (found by seeking) is larger than what it delivers: a file that shrank
// between the size query and the read.
class CShrinkingBuf : public std::stringbuf
{
public:
    CShrinkingBuf(const std::string& bytes_I, std::streamoff claimed_I) : std::stringbuf(bytes_I), mClaimed(claimed_I) {}

protected:
    pos_type seekoff(off_type off_I, std::ios_base::seekdir dir_I, std::ios_base::openmode which_I) override
    {
        if ((dir_I == std::ios_base::end || (dir_I == std::ios_base::cur && mAtEnd)) && off_I == 0) {
            mAtEnd = true;
            return pos_type(mClaimed);
        }
        mAtEnd = false;
        return std::stringbuf::seekoff(off_I, dir_I, which_I);
    }

private:
    std::streamoff mClaimed;
    bool mAtEnd = false;
};

} // namespace

TEST(AiroFlash, LoadsTheFileByteForByteAndASmallerOneReplacesItWholly)
{
    CTempDir dir;
    const std::string bytes = Pattern(100000, 3) + "\r\n\n\r\x1A";
    WriteFile(dir.File("a.airoflash"), bytes);
    WriteFile(dir.File("b"), Pattern(700, 2));
    CBinaryAiroFlash airo;
    EXPECT_EQ(airo.GetStartAddress(), -1);
    EXPECT_EQ(airo.GetBuffer(), nullptr);
    ASSERT_TRUE(airo.Load(dir.File("a.airoflash")));
    EXPECT_EQ(airo.GetStartAddress(), 0);
    EXPECT_EQ(airo.GetFileName(), dir.File("a.airoflash"));
    EXPECT_TRUE(Image(airo) == bytes);
    ASSERT_TRUE(airo.Load(dir.File("b")));
    EXPECT_TRUE(Image(airo) == Pattern(700, 2));
}

TEST(AiroFlash, FailedLoadKeepsThePreviousImageOrNone)
{
    CTempDir dir;
    WriteFile(dir.File("good"), Pattern(1000, 4));
    WriteFile(dir.File("empty"), "");
    const struct
    {
        const char* name;
        std::function<bool(CBinaryAiroFlash&)> load;
    } cases[] = {
        {"missing", [&](CBinaryAiroFlash& a) { return a.Load(dir.File("missing")); }},
        {"empty", [&](CBinaryAiroFlash& a) { return a.Load(dir.File("empty")); }},
        {"read stops short of the size", [](CBinaryAiroFlash& a) {
             CShrinkingBuf shrunk(Pattern(600, 5), 2048);
             std::istream in(&shrunk);
             return a.LoadFromStream(in);
         }},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CBinaryAiroFlash fresh, loaded;
        EXPECT_FALSE(row.load(fresh));
        EXPECT_EQ(fresh.GetStartAddress(), -1) << "a partly read image must not count as loaded";
        EXPECT_EQ(fresh.GetSize(), 0u);
        EXPECT_FALSE(fresh.GetLoadError().reason.empty());
        ASSERT_TRUE(loaded.Load(dir.File("good")));
        EXPECT_FALSE(row.load(loaded));
        EXPECT_EQ(loaded.GetStartAddress(), 0);
        EXPECT_TRUE(Image(loaded) == Pattern(1000, 4)) << "a size without the bytes to go with it would be programmed";
    }
}
