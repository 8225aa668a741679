// Bit stream information: the frame-wide fields that follow syncinfo, in stream order.
#include "ac3/bitstream.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

// Full-bandwidth channels for each audio coding mode; the LFE channel is not counted.
constexpr uint16_t kNfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};

uint16_t take(decoder& d, int n) { return static_cast<uint16_t>(bits_take(d, n)); }

}  // namespace

void read_bsi(decoder& d) {
  bsi& b = d.bsi;
  b.bsid = take(d, 5);
  b.bsmod = take(d, 3);
  b.acmod = take(d, 3);
  b.nfchans = kNfchans[b.acmod];

  // A centre channel (odd acmod other than 1/0) sends its mix level; surrounds (acmod bit 2) theirs.
  if ((b.acmod & 1) != 0 && b.acmod != 1) b.cmixlev = take(d, 2);
  if ((b.acmod & 4) != 0) b.surmixlev = take(d, 2);
  if (b.acmod == 2) b.dsurmod = take(d, 2);

  b.lfeon = take(d, 1);
  b.dialnorm = take(d, 5);
  b.compre = take(d, 1);
  if (b.compre) b.compr = take(d, 8);
  b.langcode = take(d, 1);
  if (b.langcode) b.langcod = take(d, 8);
  b.audprodie = take(d, 1);
  if (b.audprodie) {
    b.mixlevel = take(d, 5);
    b.roomtyp = take(d, 2);
  }

  // Dual mono sends a second set for the second programme channel.
  if (b.acmod == 0) {
    b.dialnorm2 = take(d, 5);
    b.compr2e = take(d, 1);
    if (b.compr2e) b.compr2 = take(d, 8);
    b.langcod2e = take(d, 1);
    if (b.langcod2e) b.langcod2 = take(d, 8);
    b.audprodi2e = take(d, 1);
    if (b.audprodi2e) {
      b.mixlevel2 = take(d, 5);
      b.roomtyp2 = take(d, 2);
    }
  }

  b.copyrightb = take(d, 1);
  b.origbs = take(d, 1);
  b.timecod1e = take(d, 1);
  if (b.timecod1e) b.timecod1 = take(d, 14);
  b.timecod2e = take(d, 1);
  if (b.timecod2e) b.timecod2 = take(d, 14);

  // addbsil is 6 bits, so at most 64 bytes follow: always within addbsi.
  b.addbsie = take(d, 1);
  if (b.addbsie) {
    b.addbsil = take(d, 6);
    for (int i = 0; i <= b.addbsil; ++i) b.addbsi[i] = static_cast<uint8_t>(bits_take(d, 8));
  }
}

}  // namespace ac3
