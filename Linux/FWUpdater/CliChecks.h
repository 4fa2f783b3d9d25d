#pragma once
// What the command line checks before it touches anything: the files and folders the user named.
// Each check is false with a message for the user (without the program's name).

#include "FWUpdater/CliText.h"

#include <string>

class CSRec;

// A file the program is to read: it must exist, be a regular file (a FIFO, a device or a folder
// is refused before it is opened, so nothing hangs and no writer's data is taken) and readable.
// what_I names the file in the message.
enum class EReadableFile { eFirmware, eTopology };
bool CheckReadableFile(const std::string& path_I, EReadableFile what_I, CCliMessage& error_O);

// The topology: readable as above, then well-formed: the message gives the line, the column and
// what was expected there. A well-formed file whose entries discovery does not know stays
// acceptable (discovery ignores them).
bool CheckTopologyFile(const std::string& path_I, CCliMessage& error_O);

// --log-dir: an existing folder this user can create files in.
bool CheckLogDirectory(const std::string& directory_I, CCliMessage& error_O);

// A firmware file: readable as above, loadable by its format's reader (else the reader's reason,
// with the line where there is one, and the accepted extensions), and, when board_I is a board
// word ("pen", "touch", "bluetooth"), meant for that board.
bool CheckFirmwareFile(const std::string& path_I, const std::string& board_I, CSRec& source_O, CCliMessage& error_O);
