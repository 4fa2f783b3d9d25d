// The command line and the stored form of resource texts: any input, no crash, and the decoder
// agrees with the encoder on every text it produced.

#include "DebugOutput.h"
#include "FirmwareUpdaterApp.h"
#include "ResourceUtils.h"
#include "StringUtils.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetDiagnosticSink([](const char*) {}); // malformed input reports assertions by design
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const CFirmwareUpdaterApp windows(wide);
    const CFirmwareUpdaterApp posix(wide, CFirmwareUpdaterApp::EPathStyle::eWindowsOrPosix);
    if (!windows.GetDevicePath().empty() && windows.GetDevicePath().rfind(u"\\\\?\\", 0) != 0)
        std::abort();
    if (posix.GetDevicePath().find(u'+') != std::u16string::npos)
        std::abort();
    (void)ResourceUtils::DecodeResourceText(u"\u0298" + wide);
    (void)ResourceUtils::DecodeResourceText(wide);

    // The bytes as UTF-8 text: encoding then decoding gives the text back.
    const std::u16string text = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size));
    if (ResourceUtils::DecodeResourceText(ResourceUtils::EncodeResourceText(text)) != Utf8ToUtf16(Utf16ToUtf8(text)))
        std::abort();
    return 0;
}
