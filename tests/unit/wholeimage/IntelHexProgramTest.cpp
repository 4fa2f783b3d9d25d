#include "ImageFixture.h"

#include <algorithm>
#include <optional>

using WholeImage = ImageFixture;

// 260 packets: the sequence byte is the counter's low eight bits, and the address passes 0x10000.
TEST_F(WholeImage, IntelHexPacketsFromTheStartToTheEnd)
{
    const Bytes image = Pattern(260 * 128, 7);
    MakeBoard(ESimImageKind::eIntelHex, image);
    ASSERT_TRUE(device->ProgramBoard());
    // Start, 260 data packets, end.
    ASSERT_EQ(Commands(-1).size(), 262u);
    const std::vector<Bytes> data = Commands(2);
    ASSERT_EQ(data.size(), 260u);
    // Start busy 250 ms: three polls; each packet: one poll and the 1 ms pause; end busy 450 ms: five.
    Sleeps sleeps(3, 100);
    for (std::size_t i = 0; i < data.size(); ++i) {
        SCOPED_TRACE(i);
        const Bytes& p = data[i];
        ASSERT_EQ(p.size(), 512u);
        // id, 0, sub-command 2, 1, sequence from 1, address little-endian, 0x10, 128 bytes
        EXPECT_EQ(Bytes(p.begin(), p.begin() + 5), (Bytes{0xE4, 0x00, 0x02, 0x01, static_cast<std::uint8_t>(i + 1)}));
        EXPECT_EQ(Le32At(p, 5), 0x8000u + 0x80u * i);
        EXPECT_EQ(p[9], 0x10);
        const auto chunk = image.begin() + static_cast<std::ptrdiff_t>(128 * i);
        EXPECT_EQ(Bytes(p.begin() + 10, p.begin() + 138), Bytes(chunk, chunk + 128));
        // The rest is what the last status answer left: the loader's count of accepted commands.
        EXPECT_EQ(Le32At(p, 508), i + 1);
        sleeps.insert(sleeps.end(), {100, 1});
    }
    sleeps.insert(sleeps.end(), 5, 100);
    EXPECT_EQ(clock->sleeps(), sleeps);
    // The end command is a fresh buffer: id, sub-command 3, zeros.
    Bytes end(512, 0);
    end[0] = 0xE4;
    end[2] = 3;
    EXPECT_EQ(Commands(3), std::vector<Bytes>{end});
    ASSERT_EQ(notifier.mProgress.size(), 260u);
    EXPECT_EQ(notifier.mProgress[129] + notifier.mProgress[259], 50 + 100);
    EXPECT_EQ(loader->Flash(0x8000, image.size()), image);
    EXPECT_TRUE(loader->Completed());
    EXPECT_TRUE(loader->Violations().empty());
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex: sending program data at offset:384\n"));
    EXPECT_TRUE(notifier.HasLog("ProgramBoardIntelHex:  #bytes programmed:33280\n"));
    EXPECT_TRUE(notifier.mErrors.empty());
}

TEST_F(WholeImage, BusySilentOrRefusingLoaders)
{
    using K = ESimImageKind;
    const std::string hexNotResponding = "ProgramBoardIntelHex: Programming error happens - device not responding";
    Sleeps neverWritten;
    for (int call = 0; call < 11; ++call) {
        if (call > 0)
            neverWritten.push_back(20); // between the ten command retries
        const Sleeps once = FailedSafeTransferSleeps();
        neverWritten.insert(neverWritten.end(), once.begin(), once.end());
    }
    struct Case
    {
        const char* what;
        K kind;
        std::size_t size;
        std::function<void(CSimImageLoader&)> fault;
        bool ok;
        std::string error; // the only error ("" for none)
        std::string log;   // a log line that must be there ("" for none)
        int dataPackets;   // accepted by the loader
        int endCommands;   // on the wire
        std::optional<Sleeps> sleeps;
    };
    const Case cases[] = {
        {"busy after the start", K::eIntelHex, 512, [](CSimImageLoader& l) { l.StickBusyAfter(1); }, false,
         "ProgramBoardIntelHex: Cannot Start Programming - device is busy.", "", 0, 0, Sleeps(101, 100)},
        // A status read that failed is no answer: the loader never said it was not busy.
        {"every status read fails", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailGets(-1); }, false,
         "ProgramBoardIntelHex: Cannot Start Programming - device is busy.", "", 0, 0, {}},
        {"status reads fail for a while", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailGets(150); }, true, "",
         "ProgramBoardIntelHex done!", 4, 1, {}},
        {"busy after a data packet", K::eIntelHex, 1024, [](CSimImageLoader& l) { l.StickBusyAfter(3); }, false,
         "ProgramBoardIntelHex: Programming error happens - device is busy", "", 2, 0, {}},
        {"the start never written", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(-1); }, false,
         hexNotResponding, "", 0, 0, neverWritten},
        {"the start written on the third command", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(2 * 101); },
         true, "", "ProgramBoardIntelHex done!", 4, 1, {}},
        {"a data packet not written", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(-1, 2); }, false,
         hexNotResponding, "", 1, 0, {}},
        // The end command is written once; its failure is only logged.
        {"the end command not written", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(101, 5); }, false, "",
         "ProgramBoardIntelHex: - there was an error trying to end programming", 4, 101, {}},
        {"busy after the end", K::eIntelHex, 512, [](CSimImageLoader& l) { l.StickBusyAfter(6); }, false, "",
         "ProgramBoardIntelHex: - there was an error after programming", 4, 1, {}},
        {"Airoha: busy after a data packet", K::eAiroha, 0x400, [](CSimImageLoader& l) { l.StickBusyAfter(2); }, false,
         "ProgramBoardAiroHaBinary: Programming error happens", "", 1, 0, {}},
        // One byte past 16 MiB: its last packet's address would wrap to 0x000000.
        {"Airoha: beyond 24-bit addresses", K::eAiroha, 0x1000001, [](CSimImageLoader&) {}, false,
         "ProgramBoardAiroHaBinary: image does not fit the 24-bit flash address range", "", 0, 0, Sleeps{}},
        // Protocol type 0 asserts and sends id 0, which no loader takes.
        {"protocol type 0", K::eIntelHex, 512, [](CSimImageLoader&) { CFLProtocol::Instance()->SetProtocolType(0); },
         false, hexNotResponding, "", 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes image = Pattern(c.size, 3);
        MakeBoard(c.kind, image);
        c.fault(*loader);
        CDiagnosticCapture capture;
        EXPECT_EQ(device->ProgramBoard(), c.ok);
        EXPECT_EQ(capture.Lines().empty(), CFLProtocol::Instance()->GetProtocolType() == 1);
        EXPECT_EQ(notifier.mErrors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
        EXPECT_TRUE(c.log.empty() || notifier.HasLog(c.log));
        EXPECT_EQ(loader->DataPackets(), c.dataPackets);
        EXPECT_EQ(static_cast<int>(Commands(3).size()), c.endCommands);
        if (c.sleeps) {
            EXPECT_EQ(clock->sleeps(), *c.sleeps);
        }
        if (c.ok) {
            EXPECT_EQ(loader->Flash(0x8000, c.size), image);
        }
    }
}

// The data packets keep bytes 0 and 1 of the last status answer: an answer naming another report
// (0xD3, the erase report of protocol type 1) must be read again, not sent on as the next command's id.
TEST_F(WholeImage, StatusAnswerNamingAnotherReportIsNotTakenIntoTheNextCommand)
{
    for (const auto& [spoiledAnswer, otherId] : std::vector<std::pair<int, std::uint8_t>>{{0, 0xD3}, {3, 0x00}}) {
        SCOPED_TRACE(spoiledAnswer);
        const Bytes image = Pattern(256, 5);
        MakeBoard(ESimImageKind::eIntelHex, image);
        int answers = 0;
        host->SetWireTamper([&](const std::string&, Bytes& bytes, bool&) {
            if (!bytes.empty() && bytes[0] == 0xE4 && answers++ == spoiledAnswer)
                bytes[0] = otherId;
        });
        ASSERT_TRUE(device->ProgramBoard());
        for (const Bytes& set : Commands(-1))
            EXPECT_EQ(set[0], 0xE4);
        EXPECT_EQ(loader->Flash(0x8000, 256), image);
        EXPECT_TRUE(loader->Completed());
        const Sleeps sleeps = clock->sleeps();
        EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 10u), 1); // one retry of 10 ms
    }
}
