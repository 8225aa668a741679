// CShadedProgressCtrl: a progress bar painted as a shaded tube in tones of the system highlight
// colour on a light track, or, while the program is idle, as diagonal stripes that move one pixel
// every 25 ms. The whole control is composed off screen and copied in one step.
//
// Range and position are kept here with the clamping of a Win32 progress control (QProgressBar
// ignores positions outside its range, the Win32 control moves them to the nearest limit) and
// mirrored into the QProgressBar for its readers. Set them through SetRange32 and SetPos.
#pragma once

#include <QProgressBar>

#include "controls/gdi_objects.h"
#include "controls/gdi_types.h"
#include "controls/window_timers.h"

class CMemoryDC;
class QPainter;

class CShadedProgressCtrl : public QProgressBar {
    Q_OBJECT

public:
    static constexpr UINT_PTR ANIM_TIMER_ID = 100;
    static constexpr int ANIM_PERIOD_MS = 25;
    static constexpr int ANIM_PHASES = 20;

    explicit CShadedProgressCtrl(QWidget* parent = nullptr);
    ~CShadedProgressCtrl() override;

    // On: phase 0, repaint, timer 100 every 25 ms. Off: timer stopped, repaint with the position.
    void SetIdleAnimation(BOOL on);
    BOOL GetIdleAnimation() const { return m_bIdleAnimation; }
    int GetAnimPhase() const { return m_nAnimPhase; }

    // The Win32 progress range and position: the position always lies within the range.
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int pos);  // returns the previous position
    int GetPos() const { return m_nPos; }

    // PBS_VERTICAL for a vertical bar (the progress bar's orientation).
    DWORD GetStyle() const;

    // One tick of a window timer; only the animation timer does anything.
    void OnTimer(UINT_PTR id);

    // Composes the whole control and copies it into the painter at 0, 0.
    void OnPaint(QPainter& dest);

protected:
    void InitTones();
    void CreateTonePens();
    void DeleteTonePens();

    // The bar's rectangle is the filled part (or the whole control while the animation runs).
    void DrawHorizontalBar(CMemoryDC& dc, const CRect& bar);
    void DrawVerticalBar(CMemoryDC& dc, const CRect& bar);
    void DrawHorizontalStripes(CMemoryDC& dc, const CRect& bar);
    void DrawVerticalStripes(CMemoryDC& dc, const CRect& bar);

    void RedrawWindow();

    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    int m_nAnimPhase = 0;
    BOOL m_bIdleAnimation = FALSE;
    CPen m_penBase;
    CPen m_penLight1;
    CPen m_penLight2;
    CPen m_penDark1;
    CPen m_penDark2;
    CPen m_penShadowDark;
    CPen m_penShadow;
    COLORREF m_clrBase = 0;
    COLORREF m_clrLight1 = 0;
    COLORREF m_clrLight2 = 0;
    COLORREF m_clrLight3 = 0;
    COLORREF m_clrDark1 = 0;
    COLORREF m_clrDark2 = 0;
    COLORREF m_clrDarkShadow = 0;
    COLORREF m_clrShadowDark = 0;
    COLORREF m_clrShadow = 0;

private:
    const CPen* stripe_pen(int offset) const;
    // Pixels of the track the position fills, along the bar's length.
    int filled_extent(int pos) const;
    // Sets QProgressBar's range and value to ours without the repaint it would make.
    void mirror_range_and_value();

    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    CWindowTimers m_timers{this};
};
