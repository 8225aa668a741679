// The consistency checks after each block: each check's exact message, their order, that all run
// after a failure, and that only what is really inconsistent fails.
#include <gtest/gtest.h>

#include <string>

#include "ac3/stages.h"
#include "qelpsnd.h"
#include "support/decoder_feed.h"

namespace {

std::string g_err;

void capture(int stream, const char* line, void*) {
  if (stream == 2) g_err += line;
}

class ConsistencyChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    si = ac3::syncinfo{};
    b = ac3::bsi{};
    ab = ac3::audblk{};
    ac3::arm_guards(dec);
    b.acmod = 7;
    b.nfchans = 5;
    for (auto& c : ab.chbwcod) c = 60;
    dec->error_flag = 0;
    g_err.clear();
    qelpsnd_set_diagnostics(capture, nullptr);
  }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }
  // Runs the checks; returns the messages they printed.
  std::string check() {
    ac3::check_guards(dec);
    return g_err;
  }
  decoder_test::test_decoder dec;
  ac3::syncinfo& si = dec->syncinfo;
  ac3::bsi& b = dec->bsi;
  ac3::audblk& ab = dec->audblk;
};

std::string msg(const char* what) { return std::string("\n** Sanity check failed -- ") + what + " **"; }

TEST_F(ConsistencyChecks, ConsistentBlockPassesSilently) {
  ab.cplinu = 1;
  ab.cplbegf = 7;
  ab.cplendf = 5;  // begin may exceed end by two
  EXPECT_EQ("", check());
  EXPECT_EQ(0, dec->error_flag);
}

TEST_F(ConsistencyChecks, EachBrokenGuardIsNamed) {
  struct {
    uint32_t* word;
    const char* message;
  } guards[] = {{&si.guard_word, "syncinfo magic number"},
                {&b.guard_word, "bsi magic number"},
                {&ab.guard_word1, "audblk magic number 1"},
                {&ab.guard_word2, "audblk magic number 2"},
                {&ab.guard_word3, "audblk magic number 3"}};
  for (auto& g : guards) {
    SetUp();
    *g.word = 0xdeadbeee;
    EXPECT_EQ(msg(g.message), check());
    EXPECT_EQ(1, dec->error_flag);
  }
}

// Every failed check prints, in the fixed order, even after earlier ones failed.
TEST_F(ConsistencyChecks, AllChecksRunInOrderAfterAFailure) {
  si.guard_word = 0;
  ab.guard_word3 = 1;
  ab.fbw_exp[0][255] = 3;
  ab.fbw_bap[4][253] = 1;  // a slot that 2/0 does not use is still checked
  ab.cpl_exp[254] = 1;
  ab.cpl_bap[253] = 2;
  ab.cplmant[255] = -4;
  ab.cplinu = 1;
  ab.cplbegf = 8;
  ab.cplendf = 5;
  b.acmod = 2;
  b.nfchans = 2;
  ab.chbwcod[1] = 61;
  const std::string expected =
      msg("syncinfo magic number") + msg("audblk magic number 3") + msg("fbw_exp out of bounds") +
      msg("fbw_bap out of bounds") + msg("cpl_exp out of bounds") + msg("cpl_bap out of bounds") +
      msg("cpl_mant out of bounds") + msg("cpl params inconsistent") + msg("chbwcod too big");
  EXPECT_EQ(expected, check());
  EXPECT_EQ(1, dec->error_flag);
}

TEST_F(ConsistencyChecks, ExponentAndBapChecksCoverOnlyTheLastThreeBins) {
  ab.fbw_exp[2][252] = 5;
  ab.fbw_bap[2][252] = 5;
  ab.cpl_exp[252] = 5;
  ab.cpl_bap[252] = 5;
  ab.cplmant[252] = 5;
  EXPECT_EQ("", check());
  ab.fbw_exp[2][253] = 5;
  EXPECT_EQ(msg("fbw_exp out of bounds"), check());
}

// Each channel slot is checked on its own: two bad slots give two messages.
TEST_F(ConsistencyChecks, ReportsEachBadChannel) {
  ab.fbw_exp[1][254] = 1;
  ab.fbw_exp[3][254] = 1;
  EXPECT_EQ(msg("fbw_exp out of bounds") + msg("fbw_exp out of bounds"), check());
}

TEST_F(ConsistencyChecks, CouplingRangeOnlyMattersWhenCouplingIsInUse) {
  ab.cplbegf = 9;
  ab.cplendf = 6;
  ab.cplinu = 0;
  EXPECT_EQ("", check());
  ab.cplinu = 1;
  EXPECT_EQ(msg("cpl params inconsistent"), check());
}

// chbwcod above 60 is invalid only for a channel of the stream that is not in coupling.
TEST_F(ConsistencyChecks, ChannelBandwidthCodeAbove60) {
  b.acmod = 6;
  b.nfchans = 4;
  ab.chbwcod[4] = 61;  // beyond nfchans
  ab.chincpl[2] = 1;
  ab.chbwcod[2] = 61;  // in coupling: not transmitted, not checked
  EXPECT_EQ("", check());
  ab.chbwcod[3] = 61;
  EXPECT_EQ(msg("chbwcod too big"), check());
  EXPECT_EQ(1, dec->error_flag);
}

}  // namespace
