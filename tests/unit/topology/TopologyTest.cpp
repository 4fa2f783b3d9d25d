#include "FWUpdater/CDiscovery.h"
#include "Settings/SettingsParser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

const std::uint32_t V = DefaultVendorId();

// A discovery over a topology file written into a fresh temporary directory.
class CTopologyFile
{
public:
    explicit CTopologyFile(const std::string& text_I) : mPath(mDir.File("fw_loader.ini"))
    {
        WriteFile(mPath, text_I);
    }
    const std::string& Path() const { return mPath; }

private:
    CTempDir mDir;
    std::string mPath;
};

CDiscovery::TopologyMap TableOf(const std::string& text_I)
{
    return CDiscovery::BuildTopologyMap(ParseSettings(text_I));
}

// The one description of a one-model document.
CDevice ModelOf(const std::string& modelText_I)
{
    const auto map = AsMap(ParseSettings(modelText_I));
    EXPECT_NE(map, nullptr) << modelText_I;
    return map ? CDiscovery::DescriptionFromSettings(*map) : CDevice();
}

// Lets a test fill the device list as a platform subclass would.
class CTestDiscovery : public CDiscovery
{
public:
    using CDiscovery::CDiscovery;
    std::vector<std::shared_ptr<CDevice>>& Devices() { return mDevices; }
    int mLoads = 0;
};

} // namespace

// ---- the default vendor id --------------------------------------------------------------

TEST(TopologyBuild, DefaultVendorIdIsASixteenBitIdOtherThanZero)
{
    EXPECT_GT(V, 0u);
    EXPECT_LE(V, 0xFFFFu);
}

// ---- fresh records ----------------------------------------------------------------------

TEST(TopologyRecord, FreshRecordDefaults)
{
    const CDevice d;
    EXPECT_EQ(d.mName, "");
    for (std::size_t b = 0; b < kBoardCount; ++b) {
        EXPECT_EQ(d.mUpdate[b], "");
        EXPECT_EQ(d.mVid[b], 0u);
        EXPECT_EQ(d.mPid[b], 0u);
        EXPECT_EQ(d.mInterface[b], 0);
        EXPECT_EQ(d.mTopology[b], 1);
        EXPECT_EQ(d.mSectors[b], 0u);
        EXPECT_EQ(d.mUsageId[b], 0u);
        EXPECT_EQ(d.mUsagePg[b], 0u);
        EXPECT_FALSE(d.mInitEeprom[b]);
        EXPECT_TRUE(d.mIntoBLMode[b]);
    }
    EXPECT_EQ(d.mPenInterface, nullptr);
    EXPECT_EQ(d.mTouchInterface, nullptr);
    EXPECT_EQ(d.mBluetoothInterface, nullptr);
    EXPECT_FALSE(d.mTouchSupported);
    EXPECT_FALSE(d.mBluetoothSupported);
    EXPECT_FALSE(d.mLoaderMode);
}

// ---- value reading ----------------------------------------------------------------------

TEST(TopologyValues, HexadecimalStrings)
{
    EXPECT_EQ(CDiscovery::ParseHex("1a2b", 7), 0x1A2Bu);
    EXPECT_EQ(CDiscovery::ParseHex("1A2B", 7), 0x1A2Bu);
    EXPECT_EQ(CDiscovery::ParseHex("0x1A2B", 7), 0x1A2Bu);
    EXPECT_EQ(CDiscovery::ParseHex("0X1a2b", 7), 0x1A2Bu);
    EXPECT_EQ(CDiscovery::ParseHex(" \t0x1A2Bzz", 7), 0x1A2Bu);
    EXPECT_EQ(CDiscovery::ParseHex("FFFFFFFF", 7), 0xFFFFFFFFu);
    EXPECT_EQ(CDiscovery::ParseHex("00000000FF", 7), 0xFFu); // leading zeros do not overflow
    EXPECT_EQ(CDiscovery::ParseHex("0", 7), 0u);
    EXPECT_EQ(CDiscovery::ParseHex("", 7), 7u);
    EXPECT_EQ(CDiscovery::ParseHex("zz", 7), 7u);
    EXPECT_EQ(CDiscovery::ParseHex("0x", 7), 7u);
    EXPECT_EQ(CDiscovery::ParseHex("-1", 7), 7u);
    EXPECT_EQ(CDiscovery::ParseHex("100000000", 7), 7u); // more than 32 bits
}

TEST(TopologyValues, InterfaceNames)
{
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("HID"), 1);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("BULK"), 2);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("I2C"), 3);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind(""), 1);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("hid"), 0);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("HID "), 0);
    EXPECT_EQ(CDiscovery::ParseInterfaceKind("USB"), 0);
}

TEST(TopologyValues, BoardKeysAndDefaults)
{
    const CDevice d = ModelOf(R"({"name":"M","penBoard":{"vid":"0x1A2B","pid":"zz"},"touchBoard":{}})");
    EXPECT_EQ(d.mName, "M");
    EXPECT_EQ(d.mVid[eBoardPen], 0x1A2Bu);
    EXPECT_EQ(d.mPid[eBoardPen], 0u);
    EXPECT_EQ(d.mInterface[eBoardPen], 1);
    EXPECT_EQ(d.mTopology[eBoardPen], 1);
    EXPECT_TRUE(d.mIntoBLMode[eBoardPen]);
    // an empty board map takes every default, the default vendor id included
    EXPECT_TRUE(d.mTouchSupported);
    EXPECT_EQ(d.mVid[eBoardTouch], V);
    EXPECT_EQ(d.mInterface[eBoardTouch], 1);
    // a missing board keeps the fresh values: vendor id 0, transport 0
    EXPECT_FALSE(d.mBluetoothSupported);
    EXPECT_EQ(d.mVid[eBoardBluetooth], 0u);
    EXPECT_EQ(d.mInterface[eBoardBluetooth], 0);
    EXPECT_FALSE(d.mLoaderMode);
}

TEST(TopologyValues, EveryBoardKey)
{
    const CDevice d = ModelOf(R"({"name":"All","bluetoothBoard":{
        "vid":"ABCD","pid":"0x0042","interface":"BULK","sectors":4294967298,"init":true,
        "topology":258,"usageId":"0x0A","usagePg":"ff00","update":"bt.airoflash","intoBLMode":false}})");
    const std::size_t b = eBoardBluetooth;
    EXPECT_TRUE(d.mBluetoothSupported);
    EXPECT_FALSE(d.mTouchSupported);
    EXPECT_EQ(d.mVid[b], 0xABCDu);
    EXPECT_EQ(d.mPid[b], 0x42u);
    EXPECT_EQ(d.mInterface[b], 2);
    EXPECT_EQ(d.mSectors[b], 2u);  // low 32 bits of 2^32 + 2
    EXPECT_TRUE(d.mInitEeprom[b]);
    EXPECT_EQ(d.mTopology[b], 2);  // low 8 bits of 258
    EXPECT_EQ(d.mUsageId[b], 0x0Au);
    EXPECT_EQ(d.mUsagePg[b], 0xFF00u);
    EXPECT_EQ(d.mUpdate[b], "bt.airoflash");
    EXPECT_FALSE(d.mIntoBLMode[b]);
    EXPECT_EQ(d.mVid[eBoardPen], 0u); // no pen board
}

TEST(TopologyValues, WrongTypesCountAsMissing)
{
    const CDevice d = ModelOf(R"({"name":1,"penBoard":{"vid":1234,"pid":"0x10","interface":1,"sectors":"32",
        "init":1,"topology":"3","usageId":1,"update":7,"intoBLMode":"false"}})");
    EXPECT_EQ(d.mName, "");
    EXPECT_EQ(d.mVid[0], V);
    EXPECT_EQ(d.mPid[0], 0x10u);
    EXPECT_EQ(d.mInterface[0], 1);
    EXPECT_EQ(d.mSectors[0], 0u);
    EXPECT_FALSE(d.mInitEeprom[0]);
    EXPECT_EQ(d.mTopology[0], 1);
    EXPECT_EQ(d.mUsageId[0], 0u);
    EXPECT_EQ(d.mUpdate[0], "");
    EXPECT_TRUE(d.mIntoBLMode[0]);

    // a board that is not a map is absent; null counts as missing
    const CDevice e = ModelOf(R"({"name":"E","penBoard":"x","touchBoard":null,"bluetoothBoard":[1]})");
    EXPECT_EQ(e.mVid[0], 0u);
    EXPECT_FALSE(e.mTouchSupported);
    EXPECT_FALSE(e.mBluetoothSupported);
}

TEST(TopologyValues, InterfaceNamesAreCaseSensitive)
{
    EXPECT_EQ(ModelOf(R"({"penBoard":{"interface":"hid"}})").mInterface[0], 0);
    EXPECT_EQ(ModelOf(R"({"penBoard":{"interface":""}})").mInterface[0], 1);
    EXPECT_EQ(ModelOf(R"({"penBoard":{"interface":"I2C"}})").mInterface[0], 3);
}

TEST(TopologyValues, LoaderBoardOverwritesThePenIdentityOnly)
{
    const CDevice d = ModelOf(R"({"name":"L",
        "penBoard":{"vid":"0x1111","pid":"0x2222","interface":"I2C","sectors":9,"init":true,"topology":5,
                    "usageId":"1","usagePg":"FF0D","update":"l.pen","intoBLMode":false},
        "loaderBoard":{"pid":"0x0042","sectors":32,"usagePg":"FF00","update":"ignored","intoBLMode":true}})");
    EXPECT_TRUE(d.mLoaderMode);
    EXPECT_EQ(d.mVid[0], V); // the default vendor id, not the penBoard's
    EXPECT_EQ(d.mPid[0], 0x42u);
    EXPECT_EQ(d.mInterface[0], 1);
    EXPECT_EQ(d.mSectors[0], 32u);
    EXPECT_FALSE(d.mInitEeprom[0]);
    EXPECT_EQ(d.mTopology[0], 1);
    EXPECT_EQ(d.mUsageId[0], 0u);
    EXPECT_EQ(d.mUsagePg[0], 0xFF00u);
    EXPECT_EQ(d.mUpdate[0], "l.pen"); // stays as penBoard gave it
    EXPECT_FALSE(d.mIntoBLMode[0]);
}

// ---- the table --------------------------------------------------------------------------

TEST(TopologyTable, KeysOfEveryBoard)
{
    const auto table = TableOf(R"([{"name":"T",
        "penBoard":{"pid":"10"},"touchBoard":{"pid":"20"},"bluetoothBoard":{"pid":"30"}}])");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.count(V + 0x10), 1u);
    EXPECT_EQ(table.count(V + 0x20), 1u);
    EXPECT_EQ(table.count(V + 0x30), 1u);
    EXPECT_EQ(table.at(V + 0x30).mName, "T");
}

TEST(TopologyTable, BoardsWithThePenBoardsIdsGiveOneEntry)
{
    const auto table = TableOf(R"([{"name":"T","penBoard":{"pid":"10"},"touchBoard":{"pid":"10"},
                                     "bluetoothBoard":{"pid":"10"}}])");
    EXPECT_EQ(table.size(), 1u);
}

TEST(TopologyTable, TouchAndBluetoothWithEqualKeysOverwriteEachOther)
{
    // Only the pen key is compared: touch and bluetooth store the same record under one key.
    const auto table = TableOf(R"([{"name":"T","penBoard":{"pid":"10"},"touchBoard":{"pid":"20"},
                                     "bluetoothBoard":{"pid":"20"}}])");
    EXPECT_EQ(table.size(), 2u);
}

TEST(TopologyTable, SumKeysCollideAndTheLaterElementWins)
{
    const auto table = TableOf(R"([{"name":"First","penBoard":{"vid":"1","pid":"2"}},
                                   {"name":"Second","penBoard":{"vid":"2","pid":"1"}}])");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(3).mName, "Second");
}

TEST(TopologyTable, ElementsThatAreNotMapsAreSkipped)
{
    const auto table = TableOf(R"([1, "x", null, [], {"name":"M","penBoard":{"pid":"5"}}, true])");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(V + 5).mName, "M");
}

TEST(TopologyTable, AModelWithoutBoardsIsStoredUnderZero)
{
    const auto table = TableOf(R"([{"name":"Nothing"}])");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(0).mName, "Nothing");
}

TEST(TopologyTable, OnlyAnArrayIsATopology)
{
    EXPECT_TRUE(TableOf(R"({"name":"M","penBoard":{"pid":"5"}})").empty());
    EXPECT_TRUE(CDiscovery::BuildTopologyMap(nullptr).empty());
    EXPECT_TRUE(CDiscovery::BuildTopologyMap(CSettingsString::Create("x")).empty());
    EXPECT_TRUE(TableOf("[]").empty());
}

// ---- loading and lookup -----------------------------------------------------------------

TEST(TopologyLoad, DefaultPathIsTheWorkingDirectoryFile)
{
    const CDiscovery discovery;
    EXPECT_EQ(discovery.GetTopologyPath(), "./fw_loader.ini");
}

TEST(TopologyLoad, LoadAndLookUp)
{
    const CTopologyFile file(R"(// two models
[
    {"name": "Model A", "penBoard": {"pid": "1234", "interface": "HID", "sectors": 32,
                                     "usageId": "1", "usagePg": "FF0D", "update": "a.pen"}},
    {"name": "Model A", "penBoard": {"update": "a.pen"},
     "loaderBoard": {"pid": "0042", "sectors": 32, "usagePg": "FF00"}},
])");
    CDiscovery discovery(file.Path());
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetTopologyMap().size(), 2u);

    const CDevice normal = discovery.GetDeviceDescription(V, 0x1234);
    EXPECT_EQ(normal.mName, "Model A");
    EXPECT_FALSE(normal.mLoaderMode);
    EXPECT_EQ(normal.mSectors[0], 32u);
    EXPECT_EQ(normal.mUsageId[0], 1u);
    EXPECT_EQ(normal.mUsagePg[0], 0xFF0Du);

    const CDevice loader = discovery.GetDeviceDescription(V, 0x0042);
    EXPECT_EQ(loader.mName, "Model A");
    EXPECT_TRUE(loader.mLoaderMode);
    EXPECT_EQ(loader.mVid[0], V);
    EXPECT_EQ(loader.mPid[0], 0x42u);
    EXPECT_EQ(loader.mInterface[0], 1);
    EXPECT_EQ(loader.mSectors[0], 32u);
    EXPECT_EQ(loader.mUsageId[0], 0u);
    EXPECT_EQ(loader.mUsagePg[0], 0xFF00u);
    EXPECT_EQ(loader.mUpdate[0], "a.pen");

    // unknown ids give a fresh record
    const CDevice unknown = discovery.GetDeviceDescription(V, 0x9999);
    EXPECT_EQ(unknown.mName, "");
    EXPECT_EQ(unknown.mTopology[0], 1);
}

TEST(TopologyLoad, LookupMasksBothIdsToSixteenBits)
{
    const CTopologyFile file(R"([{"name":"M","penBoard":{"vid":"0x0001","pid":"0x0002"}}])");
    CDiscovery discovery(file.Path());
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetDeviceDescription(0x10001, 0xFFFF0002).mName, "M");
    EXPECT_EQ(discovery.GetDeviceDescription(0x0002, 0x0001).mName, "M"); // the sum is the key
}

TEST(TopologyLoad, LookupReturnsACopy)
{
    const CTopologyFile file(R"([{"name":"M","penBoard":{"pid":"5"}}])");
    CDiscovery discovery(file.Path());
    ASSERT_TRUE(discovery.LoadTopology());
    CDevice copy = discovery.GetDeviceDescription(V, 5);
    copy.mName = "changed";
    copy.mLoaderMode = true;
    EXPECT_EQ(discovery.GetDeviceDescription(V, 5).mName, "M");
    EXPECT_FALSE(discovery.GetDeviceDescription(V, 5).mLoaderMode);
}

TEST(TopologyLoad, FailuresLeaveTheTableEmpty)
{
    CTempDir dir;
    const std::vector<std::string> texts = {"", "// nothing", "{\"name\":\"map, not array\"}", "[{\"name\":\"x\",}, ,]",
                                   "[{\"name\":\"unterminated}]", "[]", std::string(300000, '[')};
    for (const std::string& text : texts) {
        WriteFile(dir.File("fw_loader.ini"), text);
        CDiscovery discovery(dir.File("fw_loader.ini"));
        EXPECT_FALSE(discovery.LoadTopology()) << text.substr(0, 40);
        EXPECT_TRUE(discovery.GetTopologyMap().empty());
    }
    CDiscovery missing(dir.File("missing.ini"));
    EXPECT_FALSE(missing.LoadTopology());
}

TEST(TopologyLoad, ReloadReplacesTheTable)
{
    CTempDir dir;
    const std::string path = dir.File("fw_loader.ini");
    WriteFile(path, R"([{"name":"Old","penBoard":{"pid":"1"}}])");
    CDiscovery discovery(path);
    ASSERT_TRUE(discovery.LoadTopology());
    WriteFile(path, R"([{"name":"New","penBoard":{"pid":"2"}}])");
    ASSERT_TRUE(discovery.LoadTopology());
    EXPECT_EQ(discovery.GetDeviceDescription(V, 1).mName, "");
    EXPECT_EQ(discovery.GetDeviceDescription(V, 2).mName, "New");
    std::remove(path.c_str());
    EXPECT_FALSE(discovery.LoadTopology());
    EXPECT_TRUE(discovery.GetTopologyMap().empty());
}

TEST(TopologyLoad, UpdateDeviceListRetriesAMissingFileAndNeverReloadsALoadedOne)
{
    CTempDir dir;
    const std::string path = dir.File("fw_loader.ini");
    CTestDiscovery discovery(path);
    discovery.Devices().push_back(std::make_shared<CDevice>());

    EXPECT_TRUE(discovery.UpdateDeviceList()); // no file yet
    EXPECT_TRUE(discovery.GetTopologyMap().empty());
    EXPECT_TRUE(discovery.GetDevices().empty());

    WriteFile(path, R"([{"name":"A","penBoard":{"pid":"1"}}])");
    EXPECT_TRUE(discovery.UpdateDeviceList());
    EXPECT_EQ(discovery.GetDeviceDescription(V, 1).mName, "A");

    WriteFile(path, R"([{"name":"B","penBoard":{"pid":"1"}}])");
    EXPECT_TRUE(discovery.UpdateDeviceList());
    EXPECT_EQ(discovery.GetDeviceDescription(V, 1).mName, "A"); // kept for the discovery's life
}

TEST(TopologyDevices, DefaultDevicePrefersTheFirstInLoaderMode)
{
    CTestDiscovery discovery;
    EXPECT_EQ(discovery.GetDefaultDevice(), nullptr);

    auto normal = std::make_shared<CDevice>();
    auto loader1 = std::make_shared<CDevice>();
    auto loader2 = std::make_shared<CDevice>();
    loader1->mLoaderMode = true;
    loader2->mLoaderMode = true;
    discovery.Devices() = {normal};
    EXPECT_EQ(discovery.GetDefaultDevice(), normal);
    discovery.Devices() = {normal, loader1, loader2};
    EXPECT_EQ(discovery.GetDefaultDevice(), loader1);
    discovery.Devices() = {nullptr, normal};
    EXPECT_EQ(discovery.GetDefaultDevice(), nullptr); // the first entry, as it is
}

// ---- the shipped example ----------------------------------------------------------------

TEST(TopologyExample, ExampleFileLoadsIntoTheDocumentedDescriptions)
{
    CDiscovery discovery(VFWU_SOURCE_DIR "/data/fw_loader.example.ini");
    ASSERT_TRUE(discovery.LoadTopology());
    // six elements: three normal-mode models (one with three boards) and three loaders
    EXPECT_EQ(discovery.GetTopologyMap().size(), 8u);

    const CDevice sketch = discovery.GetDeviceDescription(V, 0x0101);
    EXPECT_EQ(sketch.mName, "Vellum Sketch S");
    EXPECT_FALSE(sketch.mLoaderMode);
    EXPECT_EQ(sketch.mVid[0], V);
    EXPECT_EQ(sketch.mInterface[0], 1);
    EXPECT_EQ(sketch.mSectors[0], 32u);
    EXPECT_EQ(sketch.mUsageId[0], 1u);
    EXPECT_EQ(sketch.mUsagePg[0], 0xFF0Du);
    EXPECT_EQ(sketch.mUpdate[0], "sketch_s.pen");
    EXPECT_FALSE(sketch.mTouchSupported);
    EXPECT_FALSE(sketch.mBluetoothSupported);

    const CDevice sketchLoader = discovery.GetDeviceDescription(V, 0x0100);
    EXPECT_EQ(sketchLoader.mName, "Vellum Sketch S");
    EXPECT_TRUE(sketchLoader.mLoaderMode);
    EXPECT_EQ(sketchLoader.mPid[0], 0x0100u);
    EXPECT_EQ(sketchLoader.mInterface[0], 1);
    EXPECT_EQ(sketchLoader.mSectors[0], 32u);
    EXPECT_EQ(sketchLoader.mUsageId[0], 0u);
    EXPECT_EQ(sketchLoader.mUsagePg[0], 0xFF00u);
    EXPECT_EQ(sketchLoader.mUpdate[0], "sketch_s.pen");

    // Model 2 is found by any of its three boards
    for (std::uint32_t pid : {0x0201u, 0x0202u, 0x0203u}) {
        const CDevice pro = discovery.GetDeviceDescription(V, pid);
        EXPECT_EQ(pro.mName, "Vellum Pro M") << pid;
        EXPECT_TRUE(pro.mTouchSupported);
        EXPECT_TRUE(pro.mBluetoothSupported);
        EXPECT_FALSE(pro.mLoaderMode);
        EXPECT_EQ(pro.mInterface[eBoardTouch], 3);
        EXPECT_FALSE(pro.mIntoBLMode[eBoardTouch]);
        EXPECT_TRUE(pro.mIntoBLMode[eBoardPen]);
        EXPECT_EQ(pro.mTopology[eBoardPen], 2);
        EXPECT_EQ(pro.mTopology[eBoardTouch], 2);
        EXPECT_EQ(pro.mTopology[eBoardBluetooth], 2);
        EXPECT_EQ(pro.mSectors[eBoardTouch], 16u);
        EXPECT_EQ(pro.mUpdate[eBoardBluetooth], "pro_m.airoflash");
    }
    const CDevice proLoader = discovery.GetDeviceDescription(V, 0x0200);
    EXPECT_TRUE(proLoader.mLoaderMode);
    EXPECT_EQ(proLoader.mTopology[0], 2);
    EXPECT_EQ(proLoader.mUpdate[0], "pro_m.vel");
    EXPECT_FALSE(proLoader.mTouchSupported);

    const CDevice note = discovery.GetDeviceDescription(V, 0x0301);
    EXPECT_EQ(note.mName, "Vellum Note");
    EXPECT_TRUE(note.mInitEeprom[0]);
    const CDevice noteLoader = discovery.GetDeviceDescription(V, 0x0300);
    EXPECT_TRUE(noteLoader.mLoaderMode);
    EXPECT_EQ(noteLoader.mInterface[0], 2);
    EXPECT_EQ(noteLoader.mSectors[0], 48u);
    EXPECT_EQ(noteLoader.mUsagePg[0], 0u);
    EXPECT_EQ(noteLoader.mUpdate[0], "note.pen");
}
