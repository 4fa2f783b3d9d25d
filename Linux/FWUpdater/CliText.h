#pragma once
// Text that reaches the user's terminal or a script: one error style, and names and paths from
// files and devices made harmless to print.

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence at text_I[pos_I] (1 to 4), 0 when the bytes there
// are not one (a stray continuation byte, an overlong form, a surrogate, a sequence cut short).
std::size_t Utf8SequenceLength(const std::string& text_I, std::size_t pos_I);

// For the terminal: control characters (C0, DEL and the C1 range) become \n, \r, \t or \xNN,
// and bytes that are not well-formed UTF-8 become \xNN, so that a name holding a newline or an
// escape sequence cannot fake a line or drive the terminal. Other text is unchanged.
std::string PrintableText(const std::string& text_I);

// "vellum-fwupdater: " + the message (made printable) + newline, on stderr.
void PrintCliError(const std::string& message_I);
