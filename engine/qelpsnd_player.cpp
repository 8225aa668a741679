// CQelpsnd: the preview — StartPlayer, PlayNextFrame, StopPlayer.
#include <cstdio>

#include "engine_parts.h"
#include "failure.h"
#include "qelpsnd.h"

using namespace qelp;

namespace {

// Records the object's failure again with "Cannot play FILE: " in front of it.
void fail_playing(CQelpsnd& engine, Failure& failure) {
  char reason[sizeof engine.m_lastErrorText];
  std::snprintf(reason, sizeof reason, "%s", failure.text());
  // "Cannot play a.ac3: cannot open ..." reads as one sentence.
  if (reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a' && reason[1] <= 'z') {
    reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
  }
  failure.set(failure.code(), "Cannot play %s: %s", engine.m_inPath, reason);
}

// Ends the preview: the device, then the input.
void end_preview(EngineParts& parts) {
  parts.player.close();
  parts.reader.close_input();
  parts.activity = EngineActivity::idle;
}

bool known_rate(int32_t rate) { return rate == 48000 || rate == 44100 || rate == 32000; }

}  // namespace

int CQelpsnd::StartPlayer() {
  EngineParts& parts = EngineParts::of(*this);
  Failure& failure = parts.failure;
  failure.clear();
  if (parts.activity != EngineActivity::idle) {
    failure.set(QELP_ERR_STATE, "A conversion or preview is already running");
    return 0;
  }
  m_bytesDecoded = 0;
  m_outputBytes = 0;
  m_inputPosition = 0;
  m_bytesDecoded64 = 0;
  m_outputBytes64 = 0;
  m_inputPosition64 = 0;
  parts.normalizer.reset_progress();
  if (m_inPath[0] == '\0') {
    failure.set(QELP_ERR_INPUT, "No input file was given");
    return 0;
  }

  CAc3Reader& reader = parts.reader;
  reader.surround = m_surround;
  if (!reader.start(m_inPath, parts.track)) return 0;
  if (!known_rate(reader.sampling_rate)) {
    reader.close_input();
    failure.set(QELP_ERR_INPUT, "Cannot play %s: it holds no AC-3 frame", m_inPath);
    return 0;
  }
  StreamFormat format{};
  format.channels = 2;
  format.sampling_rate = static_cast<uint32_t>(reader.sampling_rate);
  format.bytes_per_frame = 6144;
  if (!parts.player.open(format)) {
    reader.close_input();
    fail_playing(*this, failure);
    return 0;
  }
  parts.activity = EngineActivity::playing;
  return 1;
}

int CQelpsnd::PlayNextFrame() {
  EngineParts& parts = EngineParts::of(*this);
  if (parts.activity != EngineActivity::playing) {
    parts.failure.set(QELP_ERR_STATE, "No preview is playing");
    return 0;
  }
  int produced = parts.reader.next_frame(m_pcmFrame);
  m_bytesDecoded += 6144;
  m_bytesDecoded64 += 6144;
  m_inputPosition = parts.reader.read_position();
  m_inputPosition64 = parts.reader.read_position64();

  if (!parts.player.write_frame(parts.player.format, m_pcmFrame)) {
    fail_playing(*this, parts.failure);
    end_preview(parts);
    return 0;
  }
  if (produced != 0) return 1;

  // The input has ended: let what is queued be heard, then close.
  if (!parts.player.drain()) fail_playing(*this, parts.failure);
  end_preview(parts);
  return 0;
}

int CQelpsnd::StopPlayer() {
  EngineParts& parts = EngineParts::of(*this);
  if (parts.activity != EngineActivity::playing) return 0;
  end_preview(parts);
  return 0;
}
