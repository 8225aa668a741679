#include "controls/sys_colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

bool g_fromPalette = false;

COLORREF from_qcolor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

}  // namespace

COLORREF ClassicSysColor(int index)
{
    switch (index) {
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DLIGHT: return RGB(212, 208, 200);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    default: return RGB(0, 0, 0);
    }
}

// The mapping from palette roles to system colours. It follows the roles' own meaning (Qt derives
// the same roles from these system colours on Windows):
//   COLOR_BTNHIGHLIGHT  Light        brightest bevel edge
//   COLOR_3DLIGHT       Midlight     inner light bevel edge
//   COLOR_BTNFACE       Button       button face
//   COLOR_BTNSHADOW     Dark         shadow bevel edge, disabled text
//   COLOR_3DDKSHADOW    Shadow       darkest bevel edge
//   COLOR_WINDOW        Base         background of entry fields
//   COLOR_WINDOWFRAME   WindowText   frame around windows and controls
//   COLOR_HIGHLIGHT     Highlight    selected items, progress fill
COLORREF SysColorFromPalette(const QPalette& palette, int index)
{
    const auto role = [&](QPalette::ColorRole r) { return from_qcolor(palette.color(QPalette::Active, r)); };
    switch (index) {
    case COLOR_BTNHIGHLIGHT: return role(QPalette::Light);
    case COLOR_3DLIGHT: return role(QPalette::Midlight);
    case COLOR_BTNFACE: return role(QPalette::Button);
    case COLOR_BTNSHADOW: return role(QPalette::Dark);
    case COLOR_3DDKSHADOW: return role(QPalette::Shadow);
    case COLOR_WINDOW: return role(QPalette::Base);
    case COLOR_WINDOWFRAME: return role(QPalette::WindowText);
    case COLOR_HIGHLIGHT: return role(QPalette::Highlight);
    default: return RGB(0, 0, 0);
    }
}

COLORREF GetSysColor(int index)
{
    if (g_fromPalette && qGuiApp != nullptr) {
        return SysColorFromPalette(QGuiApplication::palette(), index);
    }
    return ClassicSysColor(index);
}

void UseSysColorsFromPalette(bool fromPalette) { g_fromPalette = fromPalette; }

bool SysColorsFromPalette() { return g_fromPalette; }
