#include "BridgeFixture.h"

#include "FWUpdater/ByteOrder.h"

using I2CTunnel = BridgeFixture;

TEST_F(I2CTunnel, WriteGoesOutInOneRequestOf265Bytes)
{
    MakeBridge();
    Bytes report = Pattern(261, 5);
    report[0] = 0xD2;
    ASSERT_TRUE(device->WriteFeature(report));
    EXPECT_EQ(board->sets, std::vector<Bytes>{report});
    // On the wire (page 0xFF0D: not wrapped): B2 01, the length little-endian, the report; then
    // the status GET after 20 ms, echoing the report's id.
    Bytes request{0xB2, 0x01, 0x05, 0x01};
    request.insert(request.end(), report.begin(), report.end());
    const std::vector<SimWireRecord> wire = host->Transcript();
    ASSERT_EQ(wire.size(), 2u);
    EXPECT_EQ(wire[0].bytes, request);
    EXPECT_EQ(wire[1].direction, ESimWireDirection::eGet);
    EXPECT_EQ(wire[1].bytes, (Bytes{0xB2, 0xF2, 0, 0, 0, 0xD2}));
    EXPECT_EQ(clock->sleeps(), (Sleeps{20}));
    // A short report is padded with zeros; 262 bytes are refused without I/O.
    host->ClearTranscript();
    ASSERT_TRUE(device->WriteFeature({0x12, 1, 2, 3, 4}));
    Bytes padded(265, 0);
    std::copy_n(Bytes{0xB2, 0x01, 0x05, 0x00, 0x12, 1, 2, 3, 4}.begin(), 9, padded.begin());
    EXPECT_EQ(host->Transcript().at(0).bytes, padded);
    host->ClearTranscript();
    EXPECT_FALSE(device->WriteFeature(Bytes(262, 0x11)));
    EXPECT_EQ(host->TranscriptSize(), 0u);
}

// The status GET comes 20 ms after the request; a busy bridge is polled every 20 ms, at most 60 times.
TEST_F(I2CTunnel, WriteStatuses)
{
    auto tamper = [this](std::function<void(Bytes&)> change_I) { bridge->SetAnswerTamper(0xB2, change_I); };
    struct Case
    {
        const char* what;
        std::function<void()> setup;
        bool ok;
        Sleeps sleeps = {20};
    };
    const Case cases[] = {
        {"F2 echoing the id: done", [] {}, true},
        {"F2 echoing another id", [&] { tamper([](Bytes& a) { a[5] = 0x99; }); }, false},
        {"F0: done without echo", [this] { bridge->Config().writeEcho = false; }, true},
        {"F3: the board refused", [this] { board->acceptSets = false; }, false},
        {"an unknown status", [&] { tamper([](Bytes& a) { a[1] = 0x42; }); }, false},
        {"another report's id in byte 0", [&] { tamper([](Bytes& a) { a[0] = 0xB1; }); }, false},
        {"a status answer cut short", [&] { tamper([](Bytes& a) { a.resize(2); }); }, false},
        {"the request not sent", [this] { bridge->FailSets(0xB2, 1); }, false},
        {"busy for three polls", [this] { bridge->Config().busyPolls = 3; }, true, Sleeps(4, 20)},
        {"busy for ever", [this] { bridge->Config().busyPolls = -1; }, false, Sleeps(60, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakeBridge();
        c.setup();
        EXPECT_EQ(device->WriteFeature({0x12, 0, 0, 0, 0}), c.ok);
        EXPECT_EQ(clock->sleeps(), c.sleeps);
        if (c.sleeps.size() > 1) { // one poll after each wait
            EXPECT_EQ(WireCount(ESimWireDirection::eGet, 0xB2), static_cast<int>(c.sleeps.size()));
        }
    }
}

// A read answer is used only when it has its full length and the asked-for id; otherwise the
// caller's buffer stays as it was.
TEST_F(I2CTunnel, ReadAnswers)
{
    MakeBridge();
    const Bytes request{0x17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes report = request;
    ASSERT_TRUE(device->ReadFeature(report));
    Bytes expected(board->answer.begin(), board->answer.begin() + 13);
    expected[0] = 0x17;
    EXPECT_EQ(report, expected);
    EXPECT_EQ(host->Transcript().at(0).bytes, (Bytes{0xB1, 0x01, 0x17, 0x0D, 0x00}));
    EXPECT_EQ(host->Transcript().at(1).bytes.size(), 266u);
    EXPECT_EQ(board->gets, std::vector<Bytes>{request});

    auto tamper = [this](std::function<void(Bytes&)> change_I) { bridge->SetAnswerTamper(0xB1, change_I); };
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
        {"length 12", [&] { tamper([](Bytes& a) { PutU16LE(a, 3, 12); }); }, false},
        {"length beyond the answer", [&] { tamper([](Bytes& a) { PutU16LE(a, 3, 0xFFFF); }); }, false},
        {"another id", [&] { tamper([](Bytes& a) { a[5] = 0x18; }); }, false},
        {"a bridge answer cut short", [&] { tamper([](Bytes& a) { a.resize(6); }); }, false},
        {"F3: the board failed", [&] { board->answerGets = false; }, false},
        {"the board gave fewer bytes than asked", [&] { board->answer.resize(7); }, false},
        {"a bridge busy for ever", [&] { bridge->Config().busyPolls = -1; }, false},
        {"F0: done, no data", [&] { tamper([](Bytes& a) { a[1] = 0xF0; }); }, true},
    };
    for (const auto& [what, spoil, ok] : cases) {
        SCOPED_TRACE(what);
        MakeBridge();
        spoil();
        report = request;
        EXPECT_EQ(device->ReadFeature(report), ok);
        EXPECT_EQ(report, request);
    }
    // A longer read is asked for as 261 bytes.
    MakeBridge();
    report.assign(300, 0);
    report[0] = 0x18;
    ASSERT_TRUE(device->ReadFeature(report));
    EXPECT_EQ(host->Transcript().at(0).bytes, (Bytes{0xB1, 0x01, 0x18, 0x05, 0x01}));
    expected.assign(board->answer.begin(), board->answer.end());
    expected[0] = 0x18;
    expected.resize(300, 0);
    EXPECT_EQ(report, expected);
}

TEST_F(I2CTunnel, LoaderModeIsAskedOnEveryCall)
{
    MakeBridge();
    const int before = bridge->ModeQueries();
    EXPECT_TRUE(device->IsFirmwareLoader());
    EXPECT_TRUE(device->IsFirmwareLoader());
    EXPECT_EQ(bridge->ModeQueries(), before + 2);
    EXPECT_EQ(bridge->LastModeQuery(), (Bytes{0xB0, 0xFF, 0xFF}));
    EXPECT_EQ(host->Transcript().back().bytes, (Bytes{0xB0, 0x00, 0x00}));
    bridge->SetAnswerTamper(0xB0, [](Bytes& a) { a[2] = 0x01; }); // anything but 00 00 = normal
    EXPECT_FALSE(device->IsFirmwareLoader());
    bridge->SetAnswerTamper(0xB0, [](Bytes& a) { a.resize(1); }); // a short answer proves nothing
    EXPECT_FALSE(device->IsFirmwareLoader());
    bridge->SetAnswerTamper(0xB0, nullptr);
    bridge->FailGets(0xB0, 1);
    EXPECT_FALSE(device->IsFirmwareLoader()); // a failed query keeps the last known mode
    EXPECT_TRUE(device->IsFirmwareLoader());
}

// Into the loader: B0 00 00 every 500 ms until the board answers "loader"; out of it: no pauses.
// Both give up after 60 requests. Leaving the loader ends an update as a success, so one garbled
// mode answer must not count: the board must answer "normal" twice in a row, and an answer to
// another report is no answer.
TEST_F(I2CTunnel, ModeSwitches)
{
    struct Case
    {
        const char* what;
        bool into;
        int after; // requests the board needs, -1: never switches
        int requests;
        Sleeps sleeps;
        std::function<void(Bytes&)> garble = nullptr; // every other mode answer
        bool failTheNextQuery = false; // the mode remembered from a garbled answer must not count either
    };
    const Case cases[] = {
        {"into, on the third request", true, 3, 3, Sleeps(3, 500)},
        {"into, never", true, -1, 60, Sleeps(60, 500)},
        {"out, never", false, -1, 60, {}},
        {"out, never, a bit of 00 00 flipped", false, -1, 60, {}, [](Bytes& a) { a[1] ^= 0x04; }},
        {"out, never, another report's answer", false, -1, 60, {}, [](Bytes& a) { a = {0xB1, 0x01, 0x01}; }},
        {"out, never, garbled, then a failed query", false, -1, 60, {}, [](Bytes& a) { a[2] ^= 0x01; }, true},
        {"out, on the second request", false, 2, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimI2CBridgeConfig config;
        config.startInLoader = !c.into;
        (c.into ? config.enterAfterWrites : config.leaveAfterWrites) = c.after;
        MakeBridge(config);
        int queries = 0;
        if (c.garble) {
            bridge->SetAnswerTamper(0xB0, [&](Bytes& a) {
                if (queries++ % 2 == 0)
                    c.garble(a);
            });
        }
        if (c.failTheNextQuery)
            bridge->FailGets(0xB0, 1, 1);
        if (c.into)
            device->Close();
        EXPECT_EQ(c.into ? device->SwitchToBLMode() : device->SwitchFromBLMode(), c.after > 0);
        EXPECT_EQ(c.into ? bridge->EnterRequests() : bridge->LeaveRequests(), c.requests);
        EXPECT_EQ(clock->sleeps(), c.sleeps);
        EXPECT_EQ(bridge->InLoader(), c.into == (c.after > 0));
        EXPECT_EQ(host->OpenHandles(), c.into ? 0 : 1);
    }
    // Already out: nothing more is sent; without an open interface nothing is tried.
    EXPECT_TRUE(device->SwitchFromBLMode());
    EXPECT_EQ(bridge->LeaveRequests(), 2);
    device->Close();
    EXPECT_FALSE(device->SwitchFromBLMode());
}
