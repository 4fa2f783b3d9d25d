// Intel HEX programming through report 0xE4, against the simulated whole-image loader.

#include "ImageFixture.h"

#include <algorithm>

namespace {

class IntelHexProgram : public ImageFixture
{
};

} // namespace

TEST_F(IntelHexProgram, FiveHundredTwelveBytesAt8000)
{
    const Bytes image = Pattern(512, 3);
    MakeIntelHexBoard(image);
    ASSERT_TRUE(device->ProgramBoard());

    // Start, four data packets, end; each followed by its polls.
    const std::vector<Bytes> sets = Reports(ESimWireDirection::eSet);
    ASSERT_EQ(sets.size(), 6u);
    EXPECT_EQ(sets[0][2], 1);
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 4u);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const Bytes& p = data[i];
        ASSERT_EQ(p.size(), 512u);
        EXPECT_EQ(p[0], 0xE4);
        EXPECT_EQ(p[1], 0x00);
        EXPECT_EQ(p[3], 0x01);
        EXPECT_EQ(p[4], i + 1) << "sequence byte of packet " << i;
        EXPECT_EQ(Le32At(p, 5), 0x8000u + 0x80u * i);
        EXPECT_EQ(p[9], 0x10);
        EXPECT_EQ(Bytes(p.begin() + 10, p.begin() + 138), Bytes(image.begin() + 128 * i, image.begin() + 128 * (i + 1)));
        // The rest of the buffer is what the last status answer left: the loader's count of
        // accepted commands sits in bytes 508-511 of its answers.
        EXPECT_EQ(Le32At(p, 508), i + 1);
    }
    // The end command is a fresh buffer: id, sub-command 3, zeros.
    const std::vector<Bytes> end = Commands(3);
    ASSERT_EQ(end.size(), 1u);
    Bytes expectedEnd(512, 0);
    expectedEnd[0] = 0xE4;
    expectedEnd[2] = 3;
    EXPECT_EQ(end[0], expectedEnd);

    EXPECT_EQ(notifier.Progress(), (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(loader->Flash(0x8000, 512), image);
    EXPECT_TRUE(loader->Completed());
    EXPECT_TRUE(loader->Violations().empty());
    EXPECT_TRUE(notifier.Errors().empty());

    const std::vector<std::string> expectedLogs = {
        "Starting ProgramBoardIntelHex...",
        "ProgramBoardIntelHex: sending command to start programming...",
        "ProgramBoardIntelHex: waiting for device not busy (up to 10 seconds)...",
        "ProgramBoardIntelHex: sending program data...",
        "ProgramBoardIntelHex: sending program data at offset:0\n",
        "ProgramBoardIntelHex: bytes offset:0\n",
        "ProgramBoardIntelHex: sending program data at offset:128\n",
        "ProgramBoardIntelHex: bytes offset:128\n",
        "ProgramBoardIntelHex: sending program data at offset:256\n",
        "ProgramBoardIntelHex: bytes offset:256\n",
        "ProgramBoardIntelHex: sending program data at offset:384\n",
        "ProgramBoardIntelHex: bytes offset:384\n",
        "ProgramBoardIntelHex:  #bytes programmed:512\n",
        "ProgramBoardIntelHex: - sending command to end programming...",
        "ProgramBoardIntelHex done!",
    };
    EXPECT_EQ(notifier.Logs(), expectedLogs);

    // Start busy 250 ms: three polls; each packet: one poll and the 1 ms pause; end busy 450 ms:
    // five polls.
    const std::vector<std::uint32_t> expectedSleeps = {100, 100, 100, 100, 1, 100, 1, 100, 1, 100, 1,
                                                       100, 100, 100, 100, 100};
    EXPECT_EQ(clock->sleeps(), expectedSleeps);
}

TEST_F(IntelHexProgram, SequenceByteIsTheCounterLowEightBits)
{
    // 260 packets of 128 bytes (a multiple of 512).
    const Bytes image = Pattern(260 * 128, 7);
    MakeIntelHexBoard(image);
    ASSERT_TRUE(device->ProgramBoard());
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 260u);
    EXPECT_EQ(data[254][4], 255);
    EXPECT_EQ(data[255][4], 0); // the 256th packet
    EXPECT_EQ(data[256][4], 1);
    EXPECT_EQ(Le32At(data[259], 5), 0x8000u + 259 * 128);
    EXPECT_EQ(loader->Flash(0x8000, image.size()), image);
    EXPECT_TRUE(loader->Violations().empty());
}

TEST_F(IntelHexProgram, LargestImageEndsBelow34000)
{
    // 0x2C000 bytes, the most an image may hold: 1408 packets, the last at 0x33F80.
    const Bytes image = Pattern(0x2C000, 9);
    MakeIntelHexBoard(image);
    host->SetTranscriptEnabled(false);
    ASSERT_TRUE(device->ProgramBoard());
    EXPECT_EQ(loader->DataPackets(), 1408);
    ASSERT_FALSE(loader->PacketAddresses().empty());
    EXPECT_EQ(loader->PacketAddresses().back(), 0x33F80u);
    EXPECT_EQ(loader->Flash(0x8000, image.size()), image);
    EXPECT_EQ(notifier.Progress().back(), 100);
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex:  #bytes programmed:180224\n"));
}

TEST_F(IntelHexProgram, LoaderBusyAfterStartForOneHundredOnePolls)
{
    MakeIntelHexBoard(Pattern(512));
    loader->StickBusyAfter(1);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(), (std::vector<std::string>{"ProgramBoardIntelHex: Cannot Start Programming - device is busy."}));
    EXPECT_EQ(clock->sleeps(), std::vector<std::uint32_t>(101, 100));
    EXPECT_EQ(clock->totalSlept(), 10100u);
    EXPECT_EQ(loader->Polls(), 101);
    EXPECT_EQ(loader->DataPackets(), 0);
    EXPECT_TRUE(Commands(2).empty());
    EXPECT_TRUE(Commands(3).empty()); // no end command after a failed start
}

TEST_F(IntelHexProgram, LoaderBusyAfterADataPacket)
{
    MakeIntelHexBoard(Pattern(1024));
    loader->StickBusyAfter(3); // start and two packets are acknowledged
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(), (std::vector<std::string>{"ProgramBoardIntelHex: Programming error happens - device is busy"}));
    EXPECT_EQ(Commands(2).size(), 2u);
    EXPECT_TRUE(Commands(3).empty());
    EXPECT_EQ(notifier.Progress(), (std::vector<int>{12}));
}

TEST_F(IntelHexProgram, CommandWriteRetriesTwentyMillisecondsApart)
{
    MakeIntelHexBoard(Pattern(512));
    // Two whole SafeWrite calls fail (each its 101 attempts), the third goes through.
    loader->FailSets(2 * 101);
    ASSERT_TRUE(device->ProgramBoard());
    std::vector<std::uint32_t> oneSafeWrite;
    for (std::uint32_t k = 0; k < 100; ++k)
        oneSafeWrite.push_back(10 + k);
    oneSafeWrite.push_back(1000);
    std::vector<std::uint32_t> expected;
    for (int call = 0; call < 2; ++call) {
        expected.insert(expected.end(), oneSafeWrite.begin(), oneSafeWrite.end());
        expected.push_back(20);
    }
    const std::vector<std::uint32_t> sleeps = clock->sleeps();
    ASSERT_GE(sleeps.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::uint32_t>(sleeps.begin(), sleeps.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    EXPECT_EQ(sleeps[expected.size()], 100u); // then the busy wait
    EXPECT_EQ(Commands(1).size(), 2u * 101 + 1);
    EXPECT_EQ(loader->Flash(0x8000, 512), Bytes(hex->GetImage(), hex->GetImage() + 512));
}

TEST_F(IntelHexProgram, CommandNotWrittenAfterTenRetries)
{
    MakeIntelHexBoard(Pattern(512));
    loader->FailSets(-1);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(),
              (std::vector<std::string>{"ProgramBoardIntelHex: Programming error happens - device not responding"}));
    // Eleven SafeWrite calls of 101 attempts each, 20 ms between the calls.
    EXPECT_EQ(Commands(1).size(), 11u * 101);
    std::vector<std::uint32_t> expected;
    for (int call = 0; call < 11; ++call) {
        if (call > 0)
            expected.push_back(20);
        for (std::uint32_t k = 0; k < 100; ++k)
            expected.push_back(10 + k);
        expected.push_back(1000);
    }
    EXPECT_EQ(clock->sleeps(), expected);
    EXPECT_EQ(loader->Polls(), 0);
}

TEST_F(IntelHexProgram, DataPacketNotWritten)
{
    MakeIntelHexBoard(Pattern(512));
    loader->FailSets(-1, 2); // start and the first packet pass
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(),
              (std::vector<std::string>{"ProgramBoardIntelHex: Programming error happens - device not responding"}));
    EXPECT_EQ(loader->DataPackets(), 1);
    EXPECT_EQ(notifier.Progress(), (std::vector<int>{25}));
    EXPECT_TRUE(Commands(3).empty());
}

TEST_F(IntelHexProgram, StatusReadsThatFailAreNotTakenAsNotBusy)
{
    MakeIntelHexBoard(Pattern(512));
    // Every status read fails: the start command's byte 3 is 0, but no loader said so.
    loader->FailGets(-1);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Errors(), (std::vector<std::string>{"ProgramBoardIntelHex: Cannot Start Programming - device is busy."}));
    EXPECT_TRUE(Commands(2).empty());
}

TEST_F(IntelHexProgram, StatusReadsThatFailForAWhileAreRetried)
{
    MakeIntelHexBoard(Pattern(512));
    loader->FailGets(150); // one and a half SafeRead calls' worth
    ASSERT_TRUE(device->ProgramBoard());
    EXPECT_EQ(loader->Flash(0x8000, 512), Bytes(hex->GetImage(), hex->GetImage() + 512));
}

TEST_F(IntelHexProgram, EndCommandIsWrittenOnceAndItsFailureIsOnlyLogged)
{
    MakeIntelHexBoard(Pattern(512));
    loader->FailSets(101, 5); // start and four packets pass; the end command's SafeWrite fails
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.Errors().empty());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex: - there was an error trying to end programming"));
    EXPECT_FALSE(notifier.HasLog("ProgramBoardIntelHex done!"));
    EXPECT_EQ(Commands(3).size(), 101u); // one SafeWrite, no command retries
    EXPECT_FALSE(loader->Completed());
}

TEST_F(IntelHexProgram, LoaderBusyAfterEndIsOnlyLogged)
{
    MakeIntelHexBoard(Pattern(512));
    loader->StickBusyAfter(6);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.Errors().empty());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex: - there was an error after programming"));
}

TEST_F(IntelHexProgram, WrongFormatOrNoImageSendsNothing)
{
    MakeIntelHexBoard(Pattern(512));
    device->SetDataSourceFormat(eFormatPen);
    EXPECT_FALSE(device->ProgramBoardIntelHex());
    EXPECT_TRUE(notifier.HasError("ProgramBoardIntelHex: Datasource not correct"));
    device->SetDataSourceFormat(eFormatIntelHex);
    device->SetIntelHexData(std::make_shared<CIntelHex>()); // nothing loaded
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_TRUE(notifier.HasError("ProgramBoardIntelHex: No IntelHexData"));
    device->SetIntelHexData(nullptr);
    EXPECT_FALSE(device->ProgramBoard());
    EXPECT_EQ(notifier.Count('E', "ProgramBoardIntelHex: No IntelHexData"), 2);
    EXPECT_EQ(host->TranscriptSize(), 0u);
}

TEST_F(IntelHexProgram, ProtocolType0AssertsAndSendsIdZero)
{
    MakeIntelHexBoard(Pattern(512));
    CFLProtocol::Instance()->SetProtocolType(0);
    CDiagnosticCapture capture;
    EXPECT_FALSE(device->ProgramBoard());
    ASSERT_FALSE(capture.Lines().empty());
    EXPECT_EQ(capture.Lines()[0],
              "Assert:(\"eBL_HID_REP_INTELHEX_PROGRAMMING_ID NOT SUPPORTED FOR CURRENT PROTOCOL\") in FLProtocol at 71\n");
    const std::vector<Bytes> sets = Reports(ESimWireDirection::eSet);
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets[0][0], 0x00);
    EXPECT_EQ(sets[0][2], 0x01);
    EXPECT_TRUE(notifier.HasError("ProgramBoardIntelHex: Programming error happens - device not responding"));
}

TEST_F(IntelHexProgram, StatusAnswerNamingAnotherReportIsNotTakenIntoTheNextCommand)
{
    // The buffer of the data packets keeps bytes 0 and 1 of the last status answer: an answer
    // naming another report (0xD3, the erase report of protocol type 1) must be read again, not
    // sent on as the id of the next command.
    struct Case
    {
        const char* name;
        int spoiledAnswer; // which 0xE4 answer on the wire carries the other id
        std::uint8_t otherId;
    };
    const Case cases[] = {
        {"first answer after the start", 0, 0xD3},
        {"answer after the first data packet", 3, 0xD3},
        {"answer after the first data packet, id 0x00", 3, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host = std::make_shared<CSimHost>();
        notifier.mEntries.clear();
        const Bytes image = Pattern(256, 5);
        MakeIntelHexBoard(image);
        int answers = 0;
        host->SetWireTamper([&](const std::string&, Bytes& bytes, bool&) {
            if (!bytes.empty() && bytes[0] == 0xE4 && answers++ == c.spoiledAnswer)
                bytes[0] = c.otherId;
        });
        ASSERT_TRUE(device->ProgramBoard());
        for (const Bytes& set : Reports(ESimWireDirection::eSet))
            EXPECT_EQ(set[0], 0xE4);
        EXPECT_EQ(loader->Flash(0x8000, 256), image);
        EXPECT_TRUE(loader->Completed());
        EXPECT_TRUE(loader->Violations().empty());
        // The spoiled answer cost one retry of 10 ms.
        const std::vector<std::uint32_t> sleeps = clock->sleeps();
        EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 10u), 1);
    }
}
