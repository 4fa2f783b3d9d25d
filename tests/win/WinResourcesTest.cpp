// The program's resources as the resource compiler built them: the string tables of the thirteen
// languages (read back through FindResourceEx), the dialog template 101 and the manifest.

#include "CWinStringResources.h"
#include "FWUpdater/DialogResource.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

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
    EXPECT_FALSE(resources.FindStringBlock(126, 0x001D).has_value());
    EXPECT_FALSE(resources.FindStringBlock(126, 0x0407).has_value());
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2103, 0x0407), u"Programmierung erfolgreich");
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2104, 0x041F), u"Programming Failed");
}

struct ControlRow
{
    int id;
    std::u16string className; // or an atom name: Button, Static, ComboBox
    std::u16string text;
    short x, y, cx, cy;
    DWORD requiredStyle;
    DWORD forbiddenStyle;
};

struct ParsedDialog
{
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::u16string title;
    WORD pointSize = 0;
    std::u16string font;
    std::vector<ControlRow> controls; // with the style in requiredStyle
};

// The DIALOGEX template 101 as stored in the program.
ParsedDialog ParseDialog101()
{
    ParsedDialog dialog;
    const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_FWUPDATER_DIALOG), MAKEINTRESOURCEW(5));
    if (resource == nullptr)
        return dialog;
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, resource)));
    std::size_t pos = 0;
    auto word = [&] {
        WORD value;
        std::memcpy(&value, data + pos, 2);
        pos += 2;
        return value;
    };
    auto dword = [&] {
        const DWORD low = word();
        return low | DWORD(word()) << 16;
    };
    // A name: 0xFFFF and an ordinal (a predefined class), or a zero-terminated UTF-16 text.
    auto name = [&] {
        std::u16string text;
        for (WORD c = word(); c != 0; c = word()) {
            if (c == 0xFFFF && text.empty()) {
                const WORD ordinal = word();
                return std::u16string(ordinal == 0x80 ? u"Button" : ordinal == 0x82 ? u"Static" : u"ComboBox");
            }
            text.push_back(static_cast<char16_t>(c));
        }
        return text;
    };
    if (word() != 1 || word() != 0xFFFF)
        return dialog; // not a DIALOGEX
    pos += 8;          // help id, extended style
    dialog.style = dword();
    const WORD count = word();
    pos += 4; // x, y
    dialog.cx = static_cast<short>(word());
    dialog.cy = static_cast<short>(word());
    name(); // menu
    name(); // class
    dialog.title = name();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = word();
        pos += 4; // weight, italic, charset
        dialog.font = name();
    }
    for (WORD i = 0; i < count; ++i) {
        pos = (pos + 3) & ~std::size_t(3);
        pos += 8; // help id, extended style
        ControlRow control {};
        control.requiredStyle = dword();
        control.x = static_cast<short>(word());
        control.y = static_cast<short>(word());
        control.cx = static_cast<short>(word());
        control.cy = static_cast<short>(word());
        control.id = static_cast<int>(dword());
        control.className = name();
        control.text = name();
        pos += word(); // creation data
        dialog.controls.push_back(control);
    }
    return dialog;
}

const std::u16string kUnderscores(96, u'_');

const std::vector<ControlRow> kControlTable = {
    {1028, u"Static", u"", 0, 0, 336, 31, 0, 0},
    {1001, u"Static", u"Tablet: ", 11, 0, 53, 31, SS_CENTERIMAGE, 0},
    {1002, u"Static", u"", 66, 0, 270, 31, SS_CENTERIMAGE, 0},
    {1030, u"Static", u"Current Firmware", 11, 50, 230, 8, 0, 0},
    {1026, u"Static", kUnderscores, 0, 54, 336, 8, 0, 0},
    {1003, u"Static", u"Pen Firmware Version:", 10, 70, 115, 8, 0, 0},
    {1004, u"Static", u"", 153, 70, 114, 8, 0, 0},
    {1005, u"Static", u"Old Checksum:", 33, 83, 93, 8, 0, 0},
    {1011, u"Static", u"N/A", 153, 83, 114, 8, 0, 0},
    {1006, u"Static", u"New Checksum:", 33, 96, 93, 8, 0, 0},
    {1012, u"Static", u"N/A", 153, 96, 114, 8, 0, 0},
    {1007, u"Static", u"Touch Firmware Version:", 10, 112, 115, 8, 0, 0},
    {1010, u"Static", u"Not Supported", 153, 112, 114, 8, 0, 0},
    {1008, u"Static", u"Old Checksum:", 33, 125, 93, 8, 0, 0},
    {1013, u"Static", u"N/A", 153, 125, 114, 8, 0, 0},
    {1009, u"Static", u"New Checksum:", 33, 138, 93, 8, 0, 0},
    {1014, u"Static", u"N/A", 153, 138, 114, 8, 0, 0},
    {1031, u"Static", u"Bluetooth Firmware Version:", 10, 154, 115, 8, 0, 0},
    {1034, u"Static", u"Not Supported", 153, 153, 114, 8, 0, 0},
    {1032, u"Static", u"Old Checksum:", 33, 167, 93, 8, 0, 0},
    {1035, u"Static", u"N/A", 153, 167, 114, 8, 0, 0},
    {1033, u"Static", u"New Checksum:", 33, 179, 93, 8, 0, 0},
    {1036, u"Static", u"N/A", 153, 179, 114, 8, 0, 0},
    {1015, u"Static", u"New Firmware", 10, 198, 223, 8, 0, 0},
    {1027, u"Static", kUnderscores, 2, 213, 327, 8, 0, 0},
    {1016, u"Static", u"Firmware Update Type:", 10, 230, 92, 8, 0, 0},
    {1024, u"ComboBox", u"", 107, 230, 103, 58, CBS_DROPDOWNLIST | WS_VSCROLL, CBS_SORT},
    {1017, u"Static", u"Firmware File:", 10, 249, 92, 14, 0, 0},
    {1021, u"Static", u"", 107, 249, 159, 14, SS_PATHELLIPSIS | SS_NOTIFY | WS_BORDER, 0},
    {1020, u"Button", u" Browse...", 270, 249, 58, 14, BS_PUSHBUTTON, WS_DISABLED},
    {1018, u"Static", u"Checksum:", 31, 268, 69, 8, 0, 0},
    {1019, u"Static", u"N/A", 107, 268, 117, 8, 0, 0},
    {1022, u"Button", u"Program", 6, 284, 58, 51, WS_DISABLED, 0},
    {1029, u"Static", u"", 66, 284, 265, 51, 0, 0},
    {1025, u"msctls_progress32", u"", 73, 290, 255, 23, WS_BORDER, 0},
    {1023, u"Static", u"", 122, 319, 142, 14, SS_CENTER | SS_CENTERIMAGE, 0},
};

TEST(WinDialogTemplate, FrameFontAndControlsAsTheControlTableGivesThem)
{
    const ParsedDialog dialog = ParseDialog101();
    EXPECT_EQ(dialog.cx, 332);
    EXPECT_EQ(dialog.cy, 342);
    EXPECT_EQ(dialog.title, u"");
    EXPECT_EQ(dialog.font, u"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    const DWORD required = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
    EXPECT_EQ(dialog.style & required, required);
    EXPECT_EQ(dialog.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    ASSERT_EQ(dialog.controls.size(), kControlTable.size());
    for (std::size_t i = 0; i < kControlTable.size(); ++i) {
        const ControlRow& want = kControlTable[i];
        const ControlRow& got = dialog.controls[i];
        SCOPED_TRACE(want.id);
        EXPECT_EQ(got.id, want.id);
        // Class names are case-insensitive; the resource compiler may store them upper-case.
        EXPECT_EQ(::lstrcmpiW(reinterpret_cast<const wchar_t*>(got.className.c_str()),
                              reinterpret_cast<const wchar_t*>(want.className.c_str())),
                  0)
            << std::string(got.className.begin(), got.className.end());
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ((std::vector<short> {got.x, got.y, got.cx, got.cy}),
                  (std::vector<short> {want.x, want.y, want.cx, want.cy}));
        EXPECT_EQ(got.requiredStyle & want.requiredStyle, want.requiredStyle);
        EXPECT_EQ(got.requiredStyle & want.forbiddenStyle, 0u);
        EXPECT_NE(got.requiredStyle & WS_VISIBLE, 0u);
    }
}

TEST(WinManifest, DeclaresIdentityCommonControlsAndNoElevation)
{
    const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr);
    const auto* data = static_cast<const char*>(::LockResource(::LoadResource(nullptr, resource)));
    const std::string manifest(data, ::SizeofResource(nullptr, resource));
    EXPECT_NE(manifest.find("name=\"Vellum.FWUpdater\" version=\"1.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<description>Firmware Update Utility</description>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_EQ(manifest.find("compatibility"), std::string::npos);
}

} // namespace
