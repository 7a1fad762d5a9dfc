// Portable: where a control goes. The design gives every position and size in pixels at 96 dots
// per inch, relative to a client area of the design size; a control keeps its distance to the
// sides it is anchored to when the client area is larger or smaller, and everything scales with
// the DPI of the monitor the window is on.
#pragma once

#include "EnumSet.h"

#include <cstdint>

enum TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;

struct TBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TBounds&) const = default;
};

// A design length in pixels at Dpi, rounded to the nearest pixel.
int ScaleToDpi(int DesignPx, unsigned Dpi);

// The control's bounds in a client area of ClientWidth x ClientHeight pixels at Dpi. Design is
// the control's place in a design client area of DesignWidth x DesignHeight (both at 96 DPI).
TBounds PlaceInClient(const TBounds& Design, TAnchors Anchors, int DesignWidth, int DesignHeight,
                      int ClientWidth, int ClientHeight, unsigned Dpi);
