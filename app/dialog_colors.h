// The application-wide dialog colours (SetDialogBkColor): background and text of every dialog of
// the program that has no colour handling of its own.
#pragma once

#include "controls/gdi_types.h"

class QWidget;

void SetDialogBkColor(COLORREF background, COLORREF text);
// Gives a dialog the application-wide colours (its window background and its texts).
void ApplyDialogColors(QWidget* dialog);
COLORREF DialogBkColor();
COLORREF DialogTextColor();
