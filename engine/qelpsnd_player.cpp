// CQelpsnd: the preview — StartPlayer, PlayNextFrame, StopPlayer.
#include <cstdio>

#include "ac3_reader.h"
#include "engine_state.h"
#include "failure.h"
#include "normalizer_link.h"
#include "player.h"
#include "qelpsnd.h"

using namespace qelp;

namespace {

// Records the library's last failure again with "Cannot play FILE: " in front of it.
void fail_playing(CQelpsnd& engine) {
  char reason[sizeof engine.m_lastErrorText];
  std::snprintf(reason, sizeof reason, "%s", failure_text());
  // "Cannot play a.ac3: cannot open ..." reads as one sentence.
  if (reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a' && reason[1] <= 'z') {
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  }
  failure_set(failure_code(), "Cannot play %s: %s", engine.m_inPath, reason);
  take_failure(engine);
}

// Ends the preview: the device, then the input.
void end_preview() {
  player_close();
  g_ac3_reader->close_input();
  g_activity = EngineActivity::idle;
}

bool known_rate(int32_t rate) { return rate == 48000 || rate == 44100 || rate == 32000; }

}  // namespace

int CQelpsnd::StartPlayer() {
  failure_clear();
  m_lastError = QELP_OK;
  m_lastErrorText[0] = '\0';
  if (g_activity != EngineActivity::idle) {
    failure_set(QELP_ERR_STATE, "A conversion or preview is already running");
    take_failure(*this);
    return 0;
  }
  m_bytesDecoded = 0;
  m_outputBytes = 0;
  m_inputPosition = 0;
  normalizer_reset_progress();
  if (m_inPath[0] == '\0') {
    failure_set(QELP_ERR_INPUT, "No input file was given");
    take_failure(*this);
    return 0;
  }

  g_ac3_reader->surround = m_surround;
  if (!g_ac3_reader->start(m_inPath)) {
    take_failure(*this);
    return 0;
  }
  if (!known_rate(g_ac3_reader->sampling_rate)) {
    g_ac3_reader->close_input();
    failure_set(QELP_ERR_INPUT, "Cannot play %s: it holds no AC-3 frame", m_inPath);
    take_failure(*this);
    return 0;
  }
  StreamFormat format{};
  format.channels = 2;
  format.sampling_rate = static_cast<uint32_t>(g_ac3_reader->sampling_rate);
  format.bytes_per_frame = 6144;
  if (!player_open(format)) {
    g_ac3_reader->close_input();
    fail_playing(*this);
    return 0;
  }
  g_activity = EngineActivity::playing;
  return 1;
}

int CQelpsnd::PlayNextFrame() {
  if (g_activity != EngineActivity::playing) {
    failure_set(QELP_ERR_STATE, "No preview is playing");
    take_failure(*this);
    return 0;
  }
  int produced = g_ac3_reader->next_frame(m_pcmFrame);
  m_bytesDecoded += 6144;
  m_inputPosition = g_ac3_reader->read_position();

  if (!player_write_frame(g_player_format, m_pcmFrame)) {
    fail_playing(*this);
    end_preview();
    return 0;
  }
  if (produced != 0) return 1;

  // The input has ended: let what is queued be heard, then close.
  if (!player_drain()) fail_playing(*this);
  end_preview();
  return 0;
}

int CQelpsnd::StopPlayer() {
  if (g_activity != EngineActivity::playing) return 0;
  end_preview();
  return 0;
}
