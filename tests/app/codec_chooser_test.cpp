// The codec chooser dialog: what it lists for a source format, what OK and Cancel hand back to the
// codec manager, and that the manager calls it when installed.
#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

#include "codec_chooser_dlg.h"

namespace {

WAVEFORMATEX pcm16(uint32_t rate, uint16_t channels)
{
  WAVEFORMATEX wfx{};
  wfx.wFormatTag = WAVE_FORMAT_PCM;
  wfx.nChannels = channels;
  wfx.nSamplesPerSec = rate;
  wfx.wBitsPerSample = 16;
  wfx.nBlockAlign = static_cast<WORD>(channels * 2);
  wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
  return wfx;
}

AcmFormatOffer offer(const char* tag, const char* description, WORD formatTag, WORD bits)
{
  AcmFormatOffer o{};
  o.format.wfx = pcm16(48000, 2);
  o.format.wfx.wFormatTag = formatTag;
  o.format.wfx.wBitsPerSample = bits;
  std::snprintf(o.format_tag_name, sizeof o.format_tag_name, "%s", tag);
  std::snprintf(o.description, sizeof o.description, "%s", description);
  return o;
}

struct ChooseRequest {
  WAVEFORMATEX source = pcm16(48000, 2);
  AcmFormatBuffer chosen{};
  ACMFORMATCHOOSEA afc{};
  ChooseRequest()
  {
    afc.cbStruct = sizeof afc;
    afc.pwfx = &chosen.wfx;
    afc.cbwfx = sizeof chosen;
    afc.pszTitle = "Select audio codec";
    afc.fdwEnum = ACM_FORMATENUMF_SUGGEST;
    afc.pwfxEnum = &source;
  }
};

// Answers the next modal chooser once it is shown: selects (tag, description) and presses OK, or
// presses Cancel when tag is empty.
void answer_chooser(const QString& tag, const QString& description, bool* seen, QString* title)
{
  QTimer::singleShot(0, [=] {
    auto* dialog = qobject_cast<CCodecChooserDlg*>(QApplication::activeModalWidget());
    *seen = dialog != nullptr;
    if (dialog == nullptr) return;
    *title = dialog->windowTitle();
    if (tag.isEmpty() || !dialog->SelectOffer(tag, description)) {
      dialog->reject();
    } else {
      dialog->accept();
    }
  });
}

}  // namespace

TEST(CodecChooser, ListsEachFormatTagOnceAndTheFormatsOfTheSelectedTag)
{
  const std::vector<AcmFormatOffer> offers = {
      offer("PCM", "48.000 kHz, 16 Bit, Stereo", WAVE_FORMAT_PCM, 16),
      offer("PCM", "48.000 kHz, 8 Bit, Stereo", WAVE_FORMAT_PCM, 8),
      offer("IMA ADPCM", "48.000 kHz, 4 Bit, Stereo", WAVE_FORMAT_IMA_ADPCM, 4),
  };
  CCodecChooserDlg dialog("Select audio codec", offers.data(), offers.size());
  EXPECT_EQ(dialog.windowTitle(), "Select audio codec");
  ASSERT_EQ(dialog.FormatTagList()->count(), 2);
  EXPECT_EQ(dialog.FormatTagList()->item(0)->text(), "PCM");
  EXPECT_EQ(dialog.FormatTagList()->item(1)->text(), "IMA ADPCM");
  ASSERT_EQ(dialog.AttributesList()->count(), 2);
  EXPECT_EQ(dialog.AttributesList()->item(1)->text(), "48.000 kHz, 8 Bit, Stereo");
  EXPECT_EQ(dialog.SelectedOffer(), &offers[0]);

  dialog.FormatTagList()->setCurrentRow(1);
  ASSERT_EQ(dialog.AttributesList()->count(), 1);
  EXPECT_EQ(dialog.SelectedOffer(), &offers[2]);
  EXPECT_TRUE(dialog.SelectOffer("PCM", "48.000 kHz, 8 Bit, Stereo"));
  EXPECT_EQ(dialog.SelectedOffer(), &offers[1]);
  EXPECT_FALSE(dialog.SelectOffer("GSM 6.10", "8.000 kHz, Mono"));
}

TEST(CodecChooser, InstalledItAnswersTheCodecManagersChoice)
{
  CCodecChooserDlg::Install(nullptr);
  ChooseRequest request;
  // The offers for 16-bit stereo PCM hold at least the 16-bit and 8-bit PCM formats.
  AcmFormatOffer offers[64];
  const size_t count = acmFormatEnumOffers(&request.source, offers, 64, ACM_CHOOSERF_LOADED_DRIVERS);
  ASSERT_GE(count, 2u);
  const QString tag = QString::fromUtf8(offers[1].format_tag_name);
  const QString description = QString::fromUtf8(offers[1].description);

  bool seen = false;
  QString title;
  answer_chooser(tag, description, &seen, &title);
  EXPECT_EQ(acmFormatChooseA(&request.afc), MMSYSERR_NOERROR);
  EXPECT_TRUE(seen);
  EXPECT_EQ(title, "Select audio codec");
  EXPECT_EQ(request.chosen.wfx.wFormatTag, offers[1].format.wfx.wFormatTag);
  EXPECT_EQ(request.chosen.wfx.wBitsPerSample, offers[1].format.wfx.wBitsPerSample);
  EXPECT_EQ(QString::fromUtf8(request.afc.szFormat), description);

  // Cancel refuses the choice.
  seen = false;
  answer_chooser(QString(), QString(), &seen, &title);
  EXPECT_EQ(acmFormatChooseA(&request.afc), ACMERR_CANCELED);
  EXPECT_TRUE(seen);
  CCodecChooserDlg::Uninstall();
}
