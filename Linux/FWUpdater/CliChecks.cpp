#include "FWUpdater/CliChecks.h"

#include "FWUpdater/CSRec.h"
#include "Settings/SettingsParser.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* FileKind(mode_t mode_I)
{
    if (S_ISDIR(mode_I))
        return "a folder";
    if (S_ISFIFO(mode_I))
        return "a FIFO";
    if (S_ISSOCK(mode_I))
        return "a socket";
    if (S_ISCHR(mode_I))
        return "a character device";
    if (S_ISBLK(mode_I))
        return "a block device";
    return "not a regular file";
}

// The whole content of a regular file already checked; false with errno's text.
bool ReadWhole(const std::string& path_I, std::string& content_O, std::string& error_O)
{
    const int fd = open(path_I.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_O = std::strerror(errno);
        return false;
    }
    content_O.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_O = std::strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        content_O.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

} // namespace

bool CheckReadableFile(const std::string& path_I, const char* what_I, std::string& error_O)
{
    struct stat info {};
    if (stat(path_I.c_str(), &info) != 0) {
        error_O = "cannot read " + path_I + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error_O = "cannot read " + path_I + ": it is " + FileKind(info.st_mode) + ", not a " + what_I;
        return false;
    }
    // O_NONBLOCK: should the file have been replaced by a FIFO since the look above, the open
    // still returns at once.
    const int fd = open(path_I.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_O = "cannot read " + path_I + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    return true;
}

bool CheckTopologyFile(const std::string& path_I, std::string& error_O)
{
    if (!CheckReadableFile(path_I, "topology file", error_O))
        return false;
    std::string content;
    std::string reason;
    if (!ReadWhole(path_I, content, reason)) {
        error_O = "cannot read " + path_I + ": " + reason;
        return false;
    }
    SettingsSyntaxError syntax;
    const CSettingsObjectPtr document = ParseSettingsDiagnosed(content, syntax);
    std::size_t line = 0;
    std::size_t column = 0;
    if (!document) {
        SettingsLineAndColumn(content, syntax.offset, line, column);
        error_O = "malformed topology file " + path_I + ", line " + std::to_string(line) + ", column " +
                  std::to_string(column) + ": expected " + syntax.expected +
                  (syntax.offset >= content.size() ? " (the file ends there)" : "");
        return false;
    }
    if (!AsArray(document)) {
        SettingsLineAndColumn(content, syntax.documentStart, line, column);
        error_O = "malformed topology file " + path_I + ", line " + std::to_string(line) + ", column " +
                  std::to_string(column) + ": expected '[' (a list of tablet descriptions), found a map";
        return false;
    }
    return true;
}

bool CheckLogDirectory(const std::string& directory_I, std::string& error_O)
{
    struct stat info {};
    if (stat(directory_I.c_str(), &info) != 0) {
        error_O = "--log-dir " + directory_I + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error_O = "--log-dir " + directory_I + ": not a folder";
        return false;
    }
    if (access(directory_I.c_str(), W_OK | X_OK) != 0) {
        error_O = "--log-dir " + directory_I + ": cannot create files there: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool CheckFirmwareFile(const std::string& path_I, const std::string& board_I, CSRec& source_O, std::string& error_O)
{
    if (!CheckReadableFile(path_I, "firmware file", error_O))
        return false;
    if (!source_O.Load(path_I)) {
        error_O = path_I + " is not a firmware file this program can read: " + source_O.GetLoadError().Text();
        return false;
    }
    const std::string board = CSRec::BoardOfFormat(source_O.GetFileType());
    if (!board_I.empty() && board != board_I) {
        error_O = path_I + " is firmware for the " + board + " board, not for the " + board_I + " board";
        return false;
    }
    return true;
}
