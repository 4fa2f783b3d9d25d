#include "FWUpdater/CDiscovery.h"
#include "Settings/SettingsParser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

const std::uint32_t V = DefaultVendorId();

// "vid:pid interface topology sectors usageId/usagePg init intoBLMode update", "V": the default vid.
std::string Board(const CDevice& d_I, std::size_t b_I)
{
    char vid[16], rest[256];
    std::snprintf(vid, sizeof vid, "%X", d_I.mVid[b_I]);
    std::snprintf(rest, sizeof rest, ":%X if%d top%d sec%u use%X/%X init%d bl%d %s", d_I.mPid[b_I],
                  d_I.mInterface[b_I], d_I.mTopology[b_I], d_I.mSectors[b_I], d_I.mUsageId[b_I], d_I.mUsagePg[b_I],
                  d_I.mInitEeprom[b_I], d_I.mIntoBLMode[b_I], d_I.mUpdate[b_I].c_str());
    return (d_I.mVid[b_I] == V ? std::string("V") : std::string(vid)) + rest;
}

const char* const kFresh = "0:0 if0 top1 sec0 use0/0 init0 bl1 ";

std::string Describe(const CDevice& d_I)
{
    return d_I.mName + (d_I.mTouchSupported ? " +touch" : "") + (d_I.mBluetoothSupported ? " +bluetooth" : "")
           + (d_I.mLoaderMode ? " loader" : "") + " | " + Board(d_I, 0) + " | " + Board(d_I, 1) + " | "
           + Board(d_I, 2);
}

std::string Expected(const std::string& flags_I, const std::string& pen_I = kFresh,
                     const std::string& touch_I = kFresh, const std::string& bluetooth_I = kFresh)
{
    return flags_I + " | " + pen_I + " | " + touch_I + " | " + bluetooth_I;
}

} // namespace

TEST(TopologyValues, HexadecimalStringsAndInterfaceNames)
{
    const std::pair<const char*, std::uint32_t> hex[] = {
        {"1a2b", 0x1A2B}, {"1A2B", 0x1A2B}, {"0x1A2B", 0x1A2B}, {"0X1a2b", 0x1A2B}, {" \t0x1A2Bzz", 0x1A2B},
        {"FFFFFFFF", 0xFFFFFFFF}, {"00000000FF", 0xFF}, {"0", 0}, {"", 7}, {"zz", 7}, {"0x", 7}, {"-1", 7},
        {"100000000", 7}, // more than 32 bits
    };
    for (const auto& [text, value] : hex)
        EXPECT_EQ(CDiscovery::ParseHex(text, 7), value) << text;
    const std::pair<const char*, int> interfaces[] = {{"HID", 1}, {"BULK", 2}, {"I2C", 3}, {"", 1}, {"hid", 0},
                                                      {"HID ", 0}};
    for (const auto& [name, kind] : interfaces)
        EXPECT_EQ(CDiscovery::ParseInterfaceKind(name), kind) << name;
}

TEST(TopologyValues, ModelDescriptions)
{
    const std::pair<const char*, std::string> cases[] = {
        // An empty board map takes every default (the default vendor id too); a missing one stays fresh.
        {R"({"name":"M","penBoard":{"vid":"0x1A2B","pid":"zz"},"touchBoard":{}})",
         Expected("M +touch", "1A2B:0 if1 top1 sec0 use0/0 init0 bl1 ", "V:0 if1 top1 sec0 use0/0 init0 bl1 ")},
        // sectors: the low 32 bits of 2^32 + 2; topology: the low 8 bits of 258.
        {R"({"name":"All","bluetoothBoard":{"vid":"ABCD","pid":"0x0042","interface":"BULK","sectors":4294967298,
             "init":true,"topology":258,"usageId":"0x0A","usagePg":"ff00","update":"bt.bin","intoBLMode":false}})",
         Expected("All +bluetooth", kFresh, kFresh, "ABCD:42 if2 top2 sec2 useA/FF00 init1 bl0 bt.bin")},
        // Values of the wrong type count as missing.
        {R"({"name":1,"penBoard":{"vid":1234,"pid":"0x10","interface":1,"sectors":"32","init":1,"topology":"3",
             "usageId":1,"update":7,"intoBLMode":"false"}})",
         Expected("", "V:10 if1 top1 sec0 use0/0 init0 bl1 ")},
        // A board that is not a map is absent; null counts as missing.
        {R"({"name":"E","penBoard":"x","touchBoard":null,"bluetoothBoard":[1]})", Expected("E")},
        // The loader board replaces the pen board's identity, not its update file or intoBLMode.
        {R"({"name":"L","penBoard":{"vid":"0x1111","pid":"0x2222","interface":"I2C","sectors":9,"init":true,
             "topology":5,"usageId":"1","usagePg":"FF0D","update":"l.pen","intoBLMode":false},
             "loaderBoard":{"pid":"0x0042","sectors":32,"usagePg":"FF00","update":"x","intoBLMode":true}})",
         Expected("L loader", "V:42 if1 top1 sec32 use0/FF00 init0 bl0 l.pen")},
    };
    for (const auto& [model, expected] : cases) {
        const auto map = AsMap(ParseSettings(model));
        ASSERT_NE(map, nullptr) << model;
        EXPECT_EQ(Describe(CDiscovery::DescriptionFromSettings(*map)), expected) << model;
    }
}

TEST(TopologyTable, KeysAreVendorPlusProductIdOfEachBoard)
{
    using Keys = std::vector<std::pair<std::uint32_t, std::string>>;
    const std::pair<const char*, Keys> cases[] = {
        {R"([{"name":"T","penBoard":{"pid":"10"},"touchBoard":{"pid":"20"},"bluetoothBoard":{"pid":"30"}}])",
         {{V + 0x10, "T"}, {V + 0x20, "T"}, {V + 0x30, "T"}}},
        {R"([{"name":"T","penBoard":{"pid":"10"},"touchBoard":{"pid":"10"},"bluetoothBoard":{"pid":"20"}}])",
         {{V + 0x10, "T"}, {V + 0x20, "T"}}}, // boards sharing the pen's ids share its key
        // Sums collide: the later element wins.
        {R"([{"name":"A","penBoard":{"vid":"1","pid":"2"}}, {"name":"B","penBoard":{"vid":"2","pid":"1"}}])",
         {{3, "B"}}},
        {R"([1, "x", null, [], {"name":"M","penBoard":{"pid":"5"}}, true])", {{V + 5, "M"}}},
        {R"([{"name":"Nothing"}])", {{0, "Nothing"}}},
        {R"({"name":"M","penBoard":{"pid":"5"}})", {}}, // only an array is a topology
        {"[]", {}},
    };
    for (const auto& [document, expected] : cases) {
        Keys keys;
        for (const auto& [key, device] : CDiscovery::BuildTopologyMap(ParseSettings(document)))
            keys.emplace_back(key, device.mName);
        EXPECT_EQ(keys, expected) << document;
    }
    EXPECT_TRUE(CDiscovery::BuildTopologyMap(nullptr).empty()
                && CDiscovery::BuildTopologyMap(CSettingsString::Create("x")).empty());
}

TEST(TopologyLoad, LoadLookUpReloadAndFailures)
{
    CTempDir dir;
    const std::string path = dir.File("t\xC3\xB6pology.ini"); // paths are UTF-8
    EXPECT_EQ(CDiscovery().GetTopologyPath(), "./fw_loader.ini");
    WriteFile(path, R"(// two descriptions of one model
[
    {"name": "A", "penBoard": {"vid": "0x0001", "pid": "0x1234", "interface": "HID", "sectors": 32,
                               "usageId": "1", "usagePg": "FF0D", "update": "a.pen"}},
    {"name": "A", "penBoard": {"update": "a.pen"},
     "loaderBoard": {"pid": "0042", "sectors": 32, "usagePg": "FF00"}},
])");
    CDiscovery discovery(path);
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetTopologyMap().size(), 2u);
    EXPECT_EQ(Describe(discovery.GetDeviceDescription(0x10001, 0xFFFF1234)), // both ids masked to 16 bits
              Expected("A", "1:1234 if1 top1 sec32 use1/FF0D init0 bl1 a.pen"));
    EXPECT_EQ(discovery.GetDeviceDescription(0x1234, 0x0001).mName, "A"); // the sum is the key
    EXPECT_EQ(Describe(discovery.GetDeviceDescription(V, 0x0042)),
              Expected("A loader", "V:42 if1 top1 sec32 use0/FF00 init0 bl1 a.pen"));
    EXPECT_EQ(Describe(discovery.GetDeviceDescription(V, 0x9999)), Expected(""));

    WriteFile(path, R"([{"name":"New","penBoard":{"pid":"2"}}])");
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetDeviceDescription(V, 0x0042).mName + discovery.GetDeviceDescription(V, 2).mName, "New");
    for (const std::string& text : std::vector<std::string>{"", "// nothing", "{\"name\":\"map, not array\"}",
                                                            "[{\"name\":\"x\",}, ,]", "[{\"name\":\"unterminated}]",
                                                            "[]", std::string(300000, '[')}) {
        WriteFile(path, text);
        EXPECT_FALSE(discovery.LoadTopology()) << text.substr(0, 40);
        EXPECT_TRUE(discovery.GetTopologyMap().empty());
    }
    EXPECT_FALSE(CDiscovery(dir.File("missing.ini")).LoadTopology()
                 || CDiscovery(dir.Path().string()).LoadTopology()); // nor a folder
}

TEST(TopologyLoad, UpdateDeviceListRetriesAMissingFileAndNeverReloadsALoadedOne)
{
    CTempDir dir;
    const std::string path = dir.File("fw_loader.ini");
    CDiscovery discovery(path);
    EXPECT_TRUE(discovery.UpdateDeviceList()); // no file yet
    EXPECT_TRUE(discovery.GetTopologyMap().empty());
    for (const char* name : {"A", "B"}) {
        WriteFile(path, std::string(R"([{"name":")") + name + R"(","penBoard":{"pid":"1"}}])");
        EXPECT_TRUE(discovery.UpdateDeviceList());
        EXPECT_EQ(discovery.GetDeviceDescription(V, 1).mName, "A"); // kept for the discovery's life
    }
}

TEST(TopologyExample, ExampleFileLoadsIntoTheDocumentedDescriptions)
{
    CDiscovery discovery(VFWU_SOURCE_DIR "/data/fw_loader.example.ini");
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetTopologyMap().size(), 8u); // three models (one with three boards), three loaders
    const std::string pro = Expected("Vellum Pro M +touch +bluetooth",
                                     "V:201 if1 top2 sec64 use1/FF0D init0 bl1 pro_m.vel",
                                     "V:202 if3 top2 sec16 use4/D init0 bl0 pro_m_touch.hex",
                                     "V:203 if1 top2 sec0 use1/FF0B init0 bl1 pro_m.airoflash");
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x0201, pro}, {0x0202, pro}, {0x0203, pro}, // found by any of its boards
        {0x0300, Expected("Vellum Note loader", "V:300 if2 top1 sec48 use0/0 init0 bl1 note.pen")},
    };
    for (const auto& [pid, expected] : cases)
        EXPECT_EQ(Describe(discovery.GetDeviceDescription(V, pid)), expected) << pid;
}
