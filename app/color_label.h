// CColorLabel: a static text in a colour of its own whose text can flash between two colours on a
// window timer (identifier 1) of the label's own.
#pragma once

#include <QLabel>

#include "controls/gdi_types.h"
#include "controls/window_timers.h"

class CColorLabel : public QLabel {
  Q_OBJECT

 public:
  static constexpr UINT_PTR FLASH_TIMER_ID = 1;

  explicit CColorLabel(QWidget* parent = nullptr);
  ~CColorLabel() override;

  // CLR_INVALID (-1) stands for the system button-text / button-face colour.
  void SetLabelTextColor(COLORREF colour);
  void SetLabelBkColor(COLORREF colour);
  void SetFlashTextColors(COLORREF state0, COLORREF state1);
  // mode 1 flashes, 0 shows m_crText steadily. speed 0: 2000 ms, 1: 1000 ms, 2: 500 ms, else ms.
  void FlashText(int mode, int speed);

  // The colour answer of the label: the text colour it draws in now, its background colour.
  COLORREF CurrentTextColor() const;
  COLORREF BkColor() const { return m_crBk; }
  // A skinned parent paints the label's background itself (the label then draws no background).
  void SetBackgroundFromParent(bool fromParent);

  // Whether a text fits the label in one line; a longer one is drawn with its middle left out.
  bool TextFits(const QString& text) const;

  bool IsFlashing() const { return m_bFlashText == 1; }
  int FlashState() const { return m_nFlashState; }
  int FlashPeriod() const { return m_nFlashPeriod; }
  // One tick of the flash timer (what the window timer calls).
  void OnTimer(UINT_PTR id);

 protected:
  void timerEvent(QTimerEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  UINT_PTR m_nTimerId = 0;
  COLORREF m_crText;
  COLORREF m_crFlashText[2];
  int m_bFlashText = 0;
  int m_nFlashState = 0;
  COLORREF m_crBk;

 private:
  void apply_colours();

  int m_nFlashPeriod = 0;
  bool m_bBackgroundFromParent = false;
  CWindowTimers m_timers{this};
};
