// The wave output device: its checks, the order and timing of returned buffers on the device
// clock, reset, and the ALSA back end against ALSA's own null device.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "player_test_support.h"
#include "scripted_backend.h"

namespace {

using player_test::AudioDevice;
using player_test::PlayedLog;
using player_test::position_samples;
using player_test::Script;

constexpr MMRESULT kOk = MMSYSERR_NOERROR;

WAVEFORMATEX stereo16(uint32_t rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = 4 * rate;
  return f;
}

// A device opened with an auto-reset event, and buffers of `frames` stereo frames each.
struct Device {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HWAVEOUT out = nullptr;
  std::vector<std::vector<char>> buffers;
  std::vector<WAVEHDR> headers;
  char why[512] = "";  // why the open failed

  MMRESULT open(uint32_t rate = 48000) {
    WAVEFORMATEX f = stereo16(rate);
    return wave_out_open_explained(&out, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(event), 0,
                                   CALLBACK_EVENT, why, sizeof why);
  }
  // Why the device failed.
  std::string failure() {
    char text[512];
    wave_out_device_failure(out, text, sizeof text);
    return text;
  }
  void make_buffers(int count, DWORD frames) {
    buffers.assign(count, {});
    headers.assign(count, WAVEHDR{});
    for (int i = 0; i < count; ++i) {
      buffers[i].assign(frames * 4, static_cast<char>(i + 1));
      headers[i].lpData = buffers[i].data();
      headers[i].dwBufferLength = frames * 4;
      EXPECT_EQ(waveOutPrepareHeader(out, &headers[i], sizeof(WAVEHDR)), kOk);
    }
  }
  bool done(int i) { return (wave_header_flags(&headers[i]) & WHDR_DONE) != 0; }
  bool queued(int i) { return (wave_header_flags(&headers[i]) & WHDR_INQUEUE) != 0; }
  void wait_all_done() {
    for (size_t i = 0; i < headers.size(); ++i) {
      while (!done(static_cast<int>(i))) ASSERT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    }
  }
  void close() {
    for (WAVEHDR& h : headers) EXPECT_EQ(waveOutUnprepareHeader(out, &h, sizeof h), kOk);
    EXPECT_EQ(waveOutClose(out), kOk);
    out = nullptr;
  }
  ~Device() {
    if (out != nullptr) {
      waveOutReset(out);
      for (WAVEHDR& h : headers) waveOutUnprepareHeader(out, &h, sizeof h);
      waveOutClose(out);
    }
    CloseHandle(event);
  }
};

TEST(WaveOut, OpenRefusesWhatItCannotPlayWithoutReachingADevice) {
  int attempts = wave_out_open_attempts();
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  auto cb = reinterpret_cast<DWORD_PTR>(e);
  HWAVEOUT out = nullptr;

  WAVEFORMATEX f = stereo16(48000);
  f.wFormatTag = 0x55;  // compressed: not for the device
  char why[512];
  EXPECT_EQ(wave_out_open_explained(&out, WAVE_MAPPER, &f, cb, 0, CALLBACK_EVENT, why, sizeof why),
            WAVERR_BADFORMAT);
  EXPECT_NE(std::strstr(why, "cannot play"), nullptr) << why;
  f = stereo16(48000);
  f.nBlockAlign = 2;  // does not match two 16-bit channels
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, cb, 0, CALLBACK_EVENT), WAVERR_BADFORMAT);
  f = stereo16(0);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, cb, 0, CALLBACK_EVENT), WAVERR_BADFORMAT);
  f = stereo16(48000);
  f.wBitsPerSample = 24;
  f.nBlockAlign = 6;
  f.nAvgBytesPerSec = 6 * 48000;
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, cb, 0, CALLBACK_EVENT), WAVERR_BADFORMAT);

  f = stereo16(48000);
  EXPECT_EQ(waveOutOpen(&out, 7, &f, cb, 0, CALLBACK_EVENT), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_EVENT), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, cb, 0, 0x00030000 /* function callback */),
            MMSYSERR_INVALFLAG);
  // A query checks the format and opens nothing.
  EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &f, cb, 0, CALLBACK_EVENT | WAVE_FORMAT_QUERY), kOk);

  EXPECT_EQ(wave_out_open_attempts(), attempts);
  EXPECT_EQ(wave_out_live_count(), 0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // nothing opened, nothing signalled
  CloseHandle(e);
}

TEST(WaveOut, QueuedHeadersCannotBeRequeuedUnpreparedOrClosedUntilReset) {
  Device d;
  ASSERT_EQ(d.open(), kOk);
  WAVEHDR loose{};
  std::vector<char> data(6144);
  loose.lpData = data.data();
  loose.dwBufferLength = 6144;
  EXPECT_EQ(waveOutWrite(d.out, &loose, sizeof loose), WAVERR_UNPREPARED);

  d.make_buffers(3, 48000);  // one second each
  ASSERT_EQ(waveOutPause(d.out), kOk);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(d.queued(i));
    EXPECT_FALSE(d.done(i));
  }
  EXPECT_EQ(waveOutWrite(d.out, &d.headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(d.out, &d.headers[1], sizeof(WAVEHDR)),
            WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(d.out), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutWrite(d.out, &d.headers[0], 12), MMSYSERR_INVALPARAM);

  // Reset gives every header back as done before it returns, and the clock starts again at 0.
  ASSERT_EQ(waveOutReset(d.out), kOk);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(d.done(i));
    EXPECT_FALSE(d.queued(i));
  }
  EXPECT_EQ(position_samples(d.out), 0u);
  d.close();
  EXPECT_EQ(wave_out_live_count(), 0);
}

TEST(WaveOut, NullDeviceReturnsBuffersInOrderAfterPlayingThemInRealTime) {
  PlayedLog log;
  Device d;
  ASSERT_EQ(d.open(), kOk);
  const DWORD frames = 4800;  // 100 ms at 48 kHz
  d.make_buffers(4, frames);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  d.wait_all_done();
  auto elapsed = std::chrono::steady_clock::now() - start;

  std::vector<PlayedLog::Buffer> played = log.buffers();
  ASSERT_EQ(played.size(), 4u);
  for (size_t i = 0; i < played.size(); ++i) {
    EXPECT_EQ(played[i].data, std::vector<uint8_t>(frames * 4, static_cast<uint8_t>(i + 1))) << "buffer " << i;
    // Each comes back only once the device clock has run through it and all before it.
    EXPECT_GE(played[i].position, frames * (i + 1)) << "buffer " << i;
  }
  EXPECT_GE(position_samples(d.out), 4 * frames);
  MMTIME bytes{};
  bytes.wType = 0x0040;  // a kind of time the device does not keep: it answers in bytes
  ASSERT_EQ(waveOutGetPosition(d.out, &bytes, sizeof bytes), kOk);
  EXPECT_EQ(bytes.wType, TIME_BYTES);
  EXPECT_GE(bytes.u.cb, 4 * frames * 4);
  // Real time: 400 ms of sound cannot be over sooner.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 400);
  d.close();
}

TEST(WaveOut, ResetDiscardsQueuedSoundUnplayed) {
  PlayedLog log;
  Device d;
  ASSERT_EQ(d.open(), kOk);
  d.make_buffers(8, 48000);  // eight seconds queued
  for (int i = 0; i < 8; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  ASSERT_EQ(waveOutReset(d.out), kOk);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(d.done(i)) << i;
  EXPECT_LT(log.count(), 8u);  // not played to the end
  EXPECT_EQ(position_samples(d.out), 0u);
  // The device plays again after a reset.
  ASSERT_EQ(waveOutWrite(d.out, &d.headers[0], sizeof(WAVEHDR)), kOk);
  d.headers.resize(1);
  size_t before = log.count();
  d.wait_all_done();
  EXPECT_EQ(log.count(), before + 1);
  EXPECT_GE(position_samples(d.out), 48000u);
  d.close();
}

TEST(WaveOut, BuffersComeBackOnlyWhenTheDeviceHasHeardTheirLastFrame) {
  // A device like a sound card: it takes 3000 frames ahead and hears them when it will.
  Script script(3000);
  PlayedLog log;
  Device d;
  ASSERT_EQ(d.open(), kOk);
  d.make_buffers(3, 1536);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  script.wait_taken(3000);
  EXPECT_EQ(script.taken(), 3000u);  // no more than the device has room for
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(d.done(i)) << i;

  script.release(1535);
  EXPECT_FALSE(d.done(0));  // one frame of it is still to be heard
  script.release(1);
  while (!d.done(0)) ASSERT_EQ(WaitForSingleObject(d.event, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(d.done(1));
  EXPECT_FALSE(d.done(2));

  script.wait_taken(3000 + 1536);  // the room that came free is filled, and no more
  EXPECT_EQ(script.taken(), 3000u + 1536u);
  script.release(3000);
  script.wait_taken(3 * 1536);
  script.release(72);
  d.wait_all_done();
  std::vector<PlayedLog::Buffer> played = log.buffers();
  ASSERT_EQ(played.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(played[i].data[0], static_cast<uint8_t>(i + 1));
    EXPECT_GE(played[i].position, 1536u * (i + 1));
  }
  std::vector<uint8_t> sent;
  for (const auto& b : d.buffers) sent.insert(sent.end(), b.begin(), b.end());
  EXPECT_TRUE(script.bytes() == sent) << "the device was not handed the buffers whole and in order";
  EXPECT_EQ(position_samples(d.out), 3u * 1536u);
  d.close();
}

TEST(WaveOut, DeviceThatFailsGivesEveryBufferBackAndSaysWhy) {
  Script script(2000);
  Device d;
  ASSERT_EQ(d.open(), kOk);
  d.make_buffers(3, 1536);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  script.wait_taken(2000);
  script.fail();
  d.wait_all_done();  // not a hang: the failed device returns what it holds
  EXPECT_EQ(waveOutWrite(d.out, &d.headers[0], sizeof(WAVEHDR)), MMSYSERR_ERROR);
  EXPECT_EQ(d.failure(), "The scripted device broke down");
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  EXPECT_EQ(waveOutGetPosition(d.out, &t, sizeof t), MMSYSERR_ERROR);
  d.close();
  EXPECT_EQ(wave_out_live_count(), 0);
}

TEST(WaveOut, AlsaNullDevicePlaysEveryBufferInOrder) {
  if (!wave_out_alsa_available()) GTEST_SKIP() << "built without ALSA";
  AudioDevice device("alsa:null");
  PlayedLog log;
  Device d;
  ASSERT_EQ(d.open(44100), kOk) << d.why;
  d.make_buffers(5, 1536);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(waveOutWrite(d.out, &d.headers[i], sizeof(WAVEHDR)), kOk);
  d.wait_all_done();
  std::vector<PlayedLog::Buffer> played = log.buffers();
  ASSERT_EQ(played.size(), 5u);
  for (size_t i = 0; i < played.size(); ++i) EXPECT_EQ(played[i].data[0], static_cast<uint8_t>(i + 1));
  d.close();
  EXPECT_EQ(wave_out_live_count(), 0);
}

TEST(WaveOut, UnknownDeviceFailsWithItsNameAndLeavesNothingOpen) {
  AudioDevice device("qelp-no-such-device");
  Device d;
  EXPECT_EQ(d.open(), MMSYSERR_NODRIVER);
  EXPECT_EQ(d.out, nullptr);
  std::string why = d.why;
  EXPECT_NE(why.find("Cannot open the sound device \"qelp-no-such-device\""), std::string::npos) << why;
  EXPECT_EQ(wave_out_live_count(), 0);
  EXPECT_EQ(WaitForSingleObject(d.event, 0), WAIT_TIMEOUT);
}

}  // namespace
