#include "ImageFixture.h"

#include "FWUpdater/Crc8Airoha.h"

// The check byte's known value; the board's own check (written apart) takes every packet sent below.
TEST(Crc8Airoha, KnownVector)
{
    const Bytes abc{'a', 'b', 'c'};
    EXPECT_EQ(Crc8Airoha(abc.data(), abc.size()), 0x95);
    EXPECT_EQ(SimCrc8Airoha(abc.data(), abc.size()), 0x95);
}

namespace {

class AirohaProgram : public ImageFixture
{
protected:
    std::vector<std::uint32_t> Addresses()
    {
        std::vector<std::uint32_t> out;
        for (const Bytes& p : Commands(2))
            out.push_back(static_cast<std::uint32_t>(p[10]) << 16 | static_cast<std::uint32_t>(p[11]) << 8 | p[12]);
        return out;
    }
};

} // namespace

// Addresses are 24 bits big-endian; progress counts the bytes sent, not the range skipped.
TEST_F(AirohaProgram, SkipsTheReservedRangeAndCountsOnlyWhatItSends)
{
    const Bytes image = Pattern(0x12400, 5);
    MakeBoard(ESimImageKind::eAiroha, image);
    ASSERT_TRUE(device->ProgramBoard());
    std::vector<std::uint32_t> expected;
    for (std::uint32_t a = 0; a < image.size(); a += 0x100)
        if (a < 0x3000 || a >= 0x8000)
            expected.push_back(a);
    EXPECT_EQ(Addresses(), expected);
    ASSERT_EQ(notifier.mProgress.size(), expected.size());
    EXPECT_EQ(notifier.mProgress.front(), 0); // 256 * 100 / 74752 = 0.34
    EXPECT_EQ(notifier.mProgress.back(), 72); // 54272 * 100 / 74752 = 72.6
    EXPECT_TRUE(notifier.HasLog("ProgramBoardAiroHaBinary: start address: 0x00012300 bytes programmed:256\n"));
    EXPECT_EQ(loader->Flash(0, 0x3000), Bytes(image.begin(), image.begin() + 0x3000));
    EXPECT_EQ(loader->Flash(0x8000, 0xA400), Bytes(image.begin() + 0x8000, image.end()));
    EXPECT_EQ(loader->Flash(0x3000, 0x5000), Bytes(0x5000, kSimAirohaReservedByte));
    EXPECT_TRUE(loader->Violations().empty());
    EXPECT_TRUE(loader->Completed());
    // Byte 270 carries byte 267 of the buffer before: the start command's answer (zero there),
    // then the echo of the packet before.
    const std::vector<Bytes> data = Commands(2);
    EXPECT_EQ(data[0][270], 0x00);
    for (std::size_t i = 1; i < data.size(); ++i)
        ASSERT_EQ(data[i][270], data[i - 1][267]) << i;
}

TEST_F(AirohaProgram, ThreeHundredBytesMakeTwoPacketsAndTheLogInOrder)
{
    const Bytes image = Pattern(300, 6);
    MakeBoard(ESimImageKind::eAiroha, image);
    ASSERT_TRUE(device->ProgramBoard());
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(Addresses(), (std::vector<std::uint32_t>{0, 0x100}));
    Bytes second(image.begin() + 256, image.end());
    second.resize(256, 0xFF); // 44 bytes, then 212 bytes of 0xFF
    for (const Bytes& payload : {Bytes(image.begin(), image.begin() + 256), second}) {
        const Bytes& p = data[payload == second];
        const Bytes head{0xE4, 0x01, 0x02, 0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};
        EXPECT_EQ(Bytes(p.begin(), p.begin() + 10), head);
        EXPECT_EQ(p[13], Crc8Airoha(payload.data(), payload.size()));
        EXPECT_EQ(Bytes(p.begin() + 14, p.begin() + 270), payload);
    }
    EXPECT_EQ(loader->Flash(0, 300), image);
    EXPECT_EQ(notifier.mProgress, (std::vector<int>{85, 100}));
    const std::vector<std::string> expectedLogs = {
        "Starting ProgramBoardAiroHaBinary...",
        "ProgramBoardAiroHaBinary: sending command to start programming...",
        "ProgramBoardAiroHaBinary: waiting for device not busy (up to 10 seconds)...",
        "ProgramBoardIntelHex: sending program data...",
        "ProgramBoardIntelHex: calculating crc at address: 0x00000000 bytes programmed:256\n",
        "ProgramBoardIntelHex: sending program data...",
        "ProgramBoardAiroHaBinary: start address: 0x00000000 bytes programmed:256\n",
        "ProgramBoardIntelHex: calculating crc at address: 0x00000100 bytes programmed:44\n",
        "ProgramBoardIntelHex: sending program data...",
        "ProgramBoardAiroHaBinary: start address: 0x00000100 bytes programmed:44\n",
        "ProgramBoardAiroHaBinary: - sending command to end programming...",
        "ProgramBoardAiroHaBinary done!",
    };
    EXPECT_EQ(notifier.mLogs, expectedLogs);
    // The end command reuses the last status answer's buffer with sub-command 3.
    Bytes lastAnswer;
    for (const SimWireRecord& r : host->Transcript()) {
        if (r.direction == ESimWireDirection::eSet && r.bytes[2] == 3)
            break;
        if (r.direction == ESimWireDirection::eGet)
            lastAnswer = r.bytes;
    }
    ASSERT_EQ(lastAnswer.size(), 512u);
    lastAnswer[2] = 3;
    EXPECT_EQ(Commands(3), std::vector<Bytes>{lastAnswer});
    EXPECT_EQ(Le32At(lastAnswer, 508), 3u); // the loader's count from its last answer
}
