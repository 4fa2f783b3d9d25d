#pragma once
// Text that reaches the user's terminal or a script: one error style, and names and paths from
// files and devices made harmless to print.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The language of everything the command line shows (a Windows language id, resolved along the
// fallback chain like the dialog's texts); English until set. Scripts' JSON stays English.
void SetCliLanguage(std::uint16_t languageId_I);
std::uint16_t CliLanguage();
constexpr std::uint16_t kCliEnglish = 0x0009;

// The command line's text stringId_I (Common/FWUpdater/CliStringIds.h) in its language, with
// %1, %2 ... replaced by the arguments.
std::string CliText(int stringId_I, const std::vector<std::string>& arguments_I = {});

// A text of the shared dialog model that has no string id of the dialog's own (its confirmation,
// some errors, "Not Available", "Not Supported"), in the command line's language; any other text
// is returned unchanged.
std::string ShownModelText(const std::string& text_I);

// Whether a confirmation's answer means yes in the language languageId_I (its words, e.g. "j" or
// "ja" in German) or in English ("y", "yes"); letter case and surrounding blanks do not matter.
bool IsYesAnswer(const std::string& answer_I, std::uint16_t languageId_I);

// "label" followed by blanks to width_I characters (code points), so that translated labels of
// a block line up. At least one blank follows.
std::string PaddedLabel(const std::string& label_I, std::size_t width_I);
std::size_t TextWidth(const std::string& text_I);

// The columns text_I takes in a terminal: East Asian wide characters (CJK, kana, Hangul, full-width
// forms) take two, every other character one.
std::size_t DisplayWidth(const std::string& text_I);

// text_I with each of its lines that would pass column width_I broken at a blank, or between two
// wide characters where the language writes no blanks (never before closing punctuation); the
// text's first line starts at column firstColumn_I, every further line is indented by indent_I
// blanks. Lines that fit are kept as written.
std::string WrappedText(const std::string& text_I, std::size_t firstColumn_I, std::size_t indent_I,
                        std::size_t width_I);

// A message for the user that a script may also receive (with --json): shown in the command
// line's language on the terminal, given in English in the JSON object. Either a string id with
// its arguments (which may be messages themselves), or a text taken as it is (a path, a reason
// the system or a reader gave).
class CCliMessage
{
public:
    CCliMessage() = default;
    CCliMessage(std::string verbatim_I) : mVerbatim(std::move(verbatim_I)) {}
    CCliMessage(const char* verbatim_I) : mVerbatim(verbatim_I) {}
    CCliMessage(int stringId_I, std::vector<CCliMessage> arguments_I)
        : mId(stringId_I), mArguments(std::move(arguments_I))
    {
    }
    static CCliMessage Id(int stringId_I) { return CCliMessage(stringId_I, {}); }

    bool Empty() const { return mId == 0 && mVerbatim.empty(); }
    std::string In(std::uint16_t languageId_I) const;
    std::string Text() const { return In(CliLanguage()); }
    std::string English() const { return In(kCliEnglish); }

private:
    int mId = 0;
    std::string mVerbatim;
    std::vector<CCliMessage> mArguments;
};

// The length of the well-formed UTF-8 sequence at text_I[pos_I] (1 to 4), 0 when the bytes there
// are not one (a stray continuation byte, an overlong form, a surrogate, a sequence cut short).
std::size_t Utf8SequenceLength(const std::string& text_I, std::size_t pos_I);

// For the terminal: control characters (C0, DEL and the C1 range) become \n, \r, \t or \xNN,
// and bytes that are not well-formed UTF-8 become \xNN, so that a name holding a newline or an
// escape sequence cannot fake a line or drive the terminal. Other text is unchanged.
std::string PrintableText(const std::string& text_I);

// "vellum-fwupdater: " + the message (made printable) + newline, on stderr.
void PrintCliError(const std::string& message_I);
void PrintCliError(const CCliMessage& message_I);
