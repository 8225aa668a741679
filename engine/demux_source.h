// The bytes of one track of a container file, as the demuxing module reads them.
#pragma once

#include "input_source.h"
#include "platform/demux/demux_module.h"

namespace qelp {

class DemuxSource final : public InputSource {
 public:
  // Takes over handle (closed with the source), whose track is already selected.
  DemuxSource(const DemuxApi& api, DemuxHandle* handle) : api_(api), handle_(handle) {}
  ~DemuxSource() override { api_.close(handle_); }

  uint64_t position() const override { return api_.position(handle_); }

 protected:
  size_t fetch(uint8_t* dest, size_t n) override {
    const int64_t got = api_.read(handle_, dest, static_cast<int64_t>(n));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  const DemuxApi& api_;
  DemuxHandle* handle_;
};

// The name qelp gives a track's codec in messages: "AC-3", "E-AC-3", "DTS", "TrueHD", "AAC", ...
const char* demux_codec_name(const DemuxTrack& track);

}  // namespace qelp
