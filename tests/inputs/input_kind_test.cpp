// Telling inputs apart by content, finding E-AC-3, and unwrapping IEC 61937 bursts, on bytes made
// here so that every edge is reached: odd payload lengths, null and pause bursts, a preamble
// across the reader's buffer, a burst of another codec before and after the AC-3 ones.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/iec61937_source.h"
#include "engine/input_kind.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace inputs_test {
namespace {

using Bytes = std::vector<uint8_t>;

// a then b (a loop: GCC 12 takes vector inserts here for overflows).
Bytes cat(const Bytes& a, const Bytes& b) {
  Bytes out;
  out.reserve(a.size() + b.size());
  for (uint8_t x : a) out.push_back(x);
  for (uint8_t x : b) out.push_back(x);
  return out;
}

void put16le(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// One burst: preamble, payload bytes as 16-bit little-endian words (stream order high byte
// first), zeros up to `period` bytes.
void burst(Bytes& b, int type, const Bytes& payload, size_t period, uint16_t pd_bits = 0) {
  const size_t start = b.size();
  put16le(b, 0xF872);
  put16le(b, 0x4E1F);
  put16le(b, static_cast<uint16_t>(type));
  put16le(b, pd_bits != 0 ? pd_bits : static_cast<uint16_t>(payload.size() * 8));
  for (size_t i = 0; i < payload.size(); i += 2) {
    const uint8_t hi = payload[i];
    const uint8_t lo = i + 1 < payload.size() ? payload[i + 1] : 0;
    b.push_back(lo);
    b.push_back(hi);
  }
  while (b.size() - start < period) b.push_back(0);
}

Bytes wave_of(const Bytes& data) {
  Bytes w;
  auto tag = [&](const char* t) { w.insert(w.end(), t, t + 4); };
  auto u32 = [&](uint32_t v) {
    put16le(w, static_cast<uint16_t>(v));
    put16le(w, static_cast<uint16_t>(v >> 16));
  };
  tag("RIFF");
  u32(static_cast<uint32_t>(36 + data.size()));
  tag("WAVE");
  tag("fmt ");
  u32(16);
  put16le(w, 1);
  put16le(w, 2);
  u32(48000);
  u32(192000);
  put16le(w, 4);
  put16le(w, 16);
  tag("data");
  u32(static_cast<uint32_t>(data.size()));
  return cat(w, data);
}

// Everything the source hands out for a WAVE file of these bursts.
Bytes unwrap(const Bytes& data, int* foreign = nullptr) {
  std::FILE* f = std::tmpfile();
  const Bytes w = wave_of(data);
  std::fwrite(w.data(), 1, w.size(), f);
  qelp::WaveData where;
  EXPECT_TRUE(qelp::find_wave_data(w.data(), w.size(), where));
  qelp::Iec61937Source source(f, where.offset, where.size);
  Bytes got;
  uint8_t chunk[777];
  for (size_t n; (n = source.read(chunk, sizeof chunk)) > 0;) got.insert(got.end(), chunk, chunk + n);
  EXPECT_EQ(source.position(), w.size());
  if (foreign != nullptr) *foreign = source.foreign_type();
  return got;
}

Bytes pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13);
  b[0] = 0x0B;
  if (n > 1) b[1] = 0x77;
  return b;
}

TEST(InputKind, ContainersAreToldByTheirFirstBytes) {
  auto kind = [](Bytes b) {
    b.resize(1024, 0x55);
    return qelp::classify_input(b.data(), b.size());
  };
  using K = qelp::InputKind;
  EXPECT_EQ(kind({0x1A, 0x45, 0xDF, 0xA3}), K::container);
  EXPECT_EQ(kind({0, 0, 0, 0x20, 'f', 't', 'y', 'p'}), K::container);
  EXPECT_EQ(kind({0, 0, 0, 8, 'm', 'o', 'o', 'v'}), K::container);
  EXPECT_EQ(kind({0, 0, 1, 0xBA}), K::container);
  EXPECT_EQ(kind({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}), K::container);
  EXPECT_EQ(kind({0x0B, 0x77, 0x1A, 0x45, 0xDF, 0xA3}), K::raw);  // a sync word first: raw
  EXPECT_EQ(kind({0x0B, 0x77}), K::raw);
  EXPECT_EQ(kind({'I', 'D', '3'}), K::raw);  // not ours to demux: the frame search will say so
  Bytes ts(3 * 188, 0x11);
  ts[0] = ts[188] = ts[376] = 0x47;
  EXPECT_EQ(qelp::classify_input(ts.data(), ts.size()), K::container);
  ts[376] = 0x46;
  EXPECT_EQ(qelp::classify_input(ts.data(), ts.size()), K::raw);
  Bytes m2ts(3 * 192 + 4, 0x11);
  m2ts[4] = m2ts[196] = m2ts[388] = 0x47;
  EXPECT_EQ(qelp::classify_input(m2ts.data(), m2ts.size()), K::container);
}

TEST(InputKind, AWaveFileIsBurstsOnlyWhenItsDataHoldsAPreamble) {
  Bytes data;
  burst(data, 1, pattern(100, 1), 6144);
  Bytes w = wave_of(data);
  EXPECT_EQ(qelp::classify_input(w.data(), w.size()), qelp::InputKind::iec61937);
  Bytes pcm(6144, 0x33);
  w = wave_of(pcm);
  EXPECT_EQ(qelp::classify_input(w.data(), w.size()), qelp::InputKind::raw);
  // The fixture made with FFmpeg's spdif muxer.
  const Bytes fixture = qelp_test::read_bytes(qelp_test::data_path("containers/spdif_51.wav"));
  EXPECT_EQ(qelp::classify_input(fixture.data(), fixture.size() < 65536 ? fixture.size() : 65536),
            qelp::InputKind::iec61937);
}

TEST(InputKind, EAc3IsFoundOnlyWhereAFrameConfirmsIt) {
  const Bytes eac3 = qelp_test::read_bytes(qelp_test::data_path("containers/tone.eac3"));
  EXPECT_TRUE(qelp::starts_with_eac3(eac3.data(), eac3.size()));
  const Bytes ac3 = qelp_test::read_bytes(qelp_test::data_path("stereo_48k_192.ac3"));
  EXPECT_FALSE(qelp::starts_with_eac3(ac3.data(), ac3.size()));
  // A stray sync word with an E-AC-3 bsid in junk before AC-3 frames is not confirmed.
  const Bytes stray = {0x00, 0x0B, 0x77, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00};
  const Bytes junk = cat(stray, ac3);
  EXPECT_FALSE(qelp::starts_with_eac3(junk.data(), junk.size()));
  // The same junk before E-AC-3 frames.
  const Bytes before = cat(stray, eac3);
  EXPECT_TRUE(qelp::starts_with_eac3(before.data(), before.size()));
}

TEST(Iec61937, PayloadsComeOutInStreamOrderWhateverTheirLength) {
  const Bytes a = pattern(101, 3);  // odd: the last word's low half is padding
  const Bytes b = pattern(6000, 7);
  Bytes data;
  burst(data, 0, {}, 64);           // a null burst
  burst(data, 1, a, 6144);
  burst(data, 3, Bytes(32, 0), 6144);  // a pause
  burst(data, 1, b, 6144);
  const Bytes expected = cat(a, b);
  int foreign = -1;
  EXPECT_EQ(unwrap(data, &foreign), expected);
  EXPECT_EQ(foreign, 0);
}

TEST(Iec61937, APreambleAcrossTheReadBufferIsFound) {
  // Zeros up to a few bytes before the 64 KiB buffer's end, then a burst straddling it.
  for (const size_t lead : {65536u - 44u - 2u, 65536u - 44u - 4u, 65536u - 44u - 6u, 65536u - 44u}) {
    SCOPED_TRACE(lead);
    Bytes data(lead, 0);
    const Bytes a = pattern(1000, 9);
    burst(data, 1, a, 6144);
    EXPECT_EQ(unwrap(data), a);
  }
}

TEST(Iec61937, AnotherCodecBeforeAc3EndsTheStreamAfterItIsPassedOver) {
  const Bytes a = pattern(200, 5);
  Bytes dts_first;
  burst(dts_first, 11, pattern(500, 1), 2048);
  burst(dts_first, 1, a, 6144);
  int foreign = 0;
  EXPECT_TRUE(unwrap(dts_first, &foreign).empty());
  EXPECT_EQ(foreign, 11);
  EXPECT_STREQ(qelp::iec61937_type_name(foreign), "DTS");
  EXPECT_STREQ(qelp::iec61937_type_name(21), "E-AC-3");

  Bytes ac3_first;
  burst(ac3_first, 1, a, 6144);
  burst(ac3_first, 21, pattern(500, 2), 6144);
  burst(ac3_first, 1, a, 6144);
  const Bytes twice = cat(a, a);
  EXPECT_EQ(unwrap(ac3_first, &foreign), twice);
  EXPECT_EQ(foreign, 0);
}

}  // namespace
}  // namespace inputs_test
