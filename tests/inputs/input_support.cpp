#include "input_support.h"

#include <atomic>

#include "engine/output_wavefile.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace inputs_test {

Conversion convert(const std::string& in, int track) {
  static std::atomic<int> serial{0};
  Conversion c;
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  const std::string out = qelp_test::scratch_dir() + "/out" + std::to_string(serial++) + ".wav";
  CQelpsnd engine;
  std::string i = in;
  std::string o = out;
  engine.SetInFile(i.data());
  engine.SetOutFile(o.data());
  engine.SetTrack(track);
  c.input_size = engine.m_inputSize;
  c.started = engine.InitEncoder();
  uint32_t last = 0;
  if (c.started == 1) {
    while (engine.DecodeFrame() == 1) {
      if (engine.m_inputPosition < last || engine.m_inputPosition > engine.m_inputSize) c.position_monotonic = false;
      last = engine.m_inputPosition;
    }
    c.wave = qelp_test::read_bytes(out);
  }
  c.error = engine.m_lastErrorText;
  c.frames_muted = engine.m_framesMuted;
  c.bytes_skipped = engine.m_bytesSkipped;
  c.final_position = engine.m_inputPosition;
  qelpsnd_set_diagnostics(nullptr, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
  return c;
}

std::string container(const std::string& name) { return qelp_test::data_path("containers/" + name); }

}  // namespace inputs_test
