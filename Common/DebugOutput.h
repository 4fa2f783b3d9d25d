#pragma once
// Diagnostic output and the never-fatal assertion.
//
// A failed ASSERT writes one line to the diagnostic sink and execution goes on with the next
// statement: every caller must also cope with the asserted condition being false.

#include <functional>
#include <string>

// Receives each formatted diagnostic text. The platform layer installs the debugger output on
// Windows; tests install a capturing sink.
using DiagnosticSink = std::function<void(const char* text)>;

// Replaces the process-wide sink; an empty function restores the default sink, which on this
// build writes only when the VFWU_DEBUG environment variable asks for it ("stderr" or a file
// path to append to), so assertion lines never litter a user's terminal.
void SetDiagnosticSink(DiagnosticSink sink);

// printf-style formatting into a heap buffer, sent to the sink. Returns the number of characters
// written, or -1 when the formatted length cannot be determined (nothing is printed then).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
int DebugPrint(const char* format_I, ...);

#define ASSERT(expr) \
    ((expr) ? (void)0 : (void)DebugPrint("Assert:(%s) in %s at %i\n", #expr, __FILE__, __LINE__))

// An assertion that always fails; the text is printed as written, quotes included, so
// ASSERT_FAILED("unrecognized file format") prints Assert:("unrecognized file format") ...
#define ASSERT_FAILED(text) \
    ((void)DebugPrint("Assert:(%s) in %s at %i\n", #text, __FILE__, __LINE__))

// For the few assertions whose reported source position is fixed by the protocol texts rather
// than by where the code happens to sit.
#define ASSERT_AT(expr, file, line) \
    ((expr) ? (void)0 : (void)DebugPrint("Assert:(%s) in %s at %i\n", #expr, file, line))
#define ASSERT_FAILED_AT(text, file, line) \
    ((void)DebugPrint("Assert:(%s) in %s at %i\n", #text, file, line))
