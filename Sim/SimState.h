#pragma once
// The simulated tablets' persistent state in a file, so that one process can be cut short and a
// later one finds the same boards, as real boards are found after a power loss or a killed
// updater: per board its flash, committed checksums and magic word (whether the image is whole,
// for a whole-image board), and whether it runs its loader.
//
// The file is text, one item per line:
//   vellum-sim-state 1
//   board <index> <name> srec <block count>     an S-record board:
//   mode loader|application
//   magic <8 hex digits>                        committed
//   checksums <hex> <hex> ...                   committed, one per block
//   block <i> <hex bytes>                       only blocks that are not erased
//   board <index> <name> image <flash size>     a whole-image board:
//   mode loader|application
//   image valid|incomplete
//   chunk <8 hex digits address> <hex bytes>    4 KiB pieces that are not all 0xFF
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
