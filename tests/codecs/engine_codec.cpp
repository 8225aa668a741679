#include "engine_codec.h"

#include <fstream>

#include "engine/output_wavefile.h"
#include "platform/msacm/msacm.h"

namespace codec_test {

namespace {

MMRESULT choose(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* name) {
  for (size_t i = 0; i < count; ++i) {
    if (static_cast<const std::string*>(name)->compare(offers[i].short_name) == 0) {
      return acmFormatOfferTake(afc, &offers[i]);
    }
  }
  return MMSYSERR_NODRIVER;
}

}  // namespace

int engine_convert(CQelpsnd& engine, const std::string& in, const std::string& out,
                   const std::string& short_name, std::vector<int16_t>* pcm) {
  std::string name = short_name;
  acmSetFormatChooser(name.empty() ? nullptr : choose, &name, 0);
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  std::string i = in;
  std::string o = out;
  engine.SetInFile(i.data());
  engine.SetOutFile(o.data());
  int started = engine.InitEncoder();
  if (started == 1) {
    while (engine.DecodeFrame() == 1) {
      if (pcm == nullptr) continue;
      for (size_t i = 0; i + 1 < sizeof engine.m_pcmFrame; i += 2) {
        pcm->push_back(static_cast<int16_t>(engine.m_pcmFrame[i] | (engine.m_pcmFrame[i + 1] << 8)));
      }
    }
  }
  acmSetFormatChooser(nullptr, nullptr, 0);
  qelpsnd_set_diagnostics(nullptr, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
  return started;
}

bool mapped(const char* needle) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(needle) != std::string::npos) return true;
  }
  return false;
}

}  // namespace codec_test
