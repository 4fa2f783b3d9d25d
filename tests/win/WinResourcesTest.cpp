// The program's resources as the resource compiler built them: the string tables of the thirteen
// languages (read back through FindResourceEx), the dialog template 101 and the manifest.

#include "CWinStringResources.h"
#include "FWUpdater/DialogResource.h"
#include "ResourceUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <regex>
#include <string>

namespace {

// The resource compiler's blocks are the built-in table's (itself checked against the strings'
// source), in every language; it may pad a block with empty trailing entries.
TEST(WinStringResources, ResourceBlocksEqualTheBuiltInTableInEveryLanguage)
{
    const CWinStringResources resources;
    const CBuiltinStringResources builtin;
    for (std::uint16_t language : {0x0007, 0x0009, 0x000A, 0x000C, 0x0010, 0x0011, 0x0012, 0x0013, 0x0015, 0x0016,
                                   0x0019, 0x0404, 0x0804}) {
        for (std::uint16_t block : {126, 132, 138}) { // ids 2000, 2100-2106, 2200-2203
            SCOPED_TRACE(testing::Message() << "language " << language << " block " << block);
            const auto fromExe = resources.FindStringBlock(block, language);
            const auto expected = builtin.FindStringBlock(block, language);
            ASSERT_TRUE(fromExe.has_value() && expected.has_value());
            std::u16string exe(*fromExe);
            while (exe.size() > expected->size() && exe.back() == 0)
                exe.pop_back();
            EXPECT_EQ(exe, *expected);
        }
    }
}

// Exact language only: a language without resources has no block (no silent substitute); the
// loader's fallback chain then finds German for German of Germany, English for Turkish.
TEST(WinStringResources, BlocksOfTheExactLanguageOnlyAndTheLoaderFallsBack)
{
    const CWinStringResources resources;
    EXPECT_FALSE(resources.FindStringBlock(126, 0x0407).has_value());
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2103, 0x0407), u"Programmierung erfolgreich");
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2104, 0x041F), u"Programming Failed");
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The dialog template 101 as Windows builds it (with no code of the program's behind it): every
// control id the code names (in the ids' header) is there, and the fixed texts read as the users know them.
TEST(WinDialogTemplate, EveryControlTheCodeNamesExistsAndTheLabelsReadRight)
{
    INITCOMMONCONTROLSEX classes {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&classes);
    const HWND dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_FWUPDATER_DIALOG),
                                             nullptr, InertDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    const std::regex define(R"(#define (IDC_\w+) (\d+))");
    int named = 0;
    for (const std::string& line : SplitLines(ReadFile(VFWU_SOURCE_DIR "/Common/FWUpdater/DialogResource.h"))) {
        std::smatch match;
        if (!std::regex_match(line, match, define))
            continue;
        ++named;
        EXPECT_NE(::GetDlgItem(dialog, std::stoi(match[2].str())), nullptr) << match[1].str();
    }
    EXPECT_GT(named, 30);
    const std::pair<int, const wchar_t*> labels[] = {
        {1001, L"Tablet: "},
        {1003, L"Pen Firmware Version:"},
        {1031, L"Bluetooth Firmware Version:"},
        {1016, L"Firmware Update Type:"},
        {1020, L" Browse..."},
        {1022, L"Program"},
    };
    for (const auto& [id, text] : labels) {
        wchar_t shown[128] = {};
        ::GetDlgItemTextW(dialog, id, shown, 128);
        EXPECT_EQ(std::wstring(shown), text) << id;
    }
    ::DestroyWindow(dialog);
}

TEST(WinManifest, DeclaresCommonControlsAndNoElevation)
{
    const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr);
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource)));
    const std::string manifest(data, ::SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

} // namespace
