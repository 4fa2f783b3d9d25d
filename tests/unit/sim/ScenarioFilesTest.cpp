#include "SimScenarios.h"
#include "TestSupport.h"

#include "FWUpdater/CSRec.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The committed demo firmware is generated from the scenario code; VFWU_REGENERATE=1 rewrites
// the files after a deliberate change. The basic pen's image carries the demo version first.
TEST(SimScenarioFiles, DemoFirmwareMatchesTheGenerator)
{
    for (const auto& [name, text] : SimDemoFirmwareFiles()) {
        const std::string path = std::string(VFWU_SOURCE_DIR) + "/data/scenarios/" + name;
        if (std::getenv("VFWU_REGENERATE") != nullptr)
            WriteFile(path, text);
        EXPECT_EQ(ReadFile(path), text) << path << " differs from the generator (VFWU_REGENERATE=1 rewrites it)";
    }
    CSRec source;
    ASSERT_TRUE(source.Load(std::string(VFWU_SOURCE_DIR) + "/data/scenarios/basic/basic.pen"));
    ASSERT_EQ(source.GetBlocks().size(), 1u);
    EXPECT_EQ(source.GetBlocks()[0].address, 0x1000u);
    EXPECT_EQ(source.GetBlocks()[0].data[0] | (source.GetBlocks()[0].data[1] << 8), kSimDemoVersion);
}
