// The option reader every command uses: combined short options, values attached or following,
// --name=value, "--", "-" as an argument, and one error that names the option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

enum { kYes, kQuiet, kFormat, kAmplify, kDebug };
constexpr OptionDef kDefs[] = {
    {'y', "yes", false, kYes},          {'q', "quiet", false, kQuiet}, {'f', "format", true, kFormat},
    {'a', "amplify", true, kAmplify},   {'\0', "debug", false, kDebug},
};

// The items read, as "id=value" for options and "arg" for arguments; an error as "error: ...".
std::vector<std::string> read(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  OptionReader reader(static_cast<int>(argv.size()), argv.data(), kDefs, sizeof kDefs / sizeof kDefs[0]);
  std::vector<std::string> items;
  for (OptionReader::Item item = reader.next(); item.kind != OptionReader::Kind::end; item = reader.next()) {
    if (item.kind == OptionReader::Kind::error) {
      items.push_back("error: " + reader.error());
      break;
    }
    items.push_back(item.kind == OptionReader::Kind::argument ? item.value
                                                              : std::to_string(item.id) + "=" + item.value);
  }
  return items;
}

using V = std::vector<std::string>;

TEST(OptionReader, ShortOptionsAloneAndCombined) {
  EXPECT_EQ(read({"-y", "-q", "in.ac3"}), (V{"0=", "1=", "in.ac3"}));
  EXPECT_EQ(read({"-yq", "in.ac3"}), (V{"0=", "1=", "in.ac3"}));
  EXPECT_EQ(read({"-qy"}), (V{"1=", "0="}));
}

TEST(OptionReader, ValuesInEveryUsualSpelling) {
  EXPECT_EQ(read({"-f", "pcm24"}), (V{"2=pcm24"}));
  EXPECT_EQ(read({"-fpcm24"}), (V{"2=pcm24"}));
  EXPECT_EQ(read({"-yqf", "pcm24", "x"}), (V{"0=", "1=", "2=pcm24", "x"}));
  EXPECT_EQ(read({"-yfpcm24"}), (V{"0=", "2=pcm24"}));
  EXPECT_EQ(read({"--format", "pcm24"}), (V{"2=pcm24"}));
  EXPECT_EQ(read({"--format=pcm24"}), (V{"2=pcm24"}));
  EXPECT_EQ(read({"--format="}), (V{"2="}));
  EXPECT_EQ(read({"-a", "-6"}), (V{"3=-6"})) << "a value may look like an option";
}

TEST(OptionReader, ArgumentsDashAndTheEndOfOptions) {
  EXPECT_EQ(read({"-", "-y", "-"}), (V{"-", "0=", "-"}));
  EXPECT_EQ(read({"a", "--", "-y", "--format=x"}), (V{"a", "-y", "--format=x"}));
  EXPECT_EQ(read({"in.ac3", "-q"}), (V{"in.ac3", "1="})) << "options may follow arguments";
  EXPECT_EQ(read({}), V{});
}

TEST(OptionReader, EveryMistakeNamesTheOption) {
  EXPECT_EQ(read({"--bogus"}), (V{"error: unknown option '--bogus'"}));
  EXPECT_EQ(read({"--bogus=3"}), (V{"error: unknown option '--bogus'"}));
  EXPECT_EQ(read({"-yz"}), (V{"0=", "error: unknown option '-z'"}));
  EXPECT_EQ(read({"-f"}), (V{"error: option '-f' needs a value"}));
  EXPECT_EQ(read({"-yf"}), (V{"0=", "error: option '-f' needs a value"}));
  EXPECT_EQ(read({"--format"}), (V{"error: option '--format' needs a value"}));
  EXPECT_EQ(read({"--yes=1"}), (V{"error: option '--yes' takes no value"}));
  EXPECT_EQ(read({"--debu"}), (V{"error: unknown option '--debu'"})) << "no guessing from prefixes";
}

TEST(AmplifyOption, OneRangeFiveToFiftyOrZero) {
  int db = -1;
  for (const char* good : {"0", "5", "6", "30", "50", "05"}) {
    EXPECT_TRUE(parse_amplify(good, &db)) << good;
  }
  EXPECT_TRUE(parse_amplify("30", &db));
  EXPECT_EQ(db, 30);
  for (const char* bad : {"", "4", "1", "51", "100", "-6", "6.5", "x", " 6", "6 ", "0050"}) {
    db = -7;
    EXPECT_FALSE(parse_amplify(bad, &db)) << bad;
    EXPECT_EQ(db, -7) << bad;
  }
  EXPECT_EQ(amplify_range_error("51"),
            "--amplify takes a whole number of dB from 5 to 50 (0: normalize to the peak), not '51'");
}

}  // namespace
