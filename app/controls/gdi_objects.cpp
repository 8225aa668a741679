#include "controls/gdi_objects.h"

namespace {

int g_livePens = 0;

}  // namespace

BOOL CPen::CreatePen(int style, int width, COLORREF colour)
{
    if (m_created || style != PS_SOLID || width < 0 || width > 1) {
        return FALSE;
    }
    m_created = true;
    m_colour = colour & 0x00FFFFFF;
    ++g_livePens;
    return TRUE;
}

BOOL CPen::DeleteObject()
{
    if (!m_created) {
        return FALSE;
    }
    m_created = false;
    --g_livePens;
    return TRUE;
}

int CPen::LiveCount() { return g_livePens; }

BOOL CBrush::CreateSolidBrush(COLORREF colour)
{
    if (m_created) {
        return FALSE;
    }
    m_created = true;
    m_colour = colour & 0x00FFFFFF;
    return TRUE;
}
