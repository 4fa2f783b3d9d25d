#pragma once
// How a board interface is reached; recorded by whoever creates the device interface.

enum InterfaceKind : int
{
    eInterfaceKindNone = 0, // the description names no known transport
    eInterfaceKindHID = 1,
    eInterfaceKindBULK = 2,
    eInterfaceKindI2C = 3,
};
