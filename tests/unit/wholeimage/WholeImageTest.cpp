// Whole-image loader boards (report 0xE4, protocol type 1) under the flash tests' fixture, each
// holding an image written to a small file and loaded with the production readers.

#include "../flash/FlashFixture.h"
#include "../images/RecordText.h"

#include "CSimImageLoader.h"
#include "FWUpdater/CBinaryAiroFlash.h"
#include "FWUpdater/Crc8Airoha.h"
#include "FWUpdater/CIntelHex.h"
#include "TestSupport.h"

#include <optional>

// Intel HEX text of data placed at base: 16-byte data records, an 04 record whenever the upper
// address half changes, CR LF line ends, an end record.
inline std::string IntelHexText(const Bytes& data_I, std::uint32_t base_I)
{
    std::string text;
    for (std::size_t offset = 0; offset < data_I.size(); offset += 16) {
        const auto address = static_cast<std::uint32_t>(base_I + offset);
        if (offset == 0 || address % 0x10000 == 0)
            text += HexRecord(4, 0, {std::uint8_t(address >> 24), std::uint8_t(address >> 16)}) + "\r\n";
        const auto from = data_I.begin() + static_cast<std::ptrdiff_t>(offset);
        const Bytes bytes(from, from + std::min<std::ptrdiff_t>(16, data_I.end() - from));
        text += HexRecord(0, static_cast<std::uint16_t>(address), bytes) + "\r\n";
    }
    return text + HexRecord(1, 0, {}) + "\r\n";
}

class ImageFixture : public BoardFixture<>
{
protected:
    // A fresh host with a loader board of this kind holding image_I ready to be programmed.
    void MakeBoard(ESimImageKind kind_I, const Bytes& image_I, SimImageLoaderConfig config_I = SimImageLoaderConfig())
    {
        CFLProtocol::Instance()->SetProtocolType(1);
        config_I.kind = kind_I;
        config_I.flashSize = std::max<std::uint32_t>(0x20000, static_cast<std::uint32_t>(image_I.size() + 0x100));
        loader = std::make_shared<CSimImageLoader>(config_I);
        Attach(loader, true);
        const bool hexImage = kind_I == ESimImageKind::eIntelHex;
        const std::string file = dir.File(hexImage ? "touch.hex" : "bt.airoflash");
        WriteFile(file, hexImage ? IntelHexText(image_I, 0x8000) : std::string(image_I.begin(), image_I.end()));
        if (hexImage) {
            hex = std::make_shared<CIntelHex>();
            ASSERT_TRUE(hex->Load(file));
            device->SetIntelHexData(hex);
        } else {
            airo = std::make_shared<CBinaryAiroFlash>();
            ASSERT_TRUE(airo->Load(file));
            device->SetAiroFlashData(airo);
        }
        device->SetDataSourceFormat(hexImage ? eFormatIntelHex : eFormatAiroFlash);
    }

    // 0xE4 SETs with this sub-command (all SETs for -1).
    std::vector<Bytes> Commands(int subCommand_I) const
    {
        std::vector<Bytes> out;
        for (const SimWireRecord& r : host->Transcript())
            if (r.direction == ESimWireDirection::eSet &&
                (subCommand_I < 0 || (r.bytes[0] == 0xE4 && r.bytes[2] == subCommand_I)))
                out.push_back(r.bytes);
        return out;
    }

    std::shared_ptr<CSimImageLoader> loader;
    std::shared_ptr<CIntelHex> hex;
    std::shared_ptr<CBinaryAiroFlash> airo;
    CTempDir dir;
};

inline std::uint32_t Le32At(const Bytes& b_I, std::size_t at_I)
{
    return b_I[at_I] | b_I[at_I + 1] << 8 | b_I[at_I + 2] << 16 | static_cast<std::uint32_t>(b_I[at_I + 3]) << 24;
}

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
    const std::string hexDone = "ProgramBoardIntelHex done!";
    Sleeps neverWritten;
    for (int call = 0; call < 11; ++call) {
        if (call > 0)
            neverWritten.push_back(20); // between the ten command retries
        const Sleeps once = FailedSafeTransferSleeps();
        neverWritten.insert(neverWritten.end(), once.begin(), once.end());
    }
    // The n-th status answer names another report.
    auto spoil = [this](int answer_I, std::uint8_t id_I) {
        return [this, answer_I, id_I](CSimImageLoader&) {
            auto answers = std::make_shared<int>(0);
            host->SetWireTamper([answer_I, id_I, answers](const std::string&, Bytes& bytes, bool&) {
                if (!bytes.empty() && bytes[0] == 0xE4 && (*answers)++ == answer_I)
                    bytes[0] = id_I;
            });
        };
    };
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
         hexDone, 4, 1, {}},
        {"busy after a data packet", K::eIntelHex, 1024, [](CSimImageLoader& l) { l.StickBusyAfter(3); }, false,
         "ProgramBoardIntelHex: Programming error happens - device is busy", "", 2, 0, {}},
        {"the start never written", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(-1); }, false,
         hexNotResponding, "", 0, 0, neverWritten},
        {"the start written on the third command", K::eIntelHex, 512, [](CSimImageLoader& l) { l.FailSets(2 * 101); },
         true, "", hexDone, 4, 1, {}},
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
        // The data packets keep bytes 0 and 1 of the last status answer: one naming another report
        // (0xD3, the erase report of protocol type 1) must be read again, not sent on as the next id.
        {"a status answer names 0xD3", K::eIntelHex, 256, spoil(0, 0xD3), true, "", hexDone, 4, 1, {}},
        {"a later status answer names 0", K::eIntelHex, 256, spoil(3, 0x00), true, "", hexDone, 4, 1, {}},
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
        if (!c.ok)
            continue;
        EXPECT_EQ(loader->Flash(0x8000, c.size), image);
        for (const Bytes& set : Commands(-1))
            EXPECT_EQ(set[0], 0xE4);
    }
}


// The first status answer names 0xD3 as it crosses the wire: it is read again (one GET more than a
// clean run), never taken for the status, and the image is programmed all the same.
TEST_F(WholeImage, AStatusAnswerNamingAnotherReportOnTheWireIsReadAgain)
{
    const Bytes image = Pattern(256, 3);
    auto gets = [this](std::uint8_t id_I) {
        int count = 0;
        for (const SimWireRecord& r : host->Transcript())
            count += r.direction == ESimWireDirection::eGet && r.ok && !r.bytes.empty() && r.bytes[0] == id_I;
        return count;
    };
    MakeBoard(ESimImageKind::eIntelHex, image);
    ASSERT_TRUE(device->ProgramBoard());
    const int clean = gets(0xE4);
    MakeBoard(ESimImageKind::eIntelHex, image);
    host->SetWireTamper([spoiled = false](const std::string&, Bytes& bytes, bool&) mutable {
        if (!spoiled && !bytes.empty() && bytes[0] == 0xE4) {
            bytes[0] = 0xD3;
            spoiled = true;
        }
    });
    ASSERT_TRUE(device->ProgramBoard());
    EXPECT_EQ(gets(0xD3), 1);
    EXPECT_EQ(gets(0xE4), clean);
    EXPECT_EQ(loader->Flash(0x8000, image.size()), image);
}

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
        EXPECT_EQ(p[13], SimCrc8Airoha(payload.data(), payload.size()));
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
