// The program's resources as the resource compiler built them: the string tables of the thirteen
// languages (read back through FindResourceEx) and the dialog template 101.

#include "CWinStringResources.h"
#include "FWUpdater/DialogResource.h"
#include "ResourceUtils.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::uint16_t kLanguages[] = {0x0007, 0x0009, 0x000A, 0x000C, 0x0010, 0x0011, 0x0012,
                                    0x0013, 0x0015, 0x0016, 0x0019, 0x0404, 0x0804};
const std::uint32_t kStringIds[] = {2000, 2100, 2101, 2102, 2103, 2104, 2105, 2106, 2200, 2201, 2202, 2203};

TEST(WinStringResources, ResourceBlocksEqualTheBuiltInTableInEveryLanguage)
{
    const CWinStringResources resources;
    const CBuiltinStringResources builtin;
    for (std::uint16_t language : kLanguages) {
        for (std::uint16_t block : {126, 132, 138}) { // ids 2000, 2100-2106, 2200-2203
            const auto fromExe = resources.FindStringBlock(block, language);
            const auto expected = builtin.FindStringBlock(block, language);
            ASSERT_TRUE(fromExe.has_value()) << "language " << language << " block " << block;
            ASSERT_TRUE(expected.has_value());
            // The resource compiler may pad a block with empty trailing entries.
            std::u16string exe(*fromExe);
            std::u16string want(*expected);
            while (exe.size() > want.size() && exe.back() == 0)
                exe.pop_back();
            EXPECT_EQ(exe, want) << "language " << language << " block " << block;
        }
    }
}

TEST(WinStringResources, EveryLanguageHasEveryStringInStoredForm)
{
    const CWinStringResources resources;
    for (std::uint16_t language : kLanguages) {
        for (std::uint32_t id : kStringIds) {
            const auto block = resources.FindStringBlock(static_cast<std::uint16_t>(id / 16 + 1), language);
            ASSERT_TRUE(block.has_value());
            std::size_t pos = 0;
            for (std::uint32_t skip = 0; skip < id % 16; ++skip)
                pos += 1 + (*block)[pos];
            ASSERT_LT(pos, block->size());
            const std::size_t length = (*block)[pos];
            ASSERT_GE(length, 2u) << id;
            EXPECT_EQ((*block)[pos + 1], u'\x0298') << id;
            EXPECT_EQ((*block)[pos + length], u'\0') << "terminator counted in the length, id " << id;
            EXPECT_FALSE(ResourceUtils::LoadResourceString(resources, id, language).empty());
        }
    }
}

TEST(WinStringResources, LoadsExactTextsAndFallsBack)
{
    const CWinStringResources resources;
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2200, 0x0009),
              u"Error: No supported tablet is connected.  Please connect a tablet.");
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2000, 0x0007), u"Vellum Firmware-Update Utility");
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2106, 0x0007),
              u"Firmware-Update fehlgeschlagen. \nBitte schlie\u00dfen Sie Ihr Ger\u00e4t neu an und \nversuchen Sie es "
              u"noch einmal.");
    // German of Germany has no table of its own: it falls back to German.
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2103, 0x0407), u"Programmierung erfolgreich");
    // Turkish has no table: English.
    EXPECT_EQ(ResourceUtils::LoadResourceString(resources, 2104, 0x041F), u"Programming Failed");
    // Exact language only: a language without resources has no block (no silent substitute).
    EXPECT_FALSE(resources.FindStringBlock(126, 0x001D).has_value());
    EXPECT_FALSE(resources.FindStringBlock(126, 0x0407).has_value());
}

// ---- dialog template 101 ----------------------------------------------------------------------

struct ControlRow
{
    int id;
    std::u16string className; // or an atom name: Button, Static, ComboBox
    std::u16string text;
    short x, y, cx, cy;
    DWORD requiredStyle;
    DWORD forbiddenStyle;
};

struct ParsedControl
{
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::u16string className;
    std::u16string text;
};

struct ParsedDialog
{
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::u16string title;
    WORD pointSize = 0;
    std::u16string font;
    std::vector<ParsedControl> controls;
};

class CReader
{
public:
    explicit CReader(const BYTE* data_I) : mData(data_I) {}
    WORD Word() { WORD v; std::memcpy(&v, mData + mPos, 2); mPos += 2; return v; }
    DWORD Dword() { DWORD v; std::memcpy(&v, mData + mPos, 4); mPos += 4; return v; }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return mData[mPos++]; }
    void Align() { mPos = (mPos + 3) & ~static_cast<std::size_t>(3); }
    void Skip(std::size_t n_I) { mPos += n_I; }
    // A resource name: 0xFFFF and an ordinal, or a zero-terminated UTF-16 text.
    std::u16string NameOrOrdinal()
    {
        std::u16string text;
        WORD first = Word();
        if (first == 0xFFFF) {
            const WORD ordinal = Word();
            switch (ordinal) {
            case 0x0080: return u"Button";
            case 0x0081: return u"Edit";
            case 0x0082: return u"Static";
            case 0x0085: return u"ComboBox";
            default: return u"#" + std::u16string(1, static_cast<char16_t>(ordinal));
            }
        }
        while (first != 0) {
            text.push_back(static_cast<char16_t>(first));
            first = Word();
        }
        return text;
    }

private:
    const BYTE* mData;
    std::size_t mPos = 0;
};

ParsedDialog ParseDialog101()
{
    ParsedDialog dialog;
    const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_FWUPDATER_DIALOG), MAKEINTRESOURCEW(5));
    if (resource == nullptr)
        return dialog;
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, resource)));
    CReader r(data);
    const WORD version = r.Word();
    const WORD signature = r.Word();
    if (version != 1 || signature != 0xFFFF)
        return dialog; // not a DIALOGEX
    r.Dword();         // help id
    r.Dword();         // extended style
    dialog.style = r.Dword();
    const WORD count = r.Word();
    r.Short();
    r.Short();
    dialog.cx = r.Short();
    dialog.cy = r.Short();
    r.NameOrOrdinal(); // menu
    r.NameOrOrdinal(); // class
    dialog.title = r.NameOrOrdinal();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = r.Word();
        r.Word(); // weight
        r.Byte(); // italic
        r.Byte(); // charset
        dialog.font = r.NameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        r.Align();
        ParsedControl control;
        r.Dword(); // help id
        r.Dword(); // extended style
        control.style = r.Dword();
        control.x = r.Short();
        control.y = r.Short();
        control.cx = r.Short();
        control.cy = r.Short();
        control.id = r.Dword();
        control.className = r.NameOrOrdinal();
        control.text = r.NameOrOrdinal();
        r.Skip(r.Word()); // creation data
        dialog.controls.push_back(control);
    }
    return dialog;
}

const std::u16string kUnderscores(96, u'_');

// The control table of the main dialog.
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

TEST(WinDialogTemplate, FrameAndFontAsSpecified)
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
}

TEST(WinDialogTemplate, ControlsMatchTheControlTable)
{
    const ParsedDialog dialog = ParseDialog101();
    ASSERT_EQ(dialog.controls.size(), kControlTable.size());
    for (std::size_t i = 0; i < kControlTable.size(); ++i) {
        const ControlRow& want = kControlTable[i];
        const ParsedControl& got = dialog.controls[i];
        SCOPED_TRACE(want.id);
        EXPECT_EQ(got.id, static_cast<DWORD>(want.id));
        // Class names are case-insensitive; the resource compiler may store them upper-case.
        EXPECT_EQ(::lstrcmpiW(reinterpret_cast<const wchar_t*>(got.className.c_str()),
                              reinterpret_cast<const wchar_t*>(want.className.c_str())),
                  0)
            << std::string(got.className.begin(), got.className.end());
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.style & want.requiredStyle, want.requiredStyle);
        EXPECT_EQ(got.style & want.forbiddenStyle, 0u);
        EXPECT_NE(got.style & WS_VISIBLE, 0u);
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
