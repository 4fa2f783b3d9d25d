#include "FWUpdater/CliChecks.h"

#include "FWUpdater/CSRec.h"
#include "FWUpdater/CliStringIds.h"
#include "Settings/SettingsParser.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int FileKind(mode_t mode_I)
{
    if (S_ISDIR(mode_I))
        return IDS_CLI_KIND_FOLDER;
    if (S_ISFIFO(mode_I))
        return IDS_CLI_KIND_FIFO;
    if (S_ISSOCK(mode_I))
        return IDS_CLI_KIND_SOCKET;
    if (S_ISCHR(mode_I))
        return IDS_CLI_KIND_CHARACTER_DEVICE;
    if (S_ISBLK(mode_I))
        return IDS_CLI_KIND_BLOCK_DEVICE;
    return IDS_CLI_KIND_OTHER;
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

bool CheckReadableFile(const std::string& path_I, EReadableFile what_I, CCliMessage& error_O)
{
    struct stat info {};
    if (stat(path_I.c_str(), &info) != 0) {
        error_O = CCliMessage(IDS_CLI_CANNOT_READ, {path_I, std::strerror(errno)});
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error_O = CCliMessage(what_I == EReadableFile::eFirmware ? IDS_CLI_NOT_FIRMWARE_FILE_KIND : IDS_CLI_NOT_TOPOLOGY_FILE_KIND,
                              {path_I, CCliMessage::Id(FileKind(info.st_mode))});
        return false;
    }
    // O_NONBLOCK: should the file have been replaced by a FIFO since the look above, the open
    // still returns at once.
    const int fd = open(path_I.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_O = CCliMessage(IDS_CLI_CANNOT_READ, {path_I, std::strerror(errno)});
        return false;
    }
    close(fd);
    return true;
}

bool CheckTopologyFile(const std::string& path_I, CCliMessage& error_O)
{
    if (!CheckReadableFile(path_I, EReadableFile::eTopology, error_O))
        return false;
    std::string content;
    std::string reason;
    if (!ReadWhole(path_I, content, reason)) {
        error_O = CCliMessage(IDS_CLI_CANNOT_READ, {path_I, reason});
        return false;
    }
    SettingsSyntaxError syntax;
    const CSettingsObjectPtr document = ParseSettingsDiagnosed(content, syntax);
    std::size_t line = 0;
    std::size_t column = 0;
    if (!document) {
        SettingsLineAndColumn(content, syntax.offset, line, column);
        error_O = CCliMessage(syntax.offset >= content.size() ? IDS_CLI_TOPOLOGY_EXPECTED_AT_END : IDS_CLI_TOPOLOGY_EXPECTED,
                              {path_I, std::to_string(line), std::to_string(column), syntax.expected});
        return false;
    }
    if (!AsArray(document)) {
        SettingsLineAndColumn(content, syntax.documentStart, line, column);
        error_O = CCliMessage(IDS_CLI_TOPOLOGY_NOT_A_LIST, {path_I, std::to_string(line), std::to_string(column)});
        return false;
    }
    return true;
}

bool CheckLogDirectory(const std::string& directory_I, CCliMessage& error_O)
{
    struct stat info {};
    if (stat(directory_I.c_str(), &info) != 0) {
        error_O = CCliMessage(IDS_CLI_LOG_DIR_ERROR, {directory_I, std::strerror(errno)});
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error_O = CCliMessage(IDS_CLI_LOG_DIR_NOT_FOLDER, {directory_I});
        return false;
    }
    if (access(directory_I.c_str(), W_OK | X_OK) != 0) {
        error_O = CCliMessage(IDS_CLI_LOG_DIR_NOT_WRITABLE, {directory_I, std::strerror(errno)});
        return false;
    }
    return true;
}

bool CheckFirmwareFile(const std::string& path_I, const std::string& board_I, CSRec& source_O, CCliMessage& error_O)
{
    if (!CheckReadableFile(path_I, EReadableFile::eFirmware, error_O))
        return false;
    if (!source_O.Load(path_I)) {
        // The reader's reason stays as the reader gives it (it is also the log's text).
        error_O = CCliMessage(IDS_CLI_UNREADABLE_FIRMWARE, {path_I, source_O.GetLoadError().Text()});
        return false;
    }
    const std::string board = CSRec::BoardOfFormat(source_O.GetFileType());
    if (!board_I.empty() && board != board_I) {
        error_O = CCliMessage(IDS_CLI_FIRMWARE_FOR_OTHER_BOARD, {path_I, board, board_I});
        return false;
    }
    return true;
}
