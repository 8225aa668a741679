// Sync search, syncinfo and the CRC check over the whole frame.
#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

constexpr uint16_t kSyncword = 0x0B77;
constexpr int kSyncSearchLimit = 65536;
constexpr uint32_t kSamplingRates[3] = {48000, 44100, 32000};

}  // namespace

void read_syncinfo(decoder& d) {
  syncinfo& si = d.syncinfo;
  uint16_t window = 0;
  for (int examined = 0; examined < kSyncSearchLimit; ++examined) {
    window = static_cast<uint16_t>((window << 8) | chunk_next_byte(d));
    if (window == kSyncword) break;
  }
  d.input.last_sync_end = window == kSyncword ? input_bytes_consumed(d) : UINT64_MAX;
  const uint8_t crc1_high = chunk_next_byte(d);
  const uint8_t crc1_low = chunk_next_byte(d);
  const uint8_t rate_byte = chunk_next_byte(d);
  si.fscod = rate_byte >> 6;
  si.frmsizecod = rate_byte & 0x3f;
  // A reserved rate or a size code outside the table: a bad frame; the search resumes right here.
  if (si.fscod == 3 || si.frmsizecod >= kFrameSizeCodes) {
    d.error_flag = 1;
    return;
  }
  si.sampling_rate = kSamplingRates[si.fscod];
  si.frame_size = frame_size_table[si.frmsizecod].words[si.fscod];
  si.bit_rate = frame_size_table[si.frmsizecod].bit_rate;

  const int body = 2 * si.frame_size - 5;
  frame_bytes_load(d, body);

  const uint8_t header[3] = {crc1_high, crc1_low, rate_byte};
  const uint16_t crc = crc16_update(crc16_update(0, header, 3), frame_bytes(d), body);
  d.crc_failed = crc != 0;
  if (crc != 0) {
    if (kCrcFailureMutes) d.error_flag = 1;
    qelp::diag_err("** CRC failed - skipping frame **\n");
  }
}

}  // namespace ac3
