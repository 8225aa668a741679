// Bit stream information: which fields each audio coding mode sends, their widths, and the fields
// kept from an earlier frame when a frame does not send them.
#include <gtest/gtest.h>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "support/decoder_feed.h"

namespace {

using ac3::bits_position;
using decoder_test::bit_writer;

// Writes bsid 8, bsmod, acmod and the mix level fields that acmod calls for.
void put_mode(bit_writer& w, int bsmod, int acmod, int cmixlev, int surmixlev, int dsurmod) {
  w.put(8, 5);
  w.put(bsmod, 3);
  w.put(acmod, 3);
  if ((acmod & 1) && acmod != 1) w.put(cmixlev, 2);
  if (acmod & 4) w.put(surmixlev, 2);
  if (acmod == 2) w.put(dsurmod, 2);
}

// Everything after the mode with nothing optional sent: lfeon, dialnorm 27, flags all 0.
void put_plain_rest(bit_writer& w, int lfeon, bool dual_mono) {
  w.put(lfeon, 1);
  w.put(27, 5);
  w.put(0, 3);   // compre, langcode, audprodie
  if (dual_mono) {
    w.put(27, 5);
    w.put(0, 3);
  }
  w.put(0, 2);   // copyrightb, origbs
  w.put(0, 3);   // timecod1e, timecod2e, addbsie
}

TEST(ReadBsi, EachModeReadsItsMixLevelsAndCountsItsChannels) {
  decoder_test::test_decoder dec;
  const int nfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  for (int acmod = 0; acmod < 8; ++acmod) {
    SCOPED_TRACE(acmod);
    bit_writer w;
    put_mode(w, 3, acmod, 2, 1, 2);
    put_plain_rest(w, acmod & 1, acmod == 0);
    w.put(0x2AB, 10);   // what follows the bsi
    decoder_test::load_frame_body(dec, w.bytes());
    ac3::bsi& b = dec->bsi;
    b = ac3::bsi{};
    ac3::read_bsi(dec);
    EXPECT_EQ(b.acmod, acmod);
    EXPECT_EQ(b.bsmod, 3);
    EXPECT_EQ(b.nfchans, nfchans[acmod]);
    EXPECT_EQ(b.lfeon, acmod & 1);
    EXPECT_EQ(b.cmixlev, ((acmod & 1) && acmod != 1) ? 2 : 0);
    EXPECT_EQ(b.surmixlev, (acmod & 4) ? 1 : 0);
    EXPECT_EQ(b.dsurmod, acmod == 2 ? 2 : 0);
    EXPECT_EQ(b.dialnorm, 27);
    EXPECT_EQ(bits_position(dec), w.size_bits() - 10);
    EXPECT_EQ(ac3::bits_take(dec, 10), 0x2ABu);
  }
}

TEST(ReadBsi, DualMonoReadsTheSecondChannelsFields) {
  decoder_test::test_decoder dec;
  bit_writer w;
  put_mode(w, 0, 0, 0, 0, 0);
  w.put(0, 1);            // lfeon
  w.put(31, 5);           // dialnorm
  w.put(1, 1); w.put(0x81, 8);               // compre, compr
  w.put(1, 1); w.put(9, 8);                  // langcode, langcod
  w.put(1, 1); w.put(17, 5); w.put(2, 2);    // audprodie, mixlevel, roomtyp
  w.put(5, 5);                               // dialnorm2
  w.put(1, 1); w.put(0x7F, 8);               // compr2e, compr2
  w.put(1, 1); w.put(15, 8);                 // langcod2e, langcod2
  w.put(1, 1); w.put(30, 5); w.put(1, 2);    // audprodi2e, mixlevel2, roomtyp2
  w.put(1, 1); w.put(1, 1);                  // copyrightb, origbs
  w.put(1, 1); w.put(0x2345, 14);            // timecod1e, timecod1
  w.put(1, 1); w.put(0x1FFF, 14);            // timecod2e, timecod2
  w.put(0, 1);                               // addbsie
  decoder_test::load_frame_body(dec, w.bytes());
  ac3::bsi& b = dec->bsi;
  b = ac3::bsi{};
  ac3::read_bsi(dec);
  EXPECT_EQ(b.nfchans, 2);
  EXPECT_EQ(b.dialnorm, 31);
  EXPECT_EQ(b.compr, 0x81);
  EXPECT_EQ(b.langcod, 9);
  EXPECT_EQ(b.mixlevel, 17);
  EXPECT_EQ(b.roomtyp, 2);
  EXPECT_EQ(b.dialnorm2, 5);
  EXPECT_EQ(b.compr2e, 1);
  EXPECT_EQ(b.compr2, 0x7F);
  EXPECT_EQ(b.langcod2, 15);
  EXPECT_EQ(b.mixlevel2, 30);
  EXPECT_EQ(b.roomtyp2, 1);
  EXPECT_EQ(b.copyrightb, 1);
  EXPECT_EQ(b.origbs, 1);
  EXPECT_EQ(b.timecod1, 0x2345);
  EXPECT_EQ(b.timecod2, 0x1FFF);
  EXPECT_EQ(bits_position(dec), w.size_bits());
}

TEST(ReadBsi, LongestAdditionalInformationIsSixtyFourBytes) {
  decoder_test::test_decoder dec;
  bit_writer w;
  put_mode(w, 0, 2, 0, 0, 0);
  w.put(0, 1); w.put(27, 5); w.put(0, 3); w.put(0, 2); w.put(0, 2);
  w.put(1, 1);    // addbsie
  w.put(63, 6);   // addbsil: 64 bytes follow
  for (int i = 0; i < 64; ++i) w.put(static_cast<uint32_t>(i * 3 + 1), 8);
  w.put(0x5, 3);
  decoder_test::load_frame_body(dec, w.bytes());
  ac3::bsi& b = dec->bsi;
  b = ac3::bsi{};
  ac3::read_bsi(dec);
  EXPECT_EQ(b.addbsie, 1);
  EXPECT_EQ(b.addbsil, 63);
  EXPECT_EQ(b.addbsi[0], 1);
  EXPECT_EQ(b.addbsi[63], 63 * 3 + 1);
  EXPECT_EQ(bits_position(dec), w.size_bits() - 3);
  EXPECT_EQ(ac3::bits_take(dec, 3), 0x5u);
}

TEST(ReadBsi, FieldsNotSentKeepTheirEarlierValues) {
  decoder_test::test_decoder dec;
  ac3::bsi& b = dec->bsi;
  b = ac3::bsi{};
  b.cmixlev = 1;
  b.surmixlev = 2;
  b.langcod = 9;
  b.compr = 0x44;
  bit_writer w;
  put_mode(w, 0, 2, 0, 0, 3);   // 2/0 sends neither mix level
  put_plain_rest(w, 0, false);
  decoder_test::load_frame_body(dec, w.bytes());
  ac3::read_bsi(dec);
  EXPECT_EQ(b.cmixlev, 1);
  EXPECT_EQ(b.surmixlev, 2);
  EXPECT_EQ(b.langcode, 0);
  EXPECT_EQ(b.langcod, 9);
  EXPECT_EQ(b.compr, 0x44);
  EXPECT_EQ(b.dsurmod, 3);
}

TEST(BitPosition, CountsReadsPastTheEndOfTheFrame) {
  decoder_test::test_decoder dec;
  decoder_test::load_frame_body(dec, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(ac3::bits_take(dec, 32), 0xFFFFFFFFu);
  EXPECT_EQ(ac3::bits_take(dec, 20), 0xFFFF0u);
  EXPECT_EQ(ac3::bits_take(dec, 32), 0u);
  EXPECT_EQ(ac3::bits_take(dec, 32), 0u);
  EXPECT_EQ(bits_position(dec), 116);
}

}  // namespace
