#include "DebugOutput.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

// Run under ThreadSanitizer in CI: from any thread, one line per failed assertion; execution goes on.
TEST(Assert, FailedAssertionWritesOneLineFromAnyThreadAndExecutionContinues)
{
    CDiagnosticCapture capture;
    const int line = __LINE__ + 1;
    ASSERT(1 == 2);
    ASSERT(2 == 2);
    auto fail = [] {
        for (int i = 0; i < 50; ++i)
            ASSERT(i < 0);
    };
    std::thread a(fail);
    std::thread b(fail);
    a.join();
    b.join();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 101u);
    // The file relative to the source tree, whatever the build folder.
    EXPECT_EQ(lines[0].rfind("Assert:(1 == 2) in ", 0), 0u);
    const std::string position = " tests/unit/common/ExceptionAndAssertTest.cpp at " + std::to_string(line) + "\n";
    EXPECT_NE(lines[0].find(position), std::string::npos) << lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("Assert:(i < 0) in ", 0), 0u);
    // Beyond any fixed buffer: the whole text, and its length returned.
    const std::string longText(5000, 'x');
    EXPECT_EQ(DebugPrint("%s-%d", longText.c_str(), 42), 5003);
    EXPECT_EQ(capture.Lines().back(), longText + "-42");
}
