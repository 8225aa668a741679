// CCodecChooserDlg: the audio format chooser the program installs into the codec manager. It lists
// the format tags on offer and, for the selected tag, the formats (attributes) the codecs make from
// the source; OK takes the selected format, Cancel refuses the choice.
#pragma once

#include <QDialog>
#include <cstddef>

#include "platform/msacm/msacm.h"

class QListWidget;

class CCodecChooserDlg : public QDialog {
  Q_OBJECT

 public:
  CCodecChooserDlg(const char* title, const AcmFormatOffer* offers, size_t count, QWidget* parent = nullptr);

  // The offer selected now (nullptr when none).
  const AcmFormatOffer* SelectedOffer() const;
  // Selects the offer with this format-tag name and description; false when there is none.
  bool SelectOffer(const QString& tagName, const QString& description);

  QListWidget* FormatTagList() const { return m_tags; }
  QListWidget* AttributesList() const { return m_attributes; }

  // The chooser installed with acmSetFormatChooser; user is the owner window (may be null).
  static MMRESULT Choose(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* user);
  // Installs Choose into the codec manager, owned by the given window.
  static void Install(QWidget* owner);
  // Takes the chooser out again (the first offered format is then taken).
  static void Uninstall();

 private:
  void fill_attributes();

  const AcmFormatOffer* m_offers;
  size_t m_count;
  QListWidget* m_tags;
  QListWidget* m_attributes;
};
