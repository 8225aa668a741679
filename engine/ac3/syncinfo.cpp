// Sync search, syncinfo and the CRC check over the whole frame.
//
// The search is bounded per call (kSyncSearchLimit) so that the caller keeps control over input of
// any length, and it never gives up on the input: the caller calls again until the input's real
// bytes are used up. A frame that fails its check is searched again from the byte after its sync
// word, so a false sync word in other bytes never hides the real frames behind it.
#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"

namespace ac3 {

namespace {

constexpr uint16_t kSyncword = 0x0B77;
constexpr uint32_t kSamplingRates[3] = {48000, 44100, 32000};
// The bytes read after the sync word before the frame body: crc1 (or E-AC-3's strmtyp, substreamid
// and frmsiz) and fscod/frmsizecod.
constexpr int kHeadBytes = 3;
// bsid 11 to 16 is E-AC-3. Its bsid lies where AC-3's does (the five high bits of the frame's sixth
// byte), so the two are told apart before the rest of the header is read.
constexpr uint16_t kFirstEac3Bsid = 11;
constexpr uint16_t kLastEac3Bsid = 16;
// An E-AC-3 frame is at least its 6 header bytes and its CRC.
constexpr int kMinEac3Bytes = 8;

void set_failed(decoder& d, frame_kind kind, uint64_t sync_start, uint64_t claimed_end) {
  d.error_flag = 1;
  d.frame.kind = kind;
  d.frame.sync_start = sync_start;
  d.frame.claimed_end = claimed_end;
}

}  // namespace

void read_syncinfo(decoder& d) {
  syncinfo& si = d.syncinfo;
  uint16_t window = 0;
  for (int examined = 0; examined < kSyncSearchLimit; ++examined) {
    window = static_cast<uint16_t>((window << 8) | chunk_next_byte(d));
    if (window == kSyncword) break;
  }
  if (window != kSyncword) {
    d.input.last_sync_end = UINT64_MAX;
    set_failed(d, frame_kind::no_sync, UINT64_MAX, UINT64_MAX);
    return;
  }
  d.input.last_sync_end = input_bytes_consumed(d);
  const uint64_t sync_start = d.input.last_sync_end - 2;

  uint8_t head[kHeadBytes];
  for (uint8_t& b : head) b = chunk_next_byte(d);
  // The frame body starts with the byte that holds bsid; it is read ahead to tell E-AC-3 apart.
  uint8_t* body = d.bits.frame_buffer;
  body[0] = chunk_next_byte(d);
  const uint16_t bsid = body[0] >> 3;
  si.fscod = head[2] >> 6;
  si.frmsizecod = head[2] & 0x3f;

  int frame_length = 0;
  const bool eac3 = bsid >= kFirstEac3Bsid && bsid <= kLastEac3Bsid;
  if (eac3) {
    // E-AC-3: frmsiz (11 bits after strmtyp and substreamid) is the frame's size in words, less one.
    frame_length = 2 * ((((head[0] & 0x07) << 8) | head[1]) + 1);
    if (frame_length < kMinEac3Bytes) frame_length = 0;
  } else if (si.fscod != 3 && si.frmsizecod < kFrameSizeCodes) {
    si.sampling_rate = kSamplingRates[si.fscod];
    si.frame_size = frame_size_table[si.frmsizecod].words[si.fscod];
    si.bit_rate = frame_size_table[si.frmsizecod].bit_rate;
    frame_length = 2 * si.frame_size;
  }
  if (frame_length == 0) {
    // A reserved rate or a size code outside the table: no frame. The search resumes after the sync word.
    input_replay(d, head, kHeadBytes, body, 1);
    set_failed(d, frame_kind::bad_header, sync_start, sync_start + 2 + kHeadBytes + 1);
    return;
  }

  const int body_bytes = frame_length - 2 - kHeadBytes;
  frame_bytes_load_after(d, 1, body_bytes);
  const uint16_t crc = crc16_update(crc16_update(0, head, kHeadBytes), frame_bytes(d), body_bytes);
  const uint64_t claimed_end = sync_start + static_cast<uint64_t>(frame_length);
  d.crc_failed = crc != 0;
  if (crc != 0 && kCrcFailureMutes) {
    input_replay(d, head, kHeadBytes, frame_bytes(d), body_bytes);
    set_failed(d, frame_kind::crc_failed, sync_start, claimed_end);
    return;
  }
  if (eac3) {
    set_failed(d, frame_kind::eac3, sync_start, claimed_end);
    return;
  }
  d.frame.kind = frame_kind::decoded;
  d.frame.sync_start = sync_start;
  d.frame.claimed_end = claimed_end;
}

}  // namespace ac3
