#include "codec_chooser_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <cstring>

#include "app_icon.h"

namespace {
constexpr int kOfferIndexRole = Qt::UserRole;

QString tag_name(const AcmFormatOffer& offer)
{
  return QString::fromUtf8(offer.format_tag_name, static_cast<int>(strnlen(offer.format_tag_name, sizeof offer.format_tag_name)));
}

QString description(const AcmFormatOffer& offer)
{
  return QString::fromUtf8(offer.description, static_cast<int>(strnlen(offer.description, sizeof offer.description)));
}
}  // namespace

CCodecChooserDlg::CCodecChooserDlg(const char* title, const AcmFormatOffer* offers, size_t count, QWidget* parent)
    : QDialog(parent), m_offers(offers), m_count(count), m_tags(new QListWidget(this)), m_attributes(new QListWidget(this))
{
  setWindowTitle(title != nullptr ? QString::fromUtf8(title) : QString());
  setWindowIcon(AppIcon());
  setModal(true);  // in the platform's dialog colours, as the file dialogs

  auto* layout = new QGridLayout(this);
  auto* tagLabel = new QLabel(tr("&Format:"), this);
  auto* attributesLabel = new QLabel(tr("&Attributes:"), this);
  tagLabel->setBuddy(m_tags);
  attributesLabel->setBuddy(m_attributes);
  layout->addWidget(tagLabel, 0, 0);
  layout->addWidget(attributesLabel, 0, 1);
  layout->addWidget(m_tags, 1, 0);
  layout->addWidget(m_attributes, 1, 1);
  layout->setColumnStretch(1, 2);
  // Says why only PCM is offered when the compressed formats' codec module could not be loaded.
  const char* problem = acmCodecModuleProblem();
  if (problem != nullptr && problem[0] != '\0') {
    auto* note = new QLabel(QString::fromLocal8Bit(problem), this);
    note->setWordWrap(true);
    layout->addWidget(note, 2, 0, 1, 2);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons, 3, 0, 1, 2);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // One entry per format tag, in the order the drivers offer them.
  for (size_t i = 0; i < m_count; ++i) {
    const QString name = tag_name(m_offers[i]);
    if (m_tags->findItems(name, Qt::MatchExactly).isEmpty()) m_tags->addItem(name);
  }
  connect(m_tags, &QListWidget::currentRowChanged, this, [this] { fill_attributes(); });
  connect(m_attributes, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  if (m_tags->count() > 0) m_tags->setCurrentRow(0);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(m_count > 0);
  resize(520, 300);
}

void CCodecChooserDlg::fill_attributes()
{
  m_attributes->clear();
  const QListWidgetItem* tag = m_tags->currentItem();
  if (tag == nullptr) return;
  for (size_t i = 0; i < m_count; ++i) {
    if (tag_name(m_offers[i]) != tag->text()) continue;
    auto* item = new QListWidgetItem(description(m_offers[i]), m_attributes);
    item->setData(kOfferIndexRole, static_cast<qulonglong>(i));
  }
  if (m_attributes->count() > 0) m_attributes->setCurrentRow(0);
}

const AcmFormatOffer* CCodecChooserDlg::SelectedOffer() const
{
  const QListWidgetItem* item = m_attributes->currentItem();
  if (item == nullptr) return nullptr;
  const size_t index = item->data(kOfferIndexRole).toULongLong();
  return index < m_count ? &m_offers[index] : nullptr;
}

bool CCodecChooserDlg::SelectOffer(const QString& tagName, const QString& desc)
{
  const QList<QListWidgetItem*> tags = m_tags->findItems(tagName, Qt::MatchExactly);
  if (tags.isEmpty()) return false;
  m_tags->setCurrentItem(tags.first());
  const QList<QListWidgetItem*> rows = m_attributes->findItems(desc, Qt::MatchExactly);
  if (rows.isEmpty()) return false;
  m_attributes->setCurrentItem(rows.first());
  return true;
}

MMRESULT CCodecChooserDlg::Choose(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* user)
{
  CCodecChooserDlg dialog(afc->pszTitle, offers, count, static_cast<QWidget*>(user));
  if (dialog.exec() != QDialog::Accepted) return ACMERR_CANCELED;
  const AcmFormatOffer* offer = dialog.SelectedOffer();
  if (offer == nullptr) return ACMERR_CANCELED;
  return acmFormatOfferTake(afc, offer);
}

void CCodecChooserDlg::Install(QWidget* owner) { acmSetFormatChooser(&CCodecChooserDlg::Choose, owner, 0); }

void CCodecChooserDlg::Uninstall() { acmSetFormatChooser(nullptr, nullptr, 0); }
