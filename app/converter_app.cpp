#include "converter_app.h"

#include "app_icon.h"
#include "codec_chooser_dlg.h"
#include "codec_module_preload.h"
#include "converter_dlg.h"
#include "dialog_colors.h"

CConverterApp::CConverterApp(int& argc, char** argv) : QApplication(argc, argv)
{
  setApplicationName(QStringLiteral("QelpConvert"));
  setDesktopFileName(QStringLiteral("qelpconvert"));
  setWindowIcon(AppIcon());
}

int CConverterApp::InitInstance(const QString& ac3File)
{
  // Black dialogs with white text, for every dialog of the program.
  SetDialogBkColor(RGB(0, 0, 0), RGB(255, 255, 255));
  // The format chooser's formats are ready by the time the user has chosen the files.
  const CCodecModulePreload preload;
  {
    // The dialog holds the engine: both live exactly as long as this block.
    CConverterDlg dlg;
    CCodecChooserDlg::Install(&dlg);
    if (!ac3File.isEmpty()) dlg.OpenAc3File(ac3File);
    dlg.exec();
    CCodecChooserDlg::Uninstall();
  }
  return 0;
}
