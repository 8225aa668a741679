// The batch rule of `qelp convert`: which argument is an input and where each goes. An AC-3 file is
// never taken for an output, whatever its name; a folder named last collects the outputs.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "convert_plan.h"

namespace {

// A file system of a few folders and AC-3 files.
class FakeFacts : public PathFacts {
 public:
  std::set<std::string> folders{"out", "music/"};
  std::set<std::string> ac3_files{"a.ac3", "b.ac3", "b.AC3", "disguised.wav", "noext"};
  bool is_directory(const std::string& path) const override { return folders.count(path) != 0; }
  bool holds_ac3(const std::string& path) const override { return ac3_files.count(path) != 0; }
};

// "in>out" per job, or "error: ...".
std::vector<std::string> plan(const std::vector<std::string>& args, const std::string& dir = "") {
  const FakeFacts facts;
  const ConvertPlan p = plan_conversions(args, dir, facts);
  if (!p.error.empty()) return {"error: " + p.error};
  std::vector<std::string> jobs;
  for (const ConvertJob& j : p.jobs) jobs.push_back(j.in + ">" + j.out);
  return jobs;
}

using V = std::vector<std::string>;

TEST(ConvertPlan, OneInputGoesNextToItself) {
  EXPECT_EQ(plan({"a.ac3"}), (V{"a.ac3>a.wav"}));
  EXPECT_EQ(plan({"dir.x/noext"}), (V{"dir.x/noext>dir.x/noext.wav"}));
  EXPECT_EQ(plan({"dir/.hidden"}), (V{"dir/.hidden>dir/.hidden.wav"}));
  EXPECT_EQ(plan({"-"}), (V{"->-"})) << "standard input goes to standard output";
}

TEST(ConvertPlan, TwoArgumentsAreInAndOutWhenOutCannotBeAnInput) {
  EXPECT_EQ(plan({"a.ac3", "x.wav"}), (V{"a.ac3>x.wav"}));
  EXPECT_EQ(plan({"a.ac3", "new.raw"}), (V{"a.ac3>new.raw"}));
  EXPECT_EQ(plan({"a.ac3", "-"}), (V{"a.ac3>-"}));
  EXPECT_EQ(plan({"-", "x.wav"}), (V{"->x.wav"}));
  EXPECT_EQ(plan({"-", "-"}), (V{"->-"}));
}

TEST(ConvertPlan, AnOutThatIsOrMayBeAnAc3FileMakesEveryArgumentAnInput) {
  EXPECT_EQ(plan({"a.ac3", "b.ac3"}), (V{"a.ac3>a.wav", "b.ac3>b.wav"}));
  EXPECT_EQ(plan({"a.ac3", "missing.ac3"}), (V{"a.ac3>a.wav", "missing.ac3>missing.wav"}));
  EXPECT_EQ(plan({"a.ac3", "b.AC3"}), (V{"a.ac3>a.wav", "b.AC3>b.wav"}));
  // The content decides, not the name.
  EXPECT_EQ(plan({"a.ac3", "noext"}), (V{"a.ac3>a.wav", "noext>noext.wav"}));
  // A disguised AC-3 file is an input; its own output would be itself, which the run refuses.
  EXPECT_EQ(plan({"a.ac3", "disguised.wav"}), (V{"a.ac3>a.wav", "disguised.wav>disguised.wav"}));
}

TEST(ConvertPlan, SeveralArgumentsAreAllInputs) {
  EXPECT_EQ(plan({"a.ac3", "b.ac3", "c.ac3"}), (V{"a.ac3>a.wav", "b.ac3>b.wav", "c.ac3>c.wav"}));
  EXPECT_EQ(plan({"a.ac3", "b.ac3", "c.wav"}).front().rfind("error: 'c.wav' looks like an output file", 0), 0u);
  EXPECT_EQ(plan({"a.ac3", "b.ac3", "C.WAV"}).front().rfind("error: 'C.WAV' looks like an output file", 0), 0u);
  EXPECT_EQ(plan({"x/a.ac3", "y/a.ac3"}, "out"),
            (V{"error: 'x/a.ac3' and 'y/a.ac3' would both be written to 'out/a.wav'"}));
  EXPECT_EQ(plan({"a.ac3", "a.ac3"}).front().rfind("error: ", 0), 0u);
}

TEST(ConvertPlan, AFolderCollectsTheOutputs) {
  EXPECT_EQ(plan({"x/a.ac3", "b.ac3"}, "out"), (V{"x/a.ac3>out/a.wav", "b.ac3>out/b.wav"}));
  EXPECT_EQ(plan({"a.ac3", "out"}), (V{"a.ac3>out/a.wav"}));
  EXPECT_EQ(plan({"a.ac3", "b.ac3", "music/"}), (V{"a.ac3>music/a.wav", "b.ac3>music/b.wav"}));
  EXPECT_EQ(plan({"a.ac3", "x.wav"}, "out"), (V{"a.ac3>out/a.wav", "x.wav>out/x.wav"}))
      << "with -o every argument is an input";
}

TEST(ConvertPlan, StandardInputOnlyOnItsOwn) {
  EXPECT_EQ(plan({"-", "a.ac3"}).front().rfind("error: standard input ('-') can only be converted on its own", 0), 0u);
  EXPECT_EQ(plan({"a.ac3", "-", "b.ac3"}).front().rfind("error: standard input", 0), 0u);
  EXPECT_EQ(plan({"-"}, "out").front().rfind("error: standard input ('-') has no name", 0), 0u);
  EXPECT_EQ(plan({"-", "out"}).front().rfind("error: standard input ('-') has no name", 0), 0u);
  EXPECT_EQ(plan({}), (V{"error: no input file given"}));
}

TEST(ConvertPlan, ExtensionsInAnyCase) {
  EXPECT_TRUE(has_extension("A.AC3", ".ac3"));
  EXPECT_TRUE(has_extension("x.Wav", ".wav"));
  EXPECT_FALSE(has_extension(".ac3", ".ac3")) << "a hidden file's whole name";
  EXPECT_FALSE(has_extension("dir/.ac3", ".ac3"));
  EXPECT_FALSE(has_extension("ac3", ".ac3"));
  EXPECT_EQ(wav_name_for("d.x/a.b.ac3", ""), "d.x/a.b.wav");
  EXPECT_EQ(wav_name_for("d.x/a.b.ac3", "out/"), "out/a.b.wav");
}

}  // namespace
