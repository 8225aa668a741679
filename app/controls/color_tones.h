// Tones derived from system colours, channel by channel.
#pragma once

#include "controls/gdi_types.h"

// Per channel a + ((b - a) >> 1) with an arithmetic shift: the average rounded down; top byte 0.
COLORREF AverageColor(COLORREF a, COLORREF b);

// Per channel c + 51, except that a channel that would pass 255 keeps its value.
COLORREF BrightenKeep(COLORREF c);

// Per channel c - 51, except that a channel that would fall below 0 keeps its value.
COLORREF DarkenKeep(COLORREF c);
