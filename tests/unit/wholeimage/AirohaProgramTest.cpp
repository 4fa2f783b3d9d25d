// Airoha binary programming through report 0xE4, and the CRC-8 of its packets.

#include "ImageFixture.h"

#include "FWUpdater/Crc8Airoha.h"

#include <fstream>

TEST(Crc8Airoha, KnownVectors)
{
    const Bytes abc{'a', 'b', 'c'};
    EXPECT_EQ(Crc8Airoha(abc.data(), abc.size()), 0x95);
    const Bytes ones(256, 0xFF);
    EXPECT_EQ(Crc8Airoha(ones.data(), ones.size()), 0xB4);
    const Bytes zeros(256, 0x00);
    EXPECT_EQ(Crc8Airoha(zeros.data(), zeros.size()), 0x00);
    EXPECT_EQ(Crc8Airoha(nullptr, 0), 0x00);
}

TEST(Crc8Airoha, RunningStateIsTheCheckByteAtEveryStep)
{
    const Bytes data = Pattern(300, 4);
    std::uint8_t state = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        state = Crc8AirohaUpdate(state, data[i]);
        ASSERT_EQ(state, Crc8Airoha(data.data(), i + 1)) << "after byte " << i;
    }
}

TEST(Crc8Airoha, AgreesWithTheSimulatedBoardsOwnTable)
{
    // The board's check is written apart (table-driven, reflected); both must agree.
    for (std::uint8_t seed = 1; seed < 40; ++seed) {
        const Bytes data = Pattern(256, seed);
        EXPECT_EQ(Crc8Airoha(data.data(), data.size()), SimCrc8Airoha(data.data(), data.size())) << int(seed);
    }
    const Bytes abc{'a', 'b', 'c'};
    EXPECT_EQ(SimCrc8Airoha(abc.data(), abc.size()), 0x95);
}

namespace {

class AirohaProgram : public ImageFixture
{
};

std::uint32_t Address24(const Bytes& p)
{
    return static_cast<std::uint32_t>(p[10]) << 16 | static_cast<std::uint32_t>(p[11]) << 8 | p[12];
}

} // namespace

TEST_F(AirohaProgram, SkipsTheReservedRangeAndEndsAt44Percent)
{
    const Bytes image = Pattern(0x9000, 5);
    MakeAirohaBoard(image);
    ASSERT_TRUE(device->ProgramBoard());

    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 64u);
    std::vector<std::uint32_t> addresses;
    for (const Bytes& p : data)
        addresses.push_back(Address24(p));
    std::vector<std::uint32_t> expected;
    for (std::uint32_t a = 0; a < 0x3000; a += 0x100)
        expected.push_back(a);
    for (std::uint32_t a = 0x8000; a < 0x9000; a += 0x100)
        expected.push_back(a);
    EXPECT_EQ(addresses, expected);

    const std::vector<int> progress = notifier.Progress();
    ASSERT_EQ(progress.size(), 64u);
    EXPECT_EQ(progress.front(), 0); // 256 * 100 / 36864 = 0.69
    EXPECT_EQ(progress.back(), 44);

    EXPECT_EQ(loader->Flash(0, 0x3000), Bytes(image.begin(), image.begin() + 0x3000));
    EXPECT_EQ(loader->Flash(0x8000, 0x1000), Bytes(image.begin() + 0x8000, image.end()));
    EXPECT_EQ(loader->Flash(0x3000, 0x5000), Bytes(0x5000, kSimAirohaReservedByte));
    EXPECT_TRUE(loader->Violations().empty());
    EXPECT_TRUE(loader->Completed());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardAiroHaBinary done!"));
}

TEST_F(AirohaProgram, ThreeHundredBytesMakeTwoPacketsAndTheLogInOrder)
{
    const Bytes image = Pattern(300, 6);
    MakeAirohaBoard(image);
    ASSERT_TRUE(device->ProgramBoard());

    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 2u);
    const Bytes preamble{0x02, 0x00, 0x0F, 0x06, 0x01, 0x08, 0x01};
    for (const Bytes& p : data) {
        EXPECT_EQ(p[0], 0xE4);
        EXPECT_EQ(p[1], 0x01);
        EXPECT_EQ(p[2], 0x02);
        EXPECT_EQ(Bytes(p.begin() + 3, p.begin() + 10), preamble);
        EXPECT_EQ(p[13], Crc8Airoha(&p[14], 256));
    }
    EXPECT_EQ(Address24(data[0]), 0u);
    EXPECT_EQ(Bytes(data[0].begin() + 14, data[0].begin() + 270), Bytes(image.begin(), image.begin() + 256));
    EXPECT_EQ(Address24(data[1]), 0x100u);
    Bytes second(image.begin() + 256, image.end());
    second.resize(256, 0xFF); // 44 bytes, then 212 bytes of 0xFF
    EXPECT_EQ(Bytes(data[1].begin() + 14, data[1].begin() + 270), second);
    EXPECT_EQ(data[1][13], Crc8Airoha(second.data(), second.size()));
    EXPECT_EQ(loader->Flash(0, 300), image);
    EXPECT_EQ(notifier.Progress(), (std::vector<int>{85, 100}));

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
    EXPECT_EQ(notifier.Logs(), expectedLogs);
}

TEST_F(AirohaProgram, AddressIsTwentyFourBitsBigEndianAndLoggedInEightDigits)
{
    const Bytes image = Pattern(0x12400, 8);
    MakeAirohaBoard(image);
    ASSERT_TRUE(device->ProgramBoard());
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 0x124u - 0x50u);
    const Bytes& last = data.back();
    EXPECT_EQ(last[10], 0x01);
    EXPECT_EQ(last[11], 0x23);
    EXPECT_EQ(last[12], 0x00);
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex: calculating crc at address: 0x00012300 bytes programmed:256\n"));
    EXPECT_TRUE(notifier.HasLog("ProgramBoardAiroHaBinary: start address: 0x00012300 bytes programmed:256\n"));
    EXPECT_EQ(loader->Flash(0x12300, 0x100), Bytes(image.begin() + 0x12300, image.end()));
}

TEST_F(AirohaProgram, EndCommandReusesTheLastStatusAnswer)
{
    MakeAirohaBoard(Pattern(300, 6));
    ASSERT_TRUE(device->ProgramBoard());
    // The last 0xE4 answer before the end command, and the end command itself.
    Bytes lastAnswer;
    Bytes endCommand;
    for (const SimWireRecord& r : host->Transcript()) {
        if (r.bytes.empty() || r.bytes[0] != 0xE4)
            continue;
        if (r.direction == ESimWireDirection::eGet && endCommand.empty())
            lastAnswer = r.bytes;
        if (r.direction == ESimWireDirection::eSet && r.bytes[2] == 3)
            endCommand = r.bytes;
    }
    ASSERT_EQ(lastAnswer.size(), 512u);
    ASSERT_EQ(endCommand.size(), 512u);
    Bytes expected = lastAnswer;
    expected[2] = 3;
    EXPECT_EQ(endCommand, expected);
    EXPECT_EQ(endCommand[1], 0x01);
    EXPECT_EQ(Le32At(endCommand, 508), 3u); // the loader's count from its last answer
}

TEST_F(AirohaProgram, ByteTwoSeventyCarriesTheEarlierByteTwoSixtySeven)
{
    MakeAirohaBoard(Pattern(0x300, 2));
    ASSERT_TRUE(device->ProgramBoard());
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 3u);
    // Before the first packet the buffer held the answer to the start command (zeros there).
    EXPECT_EQ(data[0][270], 0x00);
    // The loader echoes each packet, so the buffer's byte 267 before packet n+1 is packet n's.
    EXPECT_EQ(data[1][270], data[0][267]);
    EXPECT_EQ(data[2][270], data[1][267]);
}

TEST_F(AirohaProgram, LoaderBusyAfterADataPacket)
{
    MakeAirohaBoard(Pattern(0x400, 3));
    loader->StickBusyAfter(2);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(), (std::vector<std::string>{"ProgramBoardAiroHaBinary: Programming error happens"}));
    EXPECT_EQ(Commands(2).size(), 1u);
    EXPECT_TRUE(Commands(3).empty());
    EXPECT_EQ(clock->totalSlept(), 300u + 101u * 100u);
}

TEST_F(AirohaProgram, LoaderBusyAfterStart)
{
    MakeAirohaBoard(Pattern(0x400, 3));
    loader->StickBusyAfter(1);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(),
              (std::vector<std::string>{"ProgramBoardAiroHaBinary: Cannot Start Programming - device is busy."}));
    EXPECT_EQ(loader->Polls(), 101);
}

TEST_F(AirohaProgram, StartNotWritten)
{
    MakeAirohaBoard(Pattern(0x400, 3));
    loader->FailSets(-1);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(),
              (std::vector<std::string>{"ProgramBoardAiroHaBinary: Programming error happens - device not responding"}));
    EXPECT_EQ(Commands(1).size(), 11u * 101);
}

TEST_F(AirohaProgram, EndFailuresAreOnlyLogged)
{
    MakeAirohaBoard(Pattern(0x200, 3));
    loader->FailSets(101, 3);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardAiroHaBinary: - there was an error trying to end programming"));
    EXPECT_TRUE(notifier.Errors().empty());

    notifier.mEntries.clear();
    MakeAirohaBoard(Pattern(0x200, 3));
    loader->StickBusyAfter(4);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardAiroHaBinary: - there was an error after programming"));
    EXPECT_TRUE(notifier.Errors().empty());
}

TEST_F(AirohaProgram, WrongFormatOrNoImageSendsNothing)
{
    MakeAirohaBoard(Pattern(0x200, 3));
    device->SetDataSourceFormat(eFormatIntelHex);
    EXPECT_FALSE(device->ProgramBoardAiroHaBinary());
    EXPECT_TRUE(notifier.HasError("ProgramBoardAiroHaBinary: Datasource not correct"));
    device->SetDataSourceFormat(eFormatAiroFlash);
    device->SetAiroFlashData(std::make_shared<CBinaryAiroFlash>());
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardAiroHaBinary: No AiroFlashData"));
    EXPECT_EQ(host->TranscriptSize(), 0u);
}

TEST_F(AirohaProgram, ImageBeyondTwentyFourBitAddressesIsRefusedBeforeAnyTraffic)
{
    MakeAirohaBoard(Pattern(0x200, 3));
    // One byte past 16 MiB: its last packet's address would wrap to 0x000000.
    const std::string file = dir.File("huge.airoflash");
    {
        std::ofstream out(file, std::ios::binary);
        out.seekp(0x1000000);
        out.put('\x01');
    }
    auto huge = std::make_shared<CBinaryAiroFlash>();
    ASSERT_TRUE(huge->Load(file));
    ASSERT_EQ(huge->GetSize(), 0x1000001u);
    device->SetAiroFlashData(huge);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardAiroHaBinary: image does not fit the 24-bit flash address range"));
    EXPECT_EQ(host->TranscriptSize(), 0u);
}
