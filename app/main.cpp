// QelpConvert: converts AC-3 files into stereo WAVE files in one skinned dialog.
#include <QStringList>
#include <cstdio>

#include "command_line.h"
#include "converter_app.h"

namespace {

std::vector<std::string> arguments_after_name(const QStringList& all)
{
  std::vector<std::string> args;
  for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toLocal8Bit().toStdString());
  return args;
}

}  // namespace

int main(int argc, char** argv)
{
  // Help and version need no display: they are answered before the window system is reached.
  std::vector<std::string> raw(argv + (argc > 0 ? 1 : 0), argv + argc);
  const CommandLine early = ParseCommandLine(raw);
  if (early.action == CommandLine::Action::Help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (early.action == CommandLine::Action::Version) {
    std::fputs(VersionText(), stdout);
    return 0;
  }
  CConverterApp app(argc, argv);
  // Qt has taken its own options (-platform, -display, ...) out by now.
  const CommandLine line = ParseCommandLine(arguments_after_name(QCoreApplication::arguments()));
  if (line.action == CommandLine::Action::UsageError) {
    std::fprintf(stderr, "QelpConvert: %s\n%s", line.error.c_str(), UsageText());
    return 2;
  }
  return app.InitInstance(QString::fromLocal8Bit(line.file.c_str()));
}
