// The main dialog: construction from template 102, initialisation (icon, slider, status line,
// window shape, skin), the dialog data exchange, the handlers of the file choices and the options,
// the context menu with the about box, moving the window by its skin and dropping an AC-3 file.
#include "converter_dlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QTimerEvent>
#include <QToolTip>
#include <QCursor>
#include <QWindow>
#include <ctime>

#include "about_dlg.h"
#include "app_icon.h"
#include "color_label.h"
#include "controls/shaded_button.h"
#include "controls/shaded_progress_ctrl.h"
#include "dialog_builder.h"
#include "dialog_colors.h"
#include "file_dialog_seam.h"
#include "paint_pacer.h"
#include "res/dialog_templates.h"

namespace {

QColor qcolor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// One row of the dialog data exchange.
struct Binding {
  enum Kind { Control, Text, Check, SliderPos } kind;
  int id;
  QString CConverterDlg::*text;
  int CConverterDlg::*value;
};

// The 21 bindings in the order the exchange handles them. The "control" rows attach a control to
// its member; the controls are created attached here, so those rows only check that they exist.
const Binding kBindings[] = {
    {Binding::Control, IDC_DB_LABEL, nullptr, nullptr},
    {Binding::Control, IDC_AMPLIFY_SLIDER, nullptr, nullptr},
    {Binding::Control, IDC_AMPLIFY, nullptr, nullptr},
    {Binding::Control, IDC_NORMALIZE, nullptr, nullptr},
    {Binding::Control, IDC_BROWSE_WAV, nullptr, nullptr},
    {Binding::Control, IDC_BROWSE_AC3, nullptr, nullptr},
    {Binding::Control, IDOK, nullptr, nullptr},
    {Binding::Control, IDC_CANCEL, nullptr, nullptr},
    {Binding::Control, IDC_START, nullptr, nullptr},
    {Binding::Control, IDC_PROGRESS, nullptr, nullptr},
    {Binding::Text, IDC_BYTES, &CConverterDlg::m_bytesText, nullptr},
    {Binding::Text, IDC_POSITION, &CConverterDlg::m_positionText, nullptr},
    {Binding::Text, IDC_FRAMES, &CConverterDlg::m_framesText, nullptr},
    {Binding::Text, IDC_AC3_PATH, &CConverterDlg::m_ac3Path, nullptr},
    {Binding::Text, IDC_WAV_PATH, &CConverterDlg::m_wavPath, nullptr},
    {Binding::Check, IDC_NORMALIZE, nullptr, &CConverterDlg::m_normalize},
    {Binding::Text, IDC_TIME, &CConverterDlg::m_timeText, nullptr},
    {Binding::SliderPos, IDC_AMPLIFY_SLIDER, nullptr, &CConverterDlg::m_amplifyPos},
    {Binding::Check, IDC_AMPLIFY, nullptr, &CConverterDlg::m_amplify},
    {Binding::Text, IDC_DB_LABEL, &CConverterDlg::m_dbText, nullptr},
    {Binding::Check, IDC_SURROUND, nullptr, &CConverterDlg::m_surround},
};
static_assert(sizeof kBindings / sizeof kBindings[0] == 21);

// Check states as BM_GETCHECK gives them: 0 unchecked, 1 checked, 2 indeterminate.
int check_state(const QAbstractButton* button)
{
  if (const auto* box = qobject_cast<const QCheckBox*>(button)) {
    switch (box->checkState()) {
      case Qt::Unchecked: return 0;
      case Qt::Checked: return 1;
      case Qt::PartiallyChecked: return 2;
    }
  }
  return button->isChecked() ? 1 : 0;
}

// BM_SETCHECK: a state outside 0 to 2 is written as 0.
void set_check_state(QAbstractButton* button, int state)
{
  if (state < 0 || state > 2) state = 0;
  if (auto* box = qobject_cast<QCheckBox*>(button)) {
    const Qt::CheckState wanted = state == 1 ? Qt::Checked : (state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    if (box->checkState() != wanted) box->setCheckState(wanted);
    return;
  }
  button->setChecked(state != 0);
}

QString window_text(const QWidget* control)
{
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  return control->windowTitle();
}

// Replaces a control's text only when it differs, so a frequent refresh redraws nothing unchanged.
void set_window_text(QWidget* control, const QString& text)
{
  if (window_text(control) == text) return;
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  }
}

// The files the AC-3 choice takes: raw AC-3 streams and the containers that carry AC-3 tracks (the
// engine tells them by content and takes the first AC-3 track).
const char* const kAc3Extensions[] = {"ac3", "mkv", "mka", "mp4", "m4a", "m4v", "mov", "vob",
                                      "mpg", "mpeg", "ts", "m2ts", "mts", "avi"};

// The AC-3 file dialog's filter: "AC3-Files (*.ac3 *.mkv ...)".
QString ac3_filter()
{
  QString patterns;
  for (const char* extension : kAc3Extensions) {
    if (!patterns.isEmpty()) patterns += QLatin1Char(' ');
    patterns += QStringLiteral("*.") + QLatin1String(extension);
  }
  return QStringLiteral("AC3-Files (%1)").arg(patterns);
}

bool is_ac3_name(const QString& path)
{
  const QString suffix = QFileInfo(path).suffix();
  for (const char* extension : kAc3Extensions) {
    if (suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// Why a file cannot be the AC-3 choice, or an empty text when it can: what the AC-3 file dialog's
// filter and its must-exist rule would also refuse.
QString ac3_file_problem(const QString& path)
{
  const QFileInfo info(path);
  if (!info.exists()) return QStringLiteral("no such file: %1").arg(path);
  if (!info.isFile()) return QStringLiteral("not a file: %1").arg(path);
  if (!is_ac3_name(path)) return QStringLiteral("not an AC-3 or container file: %1").arg(path);
  return QString();
}

// The WAVE file suggested for an AC-3 file: its name with ".wav" in its folder.
QString suggested_wav_path(const QString& ac3Path)
{
  if (ac3Path.isEmpty()) return QString();
  const QFileInfo info(ac3Path);
  return QDir::toNativeSeparators(info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".wav")));
}

}  // namespace

CConverterDlg::CConverterDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint),
      m_hIcon(AppIcon()),
      m_qtFileDialogs(std::make_unique<CQtFileDialogs>())
{
  m_fileDialogs = m_qtFileDialogs.get();
  // The engine's diagnostics are not shown.
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  const DialogTemplate& tmpl = res::kMainDialog;
  setWindowTitle(DialogText(tmpl.caption));
  setFont(DialogFont(tmpl));
  m_units = BaseUnitsOfFont(font());
  m_clientSize = MapDialogRect(m_units, 0, 0, tmpl.cx, tmpl.cy).size();
  setFixedSize(m_clientSize.width() + 2 * FRAME_CX, m_clientSize.height() + 2 * FRAME_CY + CAPTION_CY);
  ApplyDialogColors(this);
  setAcceptDrops(true);
  create_controls();
  wire_handlers();
  add_tool_tips();
  OnInitDialog();
  // A conversion changes the counters far more often than a screen shows them.
  m_paintPacer = new CPaintPacer(this, CPaintPacer::FrameInterval(this));
}

CConverterDlg::~CConverterDlg() = default;

void CConverterDlg::create_controls()
{
  DialogItems items = CreateDialogItems(this, res::kMainDialog, m_units, ClientOrigin());
  m_items = items.byId;
  m_statusLabel = qobject_cast<CColorLabel*>(m_items.value(IDC_STATUS));
  m_dbLabel = qobject_cast<QLabel*>(m_items.value(IDC_DB_LABEL));
  m_amplifySlider = qobject_cast<QSlider*>(m_items.value(IDC_AMPLIFY_SLIDER));
  m_amplifyCheck = qobject_cast<QCheckBox*>(m_items.value(IDC_AMPLIFY));
  m_normalizeCheck = qobject_cast<QCheckBox*>(m_items.value(IDC_NORMALIZE));
  m_browseWavButton = qobject_cast<CShadedButton*>(m_items.value(IDC_BROWSE_WAV));
  m_browseAc3Button = qobject_cast<CShadedButton*>(m_items.value(IDC_BROWSE_AC3));
  m_exitButton = qobject_cast<CShadedButton*>(m_items.value(IDOK));
  m_cancelButton = qobject_cast<CShadedButton*>(m_items.value(IDC_CANCEL));
  m_startButton = qobject_cast<CShadedButton*>(m_items.value(IDC_START));
  m_progress = qobject_cast<CShadedProgressCtrl*>(m_items.value(IDC_PROGRESS));
  m_surroundCheck = qobject_cast<QAbstractButton*>(m_items.value(IDC_SURROUND));
  // The placeholder 1016 lies outside the ellipse and is never changed; it takes no part in painting.
  if (QWidget* placeholder = m_items.value(IDC_BACKGROUND)) placeholder->lower();
}

void CConverterDlg::wire_handlers()
{
  connect(m_browseAc3Button, &QAbstractButton::clicked, this, [this] { OnBrowseAc3(); });
  connect(m_browseWavButton, &QAbstractButton::clicked, this, [this] { OnBrowseWav(); });
  connect(m_normalizeCheck, &QAbstractButton::clicked, this, [this] { OnNormalize(); });
  connect(m_amplifyCheck, &QAbstractButton::clicked, this, [this] { OnAmplify(); });
  connect(m_surroundCheck, &QAbstractButton::clicked, this, [this] { OnSurround(); });
  // The slider's user moves (mouse, keys); UpdateData sets the position with signals blocked.
  connect(m_amplifySlider, &QSlider::valueChanged, this, [this] { OnSliderMoved(); });
  connect(m_startButton, &QAbstractButton::clicked, this, [this] { m_controller.OnStart(); });
  connect(m_cancelButton, &QAbstractButton::clicked, this, [this] { m_controller.OnCancel(); });
  connect(m_exitButton, &QAbstractButton::clicked, this, [this] { accept(); });
}

void CConverterDlg::add_tool_tips()
{
  m_surroundCheck->setToolTip(tr("DS: surround-compatible fold-down. Pressed, the surround channels go into "
                                 "both outputs in antiphase, for a surround decoder to find again; "
                                 "released, the normal fold-down with the stream's mix levels."));
  m_browseAc3Button->setToolTip(tr("Choose the AC-3 file to convert"));
  m_browseWavButton->setToolTip(tr("Choose the WAVE file to write"));
  m_amplifySlider->setToolTip(tr("Amplification in steps of 5 DB"));
  // While the slider is dragged, its value shows beside the mouse.
  connect(m_amplifySlider, &QSlider::sliderMoved, this, [this](int position) {
    QToolTip::showText(QCursor::pos(), QString::asprintf("%d DB", position * 5), m_amplifySlider);
  });
}

void CConverterDlg::OnInitDialog()
{
  // 1. The first exchange: empty texts, unchecked boxes, slider at 0.
  UpdateData(false);
  // 2. The about entry lives in the context menu (contextMenuEvent).
  // 3. Icons.
  setWindowIcon(m_hIcon);
  // 4. Slider range.
  m_amplifySlider->setRange(0, 10);
  // 5. Status line.
  m_statusLabel->SetLabelTextColor(RGB(255, 255, 255));
  m_statusLabel->SetLabelBkColor(RGB(0, 0, 255));
  m_statusLabel->SetFlashTextColors(RGB(255, 255, 255), RGB(0, 0, 0));
  m_statusLabel->FlashText(1, 1);
  // The skin brush replaces the label's blue background (the dialog's colour answer).
  m_statusLabel->SetBackgroundFromParent(true);
  // 6. Progress bar idle animation.
  m_progress->SetIdleAnimation(TRUE);
  // 7. Status text.
  SetStatusText(QStringLiteral("Select AC3 File to encode"));
  // 8. Normalize and surround on.
  m_normalize = 1;
  m_surround = 1;
  UpdateData(false);
  // 9. Window shape: the ellipse in window coordinates.
  const int w = m_clientSize.width();
  const int h = m_clientSize.height();
  m_windowRgn = QRegion(10, 23, w - 10, (h - 1) - 23, QRegion::Ellipse);
  setMask(m_windowRgn);
  // 10, 11. Skin: bitmap 143, shown centred on the client area beneath all controls (paintEvent).
  InitAppResources();
  m_skinBitmap = QPixmap(QStringLiteral(":/res/skin.bmp"));
  // 12. Focus to the first control with a tab stop.
  m_exitButton->setFocus();
}

bool CConverterDlg::UpdateData(bool save)
{
  for (const Binding& b : kBindings) {
    QWidget* control = m_items.value(b.id);
    if (control == nullptr) return false;
    switch (b.kind) {
      case Binding::Control:
        break;
      case Binding::Text:
        if (save) {
          this->*b.text = window_text(control);
        } else {
          set_window_text(control, this->*b.text);
        }
        break;
      case Binding::Check: {
        auto* button = qobject_cast<QAbstractButton*>(control);
        if (save) {
          this->*b.value = check_state(button);
        } else {
          set_check_state(button, this->*b.value);
        }
        break;
      }
      case Binding::SliderPos: {
        auto* slider = qobject_cast<QSlider*>(control);
        if (save) {
          this->*b.value = slider->value();
        } else if (slider->value() != this->*b.value) {
          const QSignalBlocker quiet(slider);  // setting the position is no user's move
          slider->setValue(this->*b.value);
        }
        break;
      }
    }
  }
  // A click read at once is also what the controller consults (e.g. normalize at the end of a run).
  if (save) copy_read_values(m_controller.Values());
  return true;
}

void CConverterDlg::SetFileDialogs(CFileDialogSeam* dialogs)
{
  m_fileDialogs = dialogs != nullptr ? dialogs : m_qtFileDialogs.get();
}

// --- user-interface operations ---

void CConverterDlg::SetStatusText(const QString& text)
{
  m_statusLabel->setText(text);
  // A text cut short in the line is there in full when the mouse rests on it.
  m_statusLabel->setToolTip(m_statusLabel->TextFits(text) ? QString() : text);
}
void CConverterDlg::SetStatusText(const std::string& text) { SetStatusText(QString::fromLocal8Bit(text)); }
QString CConverterDlg::StatusText() const { return m_statusLabel->text(); }
void CConverterDlg::SetStatusFlashing(bool on) { m_statusLabel->FlashText(on ? 1 : 0, 1); }

void CConverterDlg::EnableControl(int id, bool enable)
{
  if (QWidget* control = m_items.value(id)) control->setEnabled(enable);
}

void CConverterDlg::SetProgressRange(int lower, int upper) { m_progress->SetRange32(lower, upper); }
void CConverterDlg::SetProgressPos(int pos) { m_progress->SetPos(pos); }
void CConverterDlg::SetProgressIdleAnimation(bool on) { m_progress->SetIdleAnimation(on ? TRUE : FALSE); }
int CConverterDlg::GetSliderPos() { return m_amplifySlider->value(); }
void CConverterDlg::SetTimer(unsigned id, unsigned milliseconds) { m_timers.SetTimer(id, static_cast<int>(milliseconds)); }
void CConverterDlg::KillTimer(unsigned id) { m_timers.KillTimer(id); }
bool CConverterDlg::ConvertTimerRunning() const { return m_timers.IsRunning(CONVERT_TIMER_ID); }
std::int64_t CConverterDlg::CurrentTime() { return static_cast<std::int64_t>(std::time(nullptr)); }
void CConverterDlg::DeleteFile(const std::string& path) { QFile::remove(QFile::decodeName(path.c_str())); }

void CConverterDlg::SetStatusAlert(bool on)
{
  if (on == m_statusAlert) return;
  m_statusAlert = on;
  // Its own red background, or the skin beneath it as usual (the blue of initialisation is what
  // the skin replaces).
  m_statusLabel->SetLabelBkColor(on ? ALERT_BK_COLOR : RGB(0, 0, 255));
  m_statusLabel->SetBackgroundFromParent(!on);
}

bool CConverterDlg::AskReplaceFile(const std::string& path)
{
  return m_fileDialogs->AskReplaceFile(this, QFile::decodeName(path.c_str()));
}

// The controller's values and the bound members are one set: reading fills both, writing shows the
// counters the controller formatted.
void CConverterDlg::UpdateData(CConverterValues& values, bool save)
{
  if (save) {
    UpdateData(true);
    copy_read_values(values);
    values.m_bytesText = m_bytesText.toStdString();
    values.m_positionText = m_positionText.toStdString();
    values.m_framesText = m_framesText.toStdString();
    values.m_timeText = m_timeText.toStdString();
  } else {
    m_bytesText = QString::fromStdString(values.m_bytesText);
    m_positionText = QString::fromStdString(values.m_positionText);
    m_framesText = QString::fromStdString(values.m_framesText);
    m_timeText = QString::fromStdString(values.m_timeText);
    UpdateData(false);
  }
}

void CConverterDlg::copy_read_values(CConverterValues& values) const
{
  values.m_ac3Path = QFile::encodeName(m_ac3Path).toStdString();
  values.m_wavPath = QFile::encodeName(m_wavPath).toStdString();
  values.m_normalize = m_normalize;
  values.m_amplify = m_amplify;
  values.m_surround = m_surround;
  values.m_wavConfirmed = wav_replace_confirmed();
}

bool CConverterDlg::wav_replace_confirmed() const
{
  if (m_confirmedWav.isEmpty() || m_confirmedWav != m_wavPath) return false;
  const QFileInfo now(m_wavPath);
  return now.exists() && now.lastModified() == m_confirmedWavTime && now.size() == m_confirmedWavSize;
}

void CConverterDlg::begin_new_choice()
{
  m_bytesText.clear();
  m_positionText.clear();
  m_framesText.clear();
  m_timeText.clear();
  m_controller.ForgetCounters();
  SetStatusAlert(false);
}

// --- file choice and options ---

void CConverterDlg::OnBrowseAc3()
{
  QString path;
  if (m_fileDialogs->GetOpenFileName(this, ac3_filter(), true, &path)) {
    ChooseAc3File(path);
  }
  UpdateData(false);
}

void CConverterDlg::ChooseAc3File(const QString& path)
{
  m_ac3Path = path;
  begin_new_choice();
  SetStatusText(QStringLiteral("Select WAV File to encode"));
  EnableControl(IDC_BROWSE_WAV, true);
  EnableControl(IDC_NORMALIZE, true);
  EnableControl(IDC_AMPLIFY_SLIDER, true);
  EnableControl(IDC_AMPLIFY, true);
  UpdateData(false);
}

void CConverterDlg::OnBrowseWav()
{
  QString path;
  if (m_fileDialogs->GetSaveFileName(this, QStringLiteral("WAV-Files (*.wav)"), suggested_wav_path(m_ac3Path), &path)) {
    m_wavPath = path;
    // An existing file chosen here was confirmed by the dialog: Start will not ask again while
    // the file stays as it is.
    const QFileInfo chosen(path);
    m_confirmedWav = chosen.exists() ? path : QString();
    m_confirmedWavTime = chosen.exists() ? chosen.lastModified() : QDateTime();
    m_confirmedWavSize = chosen.exists() ? chosen.size() : -1;
    begin_new_choice();
    SetStatusText(QStringLiteral("start convert now"));
    EnableControl(IDC_START, true);
    UpdateData(false);
  }
  UpdateData(false);
}

void CConverterDlg::OnNormalize()
{
  UpdateData(true);
  const bool on = m_normalize == 1;
  EnableControl(IDC_DB_LABEL, on);
  EnableControl(IDC_AMPLIFY_SLIDER, on);
  EnableControl(IDC_AMPLIFY, on);
  UpdateData(false);
}

void CConverterDlg::OnAmplify()
{
  UpdateData(true);
  const bool on = m_amplify == 1;
  EnableControl(IDC_DB_LABEL, on);
  EnableControl(IDC_AMPLIFY_SLIDER, on);
  UpdateData(false);
}

void CConverterDlg::OnSurround() { UpdateData(true); }

void CConverterDlg::OnSliderMoved()
{
  UpdateData(true);
  m_dbText = QString::asprintf("%d DB", m_amplifySlider->value() * 5);
  UpdateData(false);
}

void CConverterDlg::OnSysCommand(int id)
{
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.exec();
  }
}

// --- look, moving, menu, dropping ---

void CConverterDlg::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  painter.fillRect(rect(), qcolor(DialogBkColor()));
  const QRect client(ClientOrigin(), m_clientSize);
  if (!m_skinBitmap.isNull()) {
    // The bitmap centred on the client area, clipped where it is larger.
    painter.setClipRect(client);
    const QPoint at(client.left() + (client.width() - m_skinBitmap.width()) / 2,
                    client.top() + (client.height() - m_skinBitmap.height()) / 2);
    painter.drawPixmap(at, m_skinBitmap);
  }
}

void CConverterDlg::timerEvent(QTimerEvent* event)
{
  // Timer 275 is the dialog's only window timer.
  if (m_timers.Dispatch(event, [this](UINT_PTR) { m_controller.OnTimer(); })) {
    if (m_closeRequested && m_controller.GetState() == CConversionController::State::Ready) QDialog::reject();
    return;
  }
  QDialog::timerEvent(event);
}

void CConverterDlg::contextMenuEvent(QContextMenuEvent* event)
{
  QMenu menu(this);
  QAction* about = menu.addAction(QString::fromUtf8(res::kAboutMenuText));
  menu.addSeparator();
  QAction* close = menu.addAction(tr("&Close"));
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == about) OnSysCommand(IDM_ABOUTBOX);
  if (chosen == close) reject();
}

void CConverterDlg::mousePressEvent(QMouseEvent* event)
{
  if (event->button() != Qt::LeftButton) {
    QDialog::mousePressEvent(event);
    return;
  }
  // The window manager moves the window where it can; otherwise it follows the mouse here.
  if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
  m_dragging = true;
  m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CConverterDlg::mouseMoveEvent(QMouseEvent* event)
{
  if (m_dragging && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - m_dragOffset);
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void CConverterDlg::mouseReleaseEvent(QMouseEvent* event)
{
  m_dragging = false;
  QDialog::mouseReleaseEvent(event);
}

void CConverterDlg::dragEnterEvent(QDragEnterEvent* event)
{
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.first().isLocalFile() && is_ac3_name(urls.first().toLocalFile()) &&
      m_browseAc3Button->isEnabled()) {
    event->acceptProposedAction();
  }
}

void CConverterDlg::dropEvent(QDropEvent* event)
{
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !m_browseAc3Button->isEnabled()) return;
  const QString path = urls.first().toLocalFile();
  // The same checks as the file dialog: an existing file with the AC-3 filter's extension.
  if (!ac3_file_problem(path).isEmpty()) return;
  ChooseAc3File(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  event->acceptProposedAction();
}

bool CConverterDlg::OpenAc3File(const QString& path)
{
  const QString problem = ac3_file_problem(path);
  if (!problem.isEmpty()) {
    SetStatusAlert(true);
    SetStatusText(problem);
    return false;
  }
  ChooseAc3File(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  return true;
}

// --- ending the dialog ---

void CConverterDlg::accept()
{
  if (!can_close()) return;
  UpdateData(true);
  QDialog::accept();
}

void CConverterDlg::reject()
{
  if (!can_close()) return;
  QDialog::reject();
}

void CConverterDlg::closeEvent(QCloseEvent* event)
{
  if (!can_close()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

bool CConverterDlg::can_close()
{
  using State = CConversionController::State;
  const State state = m_controller.GetState();
  if (state == State::ScanningPeaks || state == State::ApplyingGain) {
    // The worker rewrites the file in place: the dialog ends when it is done, and says so meanwhile.
    m_closeRequested = true;
    SetStatusText(QStringLiteral("closing when the normalize is done...."));
    return false;
  }
  return m_controller.OnClose();
}
