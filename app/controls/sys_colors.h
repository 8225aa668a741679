// The system colours the custom controls are drawn in, by their Win32 names.
//
// Two sources: the classic Windows colours (the default, and what the tests use), or the
// application's Qt palette through the one mapping written down in sys_colors.cpp. The program
// switches to the palette at start-up; a palette change then reaches the controls as their
// counterpart of WM_SYSCOLORCHANGE.
#pragma once

#include "controls/gdi_types.h"

class QPalette;

constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;

// The colour of a system colour index from the current source; black for an index not listed.
COLORREF GetSysColor(int index);

// The classic Windows colour of an index (Windows 2000 "Windows Standard" scheme).
COLORREF ClassicSysColor(int index);

// The colour of an index taken from a Qt palette (active group).
COLORREF SysColorFromPalette(const QPalette& palette, int index);

// Chooses the source: true = the application palette (classic colours while no application
// object exists), false = the classic colours.
void UseSysColorsFromPalette(bool fromPalette);
bool SysColorsFromPalette();
