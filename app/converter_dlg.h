// CConverterDlg: the program's only window, built from dialog template 102. It holds the engine, the
// controls and their bound values (moved by UpdateData), the handlers of the file choices and the
// options, the skin and the elliptic window shape; the conversion itself is run by the controller
// through the user-interface operations below.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QMap>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QString>
#include <ctime>
#include <memory>

#include "controls/gdi_types.h"
#include "controls/window_timers.h"
#include "dialog_template.h"
#include "qelpsnd.h"

class CColorLabel;
class CFileDialogSeam;
class CShadedButton;
class CShadedProgressCtrl;
class QAbstractButton;
class QCheckBox;
class QLabel;
class QSlider;

class CConverterDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr UINT_PTR CONVERT_TIMER_ID = 275;
  // The non-client area the window shape is measured against: a dialog frame of 3 pixels and a
  // caption of 19 pixels, the standard metrics of the platform the layout was made for. The window
  // draws no frame or caption of its own (the ellipse cuts both away); the client area sits inside.
  static constexpr int FRAME_CX = 3;
  static constexpr int FRAME_CY = 3;
  static constexpr int CAPTION_CY = 19;

  explicit CConverterDlg(QWidget* parent = nullptr);
  ~CConverterDlg() override;

  // Dialog data exchange over the 21 bindings: save reads the controls into the members, otherwise
  // the members are shown by the controls.
  bool UpdateData(bool save = true);

  // Replaces the file dialogs (the dialog keeps no ownership; nullptr restores Qt's).
  void SetFileDialogs(CFileDialogSeam* dialogs);

  // User-interface operations of the conversion controller.
  void SetStatusText(const QString& text);
  QString StatusText() const;
  void SetStatusFlashing(bool on);
  void EnableControl(int id, bool enable);
  void SetProgressRange(int upper);
  void SetProgressPos(int pos);
  void SetProgressIdleAnimation(bool on);
  int SliderPos() const;
  void SetConvertTimer(int milliseconds);
  void KillConvertTimer();
  bool ConvertTimerRunning() const;

  QWidget* GetDlgItem(int id) const { return m_items.value(id); }
  CQelpsnd& Engine() { return m_engine; }
  CColorLabel* StatusLabel() const { return m_statusLabel; }
  // Pixels of the client area's origin in window coordinates, and the client size.
  QPoint ClientOrigin() const { return QPoint(FRAME_CX, FRAME_CY + CAPTION_CY); }
  QSize ClientSize() const { return m_clientSize; }
  const QRegion& WindowRgn() const { return m_windowRgn; }

  // Handlers (public so that the controller and tests can drive them as the messages would).
  void OnBrowseAc3();
  void OnBrowseWav();
  void OnNormalize();
  void OnAmplify();
  void OnSurround();
  void OnSliderMoved();
  void OnStart();
  void OnCancel();
  void OnTimer();
  void OnSysCommand(int id);
  // An AC-3 file given by dropping it onto the window: the same steps as a confirmed file dialog.
  void ChooseAc3File(const QString& path);

  // The bound values.
  QString m_bytesText, m_positionText, m_framesText, m_ac3Path, m_wavPath, m_timeText, m_dbText;
  int m_normalize = 0;
  int m_amplifyPos = 0;
  int m_amplify = 0;
  int m_surround = 0;

 signals:
  void conversionStateChanged();

 protected:
  void OnInitDialog();
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override;

 private:
  void create_controls();
  void wire_handlers();
  // The controller asks whether the dialog may end now; it finishes a running conversion first.
  bool can_close();
  void set_push_buttons(bool start, bool cancel, bool exit, bool browse);
  void end_conversion();
  void show_ready(const QString& text);
  QString engine_failure_text() const;

  // Members in construction order (destroyed in reverse).
  QPixmap m_skinBitmap;
  QRegion m_windowRgn;
  CQelpsnd m_engine;
  CColorLabel* m_statusLabel = nullptr;
  QLabel* m_dbLabel = nullptr;
  QSlider* m_amplifySlider = nullptr;
  QCheckBox* m_amplifyCheck = nullptr;
  QCheckBox* m_normalizeCheck = nullptr;
  CShadedButton* m_browseWavButton = nullptr;
  CShadedButton* m_browseAc3Button = nullptr;
  CShadedButton* m_exitButton = nullptr;
  CShadedButton* m_cancelButton = nullptr;
  CShadedButton* m_startButton = nullptr;
  CShadedProgressCtrl* m_progress = nullptr;
  QAbstractButton* m_surroundCheck = nullptr;
  QIcon m_hIcon;

  QMap<int, QWidget*> m_items;
  QSize m_clientSize;
  DialogBaseUnits m_units{};
  std::unique_ptr<CFileDialogSeam> m_qtFileDialogs;
  CFileDialogSeam* m_fileDialogs = nullptr;
  CWindowTimers m_timers{this};
  QPoint m_dragOffset;
  bool m_dragging = false;

  // Conversion controller state.
  int m_frameCount = 0;
  std::time_t m_startTime = 0;
  std::time_t m_now = 0;
  bool m_normalizing = false;
  bool m_normRunningShown = false;
  bool m_converting = false;
  bool m_closeRequested = false;
};
