#pragma once
// The simulated tablets' persistent state in a file, so that one process can be cut short and a
// later one finds the same boards, as real boards are found after a power loss or a killed
// updater: per board its flash, committed checksums and magic word, and whether it runs its
// loader.
//
// The file is text, one item per line:
//   vellum-sim-state 1
//   board <index> <name> <block count>
//   mode loader|application
//   magic <8 hex digits>
//   checksums <hex> <hex> ...            (one per block, committed)
//   block <i> <hex bytes>                (only blocks that are not erased)
//   end
// A board saved while its power was off is written as running what its start-up check would
// boot, so loading it is the power coming back.

#include "CSimBus.h"

#include <string>

bool SaveSimState(const CSimBus& bus_I, const std::string& path_I);
// The bus must hold the same boards (count, names, block tables) as the one saved; false (with a
// reason in error_O when given) otherwise, and for a malformed file, in which case no board is
// changed.
bool LoadSimState(CSimBus& bus_I, const std::string& path_I, std::string* error_O = nullptr);
