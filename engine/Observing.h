// How an operation consults its observer; for the engine's own sources.
#pragma once

#include "engine/CommandLine.h"

// Tells `observer` (may be null) that `cylinder` is done. Returns whether the
// operation goes on: always without an observer, and after the last cylinder
// there is nothing left to stop.
inline bool GoOnAfter(CylinderObserver* observer, int cylinder, const unsigned char* data,
                      uint32_t bytes)
{
    if (observer == nullptr) {
        return true;
    }
    return observer->CylinderDone(cylinder, data, bytes) || cylinder == kCylinderCount - 1;
}
