#pragma once

#include <QtMath>

/// Layout values are kept in twips (1440 to the inch) and converted with the screen's logical
/// resolution, so the window scales with its fonts: 15 twips make one pixel at 96 dpi.
constexpr int twipsToPixels(int twips, int logicalDpi)
{
    return qRound(twips * logicalDpi / 1440.0);
}
