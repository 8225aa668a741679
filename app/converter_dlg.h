// CConverterDlg: the program's only window, built from dialog template 102. It holds the conversion
// controller (and with it the engine), the controls and their bound values (moved by UpdateData),
// the handlers of the file choices and the options, the skin and the elliptic window shape. The
// controller runs Start, Cancel and the timer through the user-interface operations the dialog
// implements.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QIcon>
#include <QMap>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "controls/gdi_types.h"
#include "controls/window_timers.h"
#include "conversion_controller.h"
#include "dialog_template.h"
#include "qelpsnd.h"
#include "ui_operations.h"

class CColorLabel;
class CFileDialogSeam;
class CPaintPacer;
class CShadedButton;
class CShadedProgressCtrl;
class QAbstractButton;
class QCheckBox;
class QLabel;
class QSlider;

class CConverterDlg : public QDialog, public IConverterUi {
  Q_OBJECT

 public:
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
  // Replaces the clock that ends a tick of the conversion (tests step time by hand); nullptr
  // restores the steady clock.
  void SetSteadyClock(std::chrono::steady_clock::time_point (*now)())
  {
    m_steadyNow = now != nullptr ? now : &std::chrono::steady_clock::now;
  }

  // User-interface operations of the conversion controller.
  void SetStatusText(const std::string& text) override;
  void SetStatusFlashing(bool on) override;
  void EnableControl(int id, bool enable) override;
  void SetProgressRange(int lower, int upper) override;
  void SetProgressPos(int pos) override;
  void SetProgressIdleAnimation(bool on) override;
  int GetSliderPos() override;
  void UpdateData(CConverterValues& values, bool save) override;
  void SetTimer(unsigned id, unsigned milliseconds) override;
  void KillTimer(unsigned id) override;
  std::int64_t CurrentTime() override;
  std::chrono::steady_clock::time_point SteadyNow() override { return m_steadyNow(); }
  void DeleteFile(const std::string& path) override;
  void SetStatusAlert(bool on) override;
  bool AskReplaceFile(const std::string& path) override;

  void SetStatusText(const QString& text);
  QString StatusText() const;
  bool StatusAlert() const { return m_statusAlert; }
  bool ConvertTimerRunning() const;

  QWidget* GetDlgItem(int id) const { return m_items.value(id); }
  CQelpsnd& Engine() { return m_controller.m_engine; }
  CConversionController& Controller() { return m_controller; }
  CColorLabel* StatusLabel() const { return m_statusLabel; }
  // Pixels of the client area's origin in window coordinates, and the client size.
  QPoint ClientOrigin() const { return QPoint(FRAME_CX, FRAME_CY + CAPTION_CY); }
  QSize ClientSize() const { return m_clientSize; }
  const QRegion& WindowRgn() const { return m_windowRgn; }

  // Handlers (public so that tests can drive them as the messages would).
  void OnBrowseAc3();
  void OnBrowseWav();
  void OnNormalize();
  void OnAmplify();
  void OnSurround();
  void OnSliderMoved();
  void OnSysCommand(int id);
  // An AC-3 file given by dropping it onto the window: the same steps as a confirmed file dialog.
  void ChooseAc3File(const QString& path);
  // A file given from outside (the command line, a file manager's "Open with"): taken as the AC-3
  // choice under the same conditions as a drop (an existing file named *.ac3, a relative path
  // meaning one in the current folder); otherwise the status line says why not. True when taken.
  bool OpenAc3File(const QString& path);
  // The status line's failure colour: white and black text on red instead of on the skin.
  static constexpr COLORREF ALERT_BK_COLOR = RGB(176, 0, 0);

  // The bound values.
  QString m_bytesText, m_positionText, m_framesText, m_ac3Path, m_wavPath, m_timeText, m_dbText;
  int m_normalize = 0;
  int m_amplifyPos = 0;
  int m_amplify = 0;
  int m_surround = 0;

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
  // Whether the dialog may end now: the controller finishes a running conversion first; during a
  // normalization the dialog closes once the worker is done.
  bool can_close();
  // The read values (paths and options) into the controller's values, after the controls were read.
  void copy_read_values(CConverterValues& values) const;
  // A new file choice: the counters of the last run go, a failure shown goes.
  void begin_new_choice();
  // Whether the WAV file dialog confirmed replacing the chosen file as it is now.
  bool wav_replace_confirmed() const;
  void add_tool_tips();

  // Members in construction order (destroyed in reverse).
  CWindowTimers m_timers{this};  // before the controller, which stops its timer when it goes
  QPixmap m_skinBitmap;
  QRegion m_windowRgn;
  CConversionController m_controller{*this};
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
  CPaintPacer* m_paintPacer = nullptr;
  // The file the WAV dialog confirmed replacing, with its time and size at that moment: a file
  // changed since (by a conversion, say) needs the question again.
  QString m_confirmedWav;
  QDateTime m_confirmedWavTime;
  qint64 m_confirmedWavSize = -1;
  bool m_statusAlert = false;
  QPoint m_dragOffset;
  bool m_dragging = false;
  bool m_closeRequested = false;
  std::chrono::steady_clock::time_point (*m_steadyNow)() = &std::chrono::steady_clock::now;
};
