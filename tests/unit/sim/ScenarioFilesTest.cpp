#include "SimScenarios.h"
#include "TestSupport.h"

#include "FWUpdater/CSRec.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The committed demo firmware is generated from the scenario code; VFWU_REGENERATE=1 rewrites
// the files after a deliberate change.
TEST(SimScenarioFiles, DemoFirmwareMatchesTheGenerator)
{
    const bool regenerate = std::getenv("VFWU_REGENERATE") != nullptr;
    for (const auto& [name, text] : SimDemoFirmwareFiles()) {
        const std::string path = std::string(VFWU_SOURCE_DIR) + "/data/scenarios/" + name;
        if (regenerate)
            WriteFile(path, text);
        EXPECT_EQ(ReadFile(path), text) << path << " differs from the generator (VFWU_REGENERATE=1 rewrites it)";
    }
}

TEST(SimScenarioFiles, DemoFirmwareLoadsWithTheDemoVersionAtTheVersionAddress)
{
    for (const std::string& name : SimScenarioNames()) {
        SimScenario scenario;
        ASSERT_TRUE(GetSimScenario(name, std::string(VFWU_SOURCE_DIR) + "/data", scenario));
        EXPECT_FALSE(ReadFile(scenario.topologyPath).empty()) << scenario.topologyPath;
    }
    CSRec source;
    ASSERT_TRUE(source.Load(std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/basic.pen"));
    const auto blocks = source.GetBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, 0x1000u);
    EXPECT_EQ(blocks[0].data[0] | (blocks[0].data[1] << 8), kSimDemoVersion);
}
