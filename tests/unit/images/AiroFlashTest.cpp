// The Airoha binary reader, and that a failed load never leaves a corrupted image behind.

#include "FWUpdater/CBinaryAiroFlash.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(AiroFlash, LoadsTheFileByteForByte)
{
    CTempDir dir;
    const std::string path = dir.File("bt.airoflash");
    const std::string bytes = Pattern(100000, 3) + "\r\n\n\r\x1A";
    WriteFile(path, bytes);
    CBinaryAiroFlash airo;
    EXPECT_EQ(airo.GetStartAddress(), -1);
    EXPECT_EQ(airo.GetBuffer(), nullptr);
    ASSERT_TRUE(airo.Load(path));
    EXPECT_EQ(airo.GetStartAddress(), 0);
    ASSERT_EQ(airo.GetSize(), bytes.size());
    EXPECT_EQ(std::memcmp(airo.GetBuffer(), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(airo.GetFileName(), path);
}

TEST(AiroFlash, SecondSmallerFileReplacesTheFirstCompletely)
{
    CTempDir dir;
    WriteFile(dir.File("a"), Pattern(5000, 1));
    WriteFile(dir.File("b"), Pattern(700, 2));
    CBinaryAiroFlash airo;
    ASSERT_TRUE(airo.Load(dir.File("a")));
    ASSERT_TRUE(airo.Load(dir.File("b")));
    ASSERT_EQ(airo.GetSize(), 700u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(airo.GetBuffer()), 700), Pattern(700, 2));
}

TEST(AiroFlash, MissingOrEmptyFileLeavesTheImageAsItWas)
{
    CTempDir dir;
    const std::string good = dir.File("good"), empty = dir.File("empty");
    WriteFile(good, Pattern(3000, 9));
    WriteFile(empty, "");
    CBinaryAiroFlash airo;
    EXPECT_FALSE(airo.Load(empty));
    EXPECT_EQ(airo.GetStartAddress(), -1);
    EXPECT_EQ(airo.GetSize(), 0u);
    ASSERT_TRUE(airo.Load(good));
    EXPECT_FALSE(airo.Load(dir.File("missing")));
    EXPECT_EQ(airo.GetFileName(), good);
    EXPECT_FALSE(airo.Load(empty));
    EXPECT_EQ(airo.GetFileName(), empty);
    EXPECT_EQ(airo.GetStartAddress(), 0);
    ASSERT_EQ(airo.GetSize(), 3000u) << "a size without the bytes to go with it would be programmed";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(airo.GetBuffer()), 3000), Pattern(3000, 9));
}

TEST(AiroFlash, ReadThatStopsShortFailsAndKeepsThePreviousImage)
{
    CBinaryAiroFlash airo;
    {
        CShrinkingBuf buf(Pattern(1000, 4), 1000);
        std::istream in(&buf);
        ASSERT_TRUE(airo.LoadFromStream(in));
    }
    CShrinkingBuf shrunk(Pattern(600, 5), 2048);
    std::istream in(&shrunk);
    EXPECT_FALSE(airo.LoadFromStream(in));
    EXPECT_EQ(airo.GetStartAddress(), 0);
    ASSERT_EQ(airo.GetSize(), 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(airo.GetBuffer()), 1000), Pattern(1000, 4));

    CBinaryAiroFlash fresh;
    CShrinkingBuf again(Pattern(600, 5), 2048);
    std::istream in2(&again);
    EXPECT_FALSE(fresh.LoadFromStream(in2));
    EXPECT_EQ(fresh.GetStartAddress(), -1) << "a partly read image must not count as loaded";
    EXPECT_EQ(fresh.GetSize(), 0u);
}
