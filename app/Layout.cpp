// Portable: control placement (see Layout.h).
#include "Layout.h"

namespace {

// One axis: the start and length of a control between two anchors.
void PlaceAxis(int DesignStart, int DesignLength, int DesignExtent, int Extent, bool NearAnchor,
               bool FarAnchor, unsigned Dpi, int& Start, int& Length) {
    const int farGap = ScaleToDpi(DesignExtent - DesignStart - DesignLength, Dpi);
    Length = ScaleToDpi(DesignLength, Dpi);
    Start = ScaleToDpi(DesignStart, Dpi);
    if (FarAnchor && NearAnchor) {
        Length = Extent - farGap - Start;
    } else if (FarAnchor) {
        Start = Extent - farGap - Length;
    }
    if (Length < 0) {
        Length = 0;
    }
}

} // namespace

int ScaleToDpi(int DesignPx, unsigned Dpi) {
    const long long scaled = static_cast<long long>(DesignPx) * Dpi;
    // Round half away from zero, as the system's MulDiv does.
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

TBounds PlaceInClient(const TBounds& Design, TAnchors Anchors, int DesignWidth, int DesignHeight,
                      int ClientWidth, int ClientHeight, unsigned Dpi) {
    TBounds placed;
    PlaceAxis(Design.Left, Design.Width, DesignWidth, ClientWidth, Anchors.Contains(akLeft),
              Anchors.Contains(akRight), Dpi, placed.Left, placed.Width);
    PlaceAxis(Design.Top, Design.Height, DesignHeight, ClientHeight, Anchors.Contains(akTop),
              Anchors.Contains(akBottom), Dpi, placed.Top, placed.Height);
    return placed;
}
