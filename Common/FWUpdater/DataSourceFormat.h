#pragma once
// Format of a firmware file, decided by its extension. The data source and the device
// interface each keep one; programming dispatches on it.

enum DataSourceFormat : int
{
    eFormatPen = 0,       // "pen": S-record, pen board
    eFormatTouch = 1,     // "touch": S-record, touch board
    eFormatVel = 2,       // "vel": S-record, pen board
    eFormatIntelHex = 3,  // "hex": Intel HEX, touch board
    eFormatAiroFlash = 4, // "airoflash": Airoha flash binary, bluetooth board
    eFormatUnknown = 99,
};
