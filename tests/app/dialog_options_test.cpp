// The main dialog before and between conversions: what is usable in which state, the file choices,
// the normalize and amplify toggles, the slider's label and the data exchange.
#include <QFontInfo>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "dialog_fixture.h"
#include "dialog_template.h"
#include "res/dialog_templates.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

const int kPushAndOptions[] = {IDOK, IDC_START, IDC_CANCEL, IDC_BROWSE_AC3, IDC_BROWSE_WAV,
                               IDC_NORMALIZE, IDC_AMPLIFY, IDC_AMPLIFY_SLIDER, IDC_SURROUND};

// Which of the clickable controls are enabled, and every text the dialog shows.
struct Snapshot {
  std::vector<bool> enabled;
  QStringList texts;
  int normalize, amplify, slider;
  bool operator==(const Snapshot&) const = default;
};

}  // namespace

class DialogOptionsTest : public DialogTest {
 protected:
  Snapshot snapshot() const
  {
    Snapshot s;
    for (int id : kPushAndOptions) s.enabled.push_back(enabled(id));
    for (int id : {IDC_STATUS, IDC_BYTES, IDC_POSITION, IDC_FRAMES, IDC_TIME, IDC_AC3_PATH, IDC_WAV_PATH, IDC_DB_LABEL}) {
      s.texts << text(id);
    }
    s.normalize = check(IDC_NORMALIZE)->checkState();
    s.amplify = check(IDC_AMPLIFY)->checkState();
    s.slider = slider()->value();
    return s;
  }
  QString ac3 = QString::fromStdString(qelp_test::data_path("stereo_44k_192.ac3"));
};

// The AC-3 dialog's filter: raw streams and the containers that carry AC-3 tracks.
const QString kAc3Filter = QStringLiteral(
    "AC3-Files (*.ac3 *.mkv *.mka *.mp4 *.m4a *.m4v *.mov *.vob *.mpg *.mpeg *.ts *.m2ts *.mts *.avi)");

TEST_F(DialogOptionsTest, BeforeAnyFileOnlyTheAc3ButtonExitAndDsAreUsable)
{
  for (int id : kPushAndOptions) {
    const bool expected = id == IDC_BROWSE_AC3 || id == IDOK || id == IDC_SURROUND;
    EXPECT_EQ(enabled(id), expected) << "control " << id;
  }
  EXPECT_EQ(text(IDC_STATUS), "Select AC3 File to encode");
  EXPECT_TRUE(dlg->StatusLabel()->IsFlashing());
  EXPECT_EQ(dlg->StatusLabel()->FlashPeriod(), 1000);
  // The first exchange replaced the template's "Static" and "DB" texts with the empty members.
  for (int id : {IDC_BYTES, IDC_POSITION, IDC_FRAMES, IDC_TIME, IDC_AC3_PATH, IDC_WAV_PATH, IDC_DB_LABEL}) {
    EXPECT_EQ(text(id), "") << "control " << id;
  }
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Checked);
  EXPECT_EQ(check(IDC_AMPLIFY)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(button(IDC_SURROUND)->isChecked());
  EXPECT_EQ(slider()->minimum(), 0);
  EXPECT_EQ(slider()->maximum(), 10);
  EXPECT_EQ(slider()->value(), 0);
  EXPECT_TRUE(qobject_cast<CShadedProgressCtrl*>(item(IDC_PROGRESS))->GetIdleAnimation());
  EXPECT_EQ(dlg->windowTitle(), "Qelps AC3->WAV Converter");
  EXPECT_TRUE(qobject_cast<QPushButton*>(item(IDOK))->isDefault());
}

TEST_F(DialogOptionsTest, CancellingTheAc3DialogChangesNothing)
{
  const Snapshot before = snapshot();
  choose_ac3(QString());
  EXPECT_EQ(files.filters, QStringList{kAc3Filter});
  EXPECT_TRUE(snapshot() == before);
  EXPECT_EQ(dlg->m_ac3Path, "");
}

TEST_F(DialogOptionsTest, ChoosingAnAc3FileEnablesTheOptionsWithNormalizeCheckedAndAmplifyNot)
{
  choose_ac3(ac3);
  EXPECT_EQ(text(IDC_AC3_PATH), ac3);
  EXPECT_EQ(text(IDC_STATUS), "Select WAV File to encode");
  EXPECT_TRUE(dlg->StatusLabel()->IsFlashing());
  EXPECT_TRUE(enabled(IDC_NORMALIZE));
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Checked);
  EXPECT_TRUE(enabled(IDC_AMPLIFY));
  EXPECT_EQ(check(IDC_AMPLIFY)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_EQ(text(IDC_DB_LABEL), "");
  EXPECT_TRUE(enabled(IDC_BROWSE_WAV));
  EXPECT_FALSE(enabled(IDC_START));
  EXPECT_FALSE(enabled(IDC_CANCEL));
}

TEST_F(DialogOptionsTest, NormalizeToggleDisablesAndEnablesAmplifySliderAndLabel)
{
  choose_ac3(ac3);
  check(IDC_NORMALIZE)->click();
  EXPECT_EQ(dlg->m_normalize, 0);
  EXPECT_FALSE(enabled(IDC_AMPLIFY));
  EXPECT_FALSE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_FALSE(enabled(IDC_DB_LABEL));
  check(IDC_NORMALIZE)->click();
  EXPECT_EQ(dlg->m_normalize, 1);
  // All three again, although amplification is off.
  EXPECT_EQ(check(IDC_AMPLIFY)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(enabled(IDC_AMPLIFY));
  EXPECT_TRUE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_TRUE(enabled(IDC_DB_LABEL));
}

TEST_F(DialogOptionsTest, AmplifyToggleSwitchesSliderAndLabel)
{
  choose_ac3(ac3);
  check(IDC_AMPLIFY)->click();
  EXPECT_EQ(dlg->m_amplify, 1);
  EXPECT_TRUE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_TRUE(enabled(IDC_DB_LABEL));
  check(IDC_AMPLIFY)->click();
  EXPECT_EQ(dlg->m_amplify, 0);
  EXPECT_FALSE(enabled(IDC_AMPLIFY_SLIDER));
  EXPECT_FALSE(enabled(IDC_DB_LABEL));
  // The normalize box itself is not touched by the amplify toggle.
  EXPECT_TRUE(enabled(IDC_NORMALIZE));
}

TEST_F(DialogOptionsTest, SliderPositionShowsFiveDecibelsPerStep)
{
  choose_ac3(ac3);
  slider()->setFocus();
  for (int i = 0; i < 7; ++i) QTest::keyClick(slider(), Qt::Key_Right);
  EXPECT_EQ(slider()->value(), 7);
  EXPECT_EQ(text(IDC_DB_LABEL), "35 DB");
  EXPECT_EQ(dlg->m_amplifyPos, 7);
  QTest::keyClick(slider(), Qt::Key_End);
  EXPECT_EQ(text(IDC_DB_LABEL), "50 DB");
  QTest::keyClick(slider(), Qt::Key_Right);  // eleven positions: 10 is the last
  EXPECT_EQ(slider()->value(), 10);
  QTest::keyClick(slider(), Qt::Key_Home);
  EXPECT_EQ(text(IDC_DB_LABEL), "0 DB");
}

TEST_F(DialogOptionsTest, ChoosingTheWavFileMakesStartUsableAndKeepsATypedNameUnchanged)
{
  choose_ac3(ac3);
  choose_wav(QStringLiteral("/tmp/no/such/folder/output"));
  EXPECT_EQ(files.filters, (QStringList{kAc3Filter, "WAV-Files (*.wav)"}));
  EXPECT_TRUE(files.mustExist[0]);   // an input has to exist
  EXPECT_FALSE(files.mustExist[1]);  // an output need not
  EXPECT_EQ(dlg->m_wavPath, "/tmp/no/such/folder/output");
  EXPECT_EQ(text(IDC_WAV_PATH), "/tmp/no/such/folder/output");
  EXPECT_EQ(text(IDC_STATUS), "start convert now");
  EXPECT_TRUE(enabled(IDC_START));
  EXPECT_FALSE(enabled(IDC_CANCEL));

  // Cancelling the WAV dialog keeps the chosen path and Start.
  choose_wav(QString());
  EXPECT_EQ(text(IDC_WAV_PATH), "/tmp/no/such/folder/output");
  EXPECT_TRUE(enabled(IDC_START));

  // A new AC-3 file asks for the WAV file again but leaves Start and the WAV path in force.
  choose_ac3(QString::fromStdString(qelp_test::data_path("mono_48k_96.ac3")));
  EXPECT_EQ(text(IDC_STATUS), "Select WAV File to encode");
  EXPECT_TRUE(enabled(IDC_START));
  EXPECT_EQ(dlg->m_wavPath, "/tmp/no/such/folder/output");
}

TEST_F(DialogOptionsTest, DataExchangeReadsAndWritesEveryBoundValue)
{
  choose_ac3(ac3);
  check(IDC_AMPLIFY)->setChecked(true);
  button(IDC_SURROUND)->setChecked(false);
  {
    const QSignalBlocker quiet(slider());
    slider()->setValue(4);
  }
  qobject_cast<QLabel*>(item(IDC_TIME))->setText("01:02:03");
  ASSERT_TRUE(dlg->UpdateData(true));
  EXPECT_EQ(dlg->m_amplify, 1);
  EXPECT_EQ(dlg->m_surround, 0);
  EXPECT_EQ(dlg->m_amplifyPos, 4);
  EXPECT_EQ(dlg->m_timeText, "01:02:03");
  EXPECT_EQ(dlg->m_ac3Path, ac3);

  dlg->m_bytesText = "3 MB";
  dlg->m_positionText = "1 MB von 2 MB";
  dlg->m_framesText = QString::asprintf("%10d", 37);
  dlg->m_normalize = 7;  // outside 0 to 2: shown unchecked
  dlg->m_surround = 1;
  dlg->m_amplifyPos = 9;
  ASSERT_TRUE(dlg->UpdateData(false));
  EXPECT_EQ(text(IDC_BYTES), "3 MB");
  EXPECT_EQ(text(IDC_POSITION), "1 MB von 2 MB");
  EXPECT_EQ(text(IDC_FRAMES), "        37");
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Unchecked);
  EXPECT_TRUE(button(IDC_SURROUND)->isChecked());
  EXPECT_EQ(slider()->value(), 9);
  // Writing the position is no move of the user's: the label keeps its text.
  EXPECT_EQ(text(IDC_DB_LABEL), "");
  dlg->m_normalize = -1;
  dlg->UpdateData(false);
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Unchecked);
  dlg->m_normalize = 1;
  dlg->UpdateData(false);
  EXPECT_EQ(check(IDC_NORMALIZE)->checkState(), Qt::Checked);
}

TEST_F(DialogOptionsTest, ControlsSitWhereTheTemplatePutsThemInDialogUnits)
{
  const QFont font = dlg->font();
  const DialogBaseUnits units = BaseUnitsOfFont(font);
  RecordProperty("base_units", std::to_string(units.cx) + "x" + std::to_string(units.cy) + " " +
                                   QFontInfo(font).family().toStdString() + " " +
                                   std::to_string(QFontInfo(font).pixelSize()) + "px");
  EXPECT_GT(units.cx, 3);
  EXPECT_GT(units.cy, 8);
  EXPECT_EQ(dlg->ClientSize(), MapDialogRect(units, 0, 0, 301, 217).size());
  for (const DialogItemTemplate& t : res::kMainDialog.items) {
    if (t.id == IDC_STATIC) continue;
    const QRect expected = MapDialogRect(units, t.x, t.y, t.cx, t.cy).translated(dlg->ClientOrigin());
    const QRect got = item(t.id)->geometry();
    EXPECT_EQ(got.topLeft(), expected.topLeft()) << "control " << t.id;
    EXPECT_EQ(got.height(), expected.height()) << "control " << t.id;
    // Plain texts and check boxes may grow to fit their text; nothing shrinks.
    const bool grows = t.kind == DialogItemKind::StaticText && (t.style & (DS_STATICEDGE | DS_CENTER)) == 0;
    const bool box = t.kind == DialogItemKind::AutoCheckBox && (t.style & DS_PUSHLIKE) == 0;
    if (grows || box) {
      EXPECT_GE(got.width(), expected.width()) << "control " << t.id;
      EXPECT_GE(got.width(), item(t.id)->sizeHint().width()) << "control " << t.id;
    } else {
      EXPECT_EQ(got.width(), expected.width()) << "control " << t.id;
    }
  }
}

TEST(DialogUnits, BaseUnitsTurnDialogUnitsIntoPixelsRoundingAsMulDiv)
{
  const DialogBaseUnits units{6, 13};
  // Exit: 125, 177, 50, 14.
  EXPECT_EQ(MapDialogRect(units, 125, 177, 50, 14), QRect(188, 288, 75, 22));
  EXPECT_EQ(MapDialogRect(units, 0, 0, 301, 217), QRect(0, 0, 452, 353));
  EXPECT_EQ(MapDialogRect(units, 1, 1, 0, 0), QRect(2, 2, 0, 0));
  EXPECT_EQ(MapDialogRect(DialogBaseUnits{7, 16}, 4, 8, 4, 8), QRect(7, 16, 7, 16));
}

TEST_F(DialogOptionsTest, WindowIsCutToAnEllipseMeasuredInWindowCoordinates)
{
  const int w = dlg->ClientSize().width();
  const int h = dlg->ClientSize().height();
  const QRegion& rgn = dlg->WindowRgn();
  EXPECT_EQ(rgn.boundingRect(), QRect(QPoint(10, 23), QPoint(w - 1, h - 2)));
  EXPECT_TRUE(rgn.contains(QPoint((10 + w) / 2, (23 + h - 1) / 2)));
  EXPECT_FALSE(rgn.contains(QPoint(11, 24)));      // the box's corner
  EXPECT_FALSE(rgn.contains(QPoint(5, h / 2)));    // left of the box
  EXPECT_FALSE(rgn.contains(QPoint(w / 2, 10)));   // where the caption was
  EXPECT_EQ(dlg->mask(), rgn);
  // The placeholder 1016 lies outside the ellipse.
  EXPECT_FALSE(rgn.intersects(item(IDC_BACKGROUND)->geometry()));
}

TEST_F(DialogOptionsTest, DraggingTheSkinMovesTheWindow)
{
  dlg->move(100, 100);
  dlg->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
  const QPoint start = dlg->pos();
  const QPoint grab(dlg->width() / 2, dlg->height() / 2 + 20);  // skin between the counters
  ASSERT_EQ(dlg->childAt(grab), nullptr);
  const QPoint global = dlg->mapToGlobal(grab);
  QMouseEvent press(QEvent::MouseButtonPress, grab, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dlg.get(), &press);
  // The offscreen platform has no window manager to move it: the window follows the mouse itself.
  QMouseEvent moveEvent(QEvent::MouseMove, grab + QPoint(30, 20), global + QPoint(30, 20), Qt::NoButton,
                        Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dlg.get(), &moveEvent);
  QMouseEvent release(QEvent::MouseButtonRelease, grab + QPoint(30, 20), global + QPoint(30, 20), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(dlg.get(), &release);
  EXPECT_EQ(dlg->pos(), start + QPoint(30, 20));
  // Without the button the mouse moves alone.
  QMouseEvent hover(QEvent::MouseMove, grab + QPoint(60, 40), global + QPoint(60, 40), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(dlg.get(), &hover);
  EXPECT_EQ(dlg->pos(), start + QPoint(30, 20));
}

TEST_F(DialogOptionsTest, TheSkinIsCentredUnderTheControlsAndShowsThroughTexts)
{
  const QImage skin(QStringLiteral(":/res/skin.bmp"));
  ASSERT_EQ(skin.size(), QSize(499, 374));
  EXPECT_FALSE(skin.hasAlphaChannel());
  const QImage shown = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint client = dlg->ClientOrigin();
  const QSize size = dlg->ClientSize();
  // Where the bitmap's pixel (0, 0) lands: centred, clipped where it is larger.
  const QPoint origin = client + QPoint((size.width() - skin.width()) / 2, (size.height() - skin.height()) / 2);
  auto same_as_skin = [&](QPoint at) {
    const QPoint in_skin = at - origin;
    return (shown.pixel(at) & 0xFFFFFF) == (skin.pixel(in_skin) & 0xFFFFFF);
  };
  // Inside the empty counter text 1003, inside the status line's edge, on the bare dialog.
  const QRect position = item(IDC_POSITION)->geometry();
  const QRect status = item(IDC_STATUS)->geometry();
  for (QPoint at : {position.center(), QPoint(status.left() + 4, status.center().y()),
                    QPoint(client.x() + size.width() / 2, client.y() + size.height() / 2 + 60)}) {
    EXPECT_TRUE(same_as_skin(at)) << at.x() << "," << at.y();
  }
  // The frame and caption area the ellipse cuts away is not skin.
  EXPECT_EQ(shown.pixel(1, 1) & 0xFFFFFF, 0u);
}

TEST(SkinBitmap, IsAWindowsBitmapOf499By374PixelsAt24Bits)
{
  const std::vector<uint8_t> bmp = qelp_test::read_bytes(qelp_test::source_path("res/skin.bmp"));
  ASSERT_GE(bmp.size(), 54u);
  auto le32 = [&](size_t at) { return bmp[at] | (bmp[at + 1] << 8) | (bmp[at + 2] << 16) | (uint32_t(bmp[at + 3]) << 24); };
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(le32(18), 499u);                 // width
  EXPECT_EQ(le32(22), 374u);                 // height (bottom-up rows)
  EXPECT_EQ(bmp[28] | (bmp[29] << 8), 24);   // bits per pixel
  EXPECT_EQ(le32(30), 0u);                   // no compression
  EXPECT_EQ(bmp.size(), 54u + 374u * ((499u * 3u + 3u) & ~3u));
}
