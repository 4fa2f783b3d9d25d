// vellum-fwupdater: the Linux command-line front end.

#include "FileVersion.h"
#include "Version.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "Usage: vellum-fwupdater [--help] [--version]\n"
    "\n"
    "Updates the firmware of a pen tablet's boards (pen, touch, bluetooth) through their boot\n"
    "loaders.\n"
    "\n"
    "Options:\n"
    "  --help      show this text and exit\n"
    "  --version   show the program version and exit\n";

} // namespace

int main(int argc, char** argv)
{
    const std::string version = FileVersion::FromWord(kProgramVersionWord).ToShortString();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vellum-fwupdater %s\n", version.c_str());
            return 0;
        }
        std::fprintf(stderr, "vellum-fwupdater: unknown option '%s'\n\n%s", argv[i], kUsage);
        return 1;
    }
    return 0;
}
