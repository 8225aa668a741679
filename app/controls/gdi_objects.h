// Pens and brushes as the controls own them: created with a colour, deleted explicitly or with
// the object. Only solid one-pixel pens and solid brushes exist here.
#pragma once

#include "controls/gdi_types.h"

class CPen {
public:
    CPen() = default;
    CPen(const CPen&) = delete;
    CPen& operator=(const CPen&) = delete;
    ~CPen() { DeleteObject(); }

    // A solid pen one pixel wide (width 0 means one pixel too). Other styles and widths are not
    // offered and fail; a pen that already holds a handle fails as in GDI.
    BOOL CreatePen(int style, int width, COLORREF colour);
    BOOL DeleteObject();
    bool GetSafeHandle() const { return m_created; }
    COLORREF GetColor() const { return m_colour; }

    // Pens created and not yet deleted, in the whole process (for leak checks).
    static int LiveCount();

private:
    bool m_created = false;
    COLORREF m_colour = 0;
};

class CBrush {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }

    BOOL CreateSolidBrush(COLORREF colour);
    bool GetSafeHandle() const { return m_created; }
    COLORREF GetColor() const { return m_colour; }

private:
    bool m_created = false;
    COLORREF m_colour = 0;
};
