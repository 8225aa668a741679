// The paint request of an owner-drawn control: what to draw, in which state, and where.
#pragma once

#include "controls/gdi_types.h"

class QPainter;

constexpr UINT ODT_BUTTON = 4;

struct DRAWITEMSTRUCT {
    UINT CtlType = ODT_BUTTON;
    UINT CtlID = 0;
    UINT itemID = 0;
    UINT itemAction = ODA_DRAWENTIRE;
    UINT itemState = 0;       // ODS_SELECTED, ODS_DISABLED, ODS_FOCUS, ...
    QPainter* hDC = nullptr;  // where the finished item is copied to
    CRect rcItem;             // the whole item, starting at 0, 0
};
