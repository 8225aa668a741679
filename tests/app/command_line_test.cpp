// The program's command line: one AC-3 file, help and version, usage errors; and a file given
// from outside becoming the AC-3 choice as a drop would, or saying why not.
#include <QDir>
#include <filesystem>

#include "command_line.h"
#include "dialog_fixture.h"
#include "support/paths.h"

using Action = CommandLine::Action;

TEST(CommandLineParse, OneFileHelpVersionAndWhatIsRefused)
{
  EXPECT_EQ(ParseCommandLine({}).action, Action::Run);
  EXPECT_EQ(ParseCommandLine({}).file, "");
  const CommandLine one = ParseCommandLine({"film.ac3"});
  EXPECT_EQ(one.action, Action::Run);
  EXPECT_EQ(one.file, "film.ac3");
  EXPECT_EQ(ParseCommandLine({"--help"}).action, Action::Help);
  EXPECT_EQ(ParseCommandLine({"-h"}).action, Action::Help);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, Action::Version);
  // Help wins over what else is there, even an option unknown here (Qt's own, before Qt saw it).
  EXPECT_EQ(ParseCommandLine({"-platform", "offscreen", "--help"}).action, Action::Help);

  const CommandLine unknown = ParseCommandLine({"--frobnicate"});
  EXPECT_EQ(unknown.action, Action::UsageError);
  EXPECT_EQ(unknown.error, "unknown option --frobnicate");
  EXPECT_EQ(ParseCommandLine({"a.ac3", "b.ac3"}).error, "one AC-3 file at most");
  EXPECT_EQ(ParseCommandLine({""}).action, Action::UsageError);

  // After "--" names that look like options are files; a lone "-" is a file name too.
  const CommandLine dashed = ParseCommandLine({"--", "--help"});
  EXPECT_EQ(dashed.action, Action::Run);
  EXPECT_EQ(dashed.file, "--help");
  EXPECT_EQ(ParseCommandLine({"-"}).file, "-");
  EXPECT_NE(std::string(UsageText()).find("Usage: QelpConvert [FILE.ac3]"), std::string::npos);
  EXPECT_EQ(std::string(VersionText()), "QelpConvert 1.0\n");
}

TEST_F(DialogTest, AFileFromOutsideIsTheAc3ChoiceWithTheOptionsEnabled)
{
  const QString demo = QString::fromStdString(qelp_test::source_path("samples/demo.ac3"));
  ASSERT_TRUE(dlg->OpenAc3File(demo));
  EXPECT_EQ(dlg->m_ac3Path, demo);
  EXPECT_EQ(text(IDC_AC3_PATH), demo);
  EXPECT_EQ(text(IDC_STATUS), "Select WAV File to encode");
  EXPECT_FALSE(dlg->StatusAlert());
  for (int id : {IDC_BROWSE_WAV, IDC_NORMALIZE, IDC_AMPLIFY, IDC_AMPLIFY_SLIDER}) EXPECT_TRUE(enabled(id)) << id;
  EXPECT_FALSE(enabled(IDC_START));
}

TEST_F(DialogTest, ARelativePathMeansOneInTheCurrentFolder)
{
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(qelp_test::source_path("samples"))));
  const bool taken = dlg->OpenAc3File(QStringLiteral("demo.ac3"));
  QDir::setCurrent(before);
  ASSERT_TRUE(taken);
  EXPECT_EQ(dlg->m_ac3Path, QString::fromStdString(qelp_test::source_path("samples/demo.ac3")));
}

TEST_F(DialogTest, AFileFromOutsideThatCannotBeTakenIsSaid)
{
  const std::string dir = qelp_test::scratch_dir();
  const QString missing = QString::fromStdString(dir + "/gone.ac3");
  EXPECT_FALSE(dlg->OpenAc3File(missing));
  EXPECT_EQ(text(IDC_STATUS), "no such file: " + missing);
  EXPECT_TRUE(dlg->StatusAlert());
  EXPECT_FALSE(enabled(IDC_BROWSE_WAV));
  EXPECT_EQ(dlg->m_ac3Path, "");

  const QString script = QString::fromStdString(qelp_test::data_path("make_fixtures.sh"));
  EXPECT_FALSE(dlg->OpenAc3File(script));
  EXPECT_EQ(text(IDC_STATUS), "not an AC-3 or container file: " + script);
  std::filesystem::create_directory(dir + "/folder.ac3");
  EXPECT_FALSE(dlg->OpenAc3File(QString::fromStdString(dir + "/folder.ac3")));
  EXPECT_TRUE(text(IDC_STATUS).startsWith("not a file: "));

  // The file dialog still works afterwards, and ends the alert.
  choose_ac3(QString::fromStdString(qelp_test::data_path("stereo_48k_192.ac3")));
  EXPECT_FALSE(dlg->StatusAlert());
  EXPECT_TRUE(enabled(IDC_BROWSE_WAV));
}
