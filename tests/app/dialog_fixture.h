// A main dialog on the offscreen platform with file dialogs and a codec chooser the test answers.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "color_label.h"
#include "controls/shaded_button.h"
#include "controls/shaded_progress_ctrl.h"
#include "converter_dlg.h"
#include "dialog_colors.h"
#include "file_dialog_seam.h"
#include "platform/msacm/msacm.h"
#include "res/resource.h"

// Answers each file dialog with the next scripted path; an empty entry (or none left) cancels.
// The question whether to replace a file is answered with replaceAnswer.
class ScriptedFileDialogs : public CFileDialogSeam {
 public:
  std::vector<QString> answers;
  QStringList filters;
  std::vector<bool> mustExist;
  QStringList suggestions;  // what the save dialogs were opened on
  bool replaceAnswer = true;
  QStringList askedReplace;

  bool GetSaveFileName(QWidget* owner, const QString& filter, const QString& suggested, QString* path) override
  {
    suggestions << suggested;
    return GetOpenFileName(owner, filter, false, path);
  }
  bool AskReplaceFile(QWidget*, const QString& path) override
  {
    askedReplace << path;
    return replaceAnswer;
  }

  bool GetOpenFileName(QWidget*, const QString& filter, bool exist, QString* path) override
  {
    filters << filter;
    mustExist.push_back(exist);
    if (answers.empty()) return false;
    const QString answer = answers.front();
    answers.erase(answers.begin());
    if (answer.isEmpty()) return false;
    *path = answer;
    return true;
  }
};

// The test's codec chooser: takes the first format on offer (16-bit PCM), or cancels.
struct TestChooser {
  static inline int calls = 0;
  static inline bool cancel = false;
  static inline std::string title;
  static MMRESULT choose(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void*)
  {
    ++calls;
    title = afc->pszTitle != nullptr ? afc->pszTitle : "";
    if (cancel || count == 0) return ACMERR_CANCELED;
    return acmFormatOfferTake(afc, &offers[0]);
  }
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    SetDialogBkColor(RGB(0, 0, 0), RGB(255, 255, 255));
    TestChooser::calls = 0;
    TestChooser::cancel = false;
    acmSetFormatChooser(&TestChooser::choose, nullptr, ACM_CHOOSERF_LOADED_DRIVERS);
    dlg = std::make_unique<CConverterDlg>();
    dlg->SetFileDialogs(&files);
  }
  void TearDown() override
  {
    dlg.reset();
    acmSetFormatChooser(nullptr, nullptr, 0);
  }

  QWidget* item(int id) const { return dlg->GetDlgItem(id); }
  bool enabled(int id) const { return item(id)->isEnabled(); }
  QString text(int id) const { return qobject_cast<QLabel*>(item(id))->text(); }
  QCheckBox* check(int id) const { return qobject_cast<QCheckBox*>(item(id)); }
  QSlider* slider() const { return qobject_cast<QSlider*>(item(IDC_AMPLIFY_SLIDER)); }
  QAbstractButton* button(int id) const { return qobject_cast<QAbstractButton*>(item(id)); }

  // Clicks on "..." with the answer the file dialog will give.
  void choose_ac3(const QString& path)
  {
    files.answers.push_back(path);
    button(IDC_BROWSE_AC3)->click();
  }
  void choose_wav(const QString& path)
  {
    files.answers.push_back(path);
    button(IDC_BROWSE_WAV)->click();
  }

  ScriptedFileDialogs files;
  std::unique_ptr<CConverterDlg> dlg;
};
