#pragma once
// Where the simulated scenarios' files (data/scenarios/<name>/) are found.

#include <string>

// The first that holds a scenarios/ folder: $VFWU_DATA_DIR; <directory of the executable>/
// ../share/vellum-fwupdater (an installed copy); the source tree's data/ folder this program was
// built from. Empty when none does.
std::string FindDataDirectory();

// Directory part of a path ("." when it has none).
std::string DirectoryOf(const std::string& path_I);
