#include "ffmpeg_formats.h"

#include <cstring>

#include "ffmpeg_encoder.h"
#include "platform/little_endian.h"
#include "platform/msacm/format_text.h"

namespace {

const FfFormat kFormats[] = {
    {WAVE_FORMAT_IMA_ADPCM, "adpcm_ima_wav", "IMA ADPCM", "ima-adpcm", 0, false},
    {WAVE_FORMAT_ADPCM, "adpcm_ms", "Microsoft ADPCM", "ms-adpcm", 0, false},
    {WAVE_FORMAT_ALAW, "pcm_alaw", "CCITT A-Law", "alaw", 0, false},
    {WAVE_FORMAT_MULAW, "pcm_mulaw", "CCITT u-Law", "mulaw", 0, false},
    {WAVE_FORMAT_GSM610, "libgsm_ms", "GSM 6.10", "gsm", 0, true},
    {WAVE_FORMAT_MPEGLAYER3, "libmp3lame", "MPEG Layer-3", "mp3-128", 128, false},
    {WAVE_FORMAT_MPEGLAYER3, "libmp3lame", "MPEG Layer-3", "mp3-192", 192, false},
    {WAVE_FORMAT_MPEGLAYER3, "libmp3lame", "MPEG Layer-3", "mp3-256", 256, false},
    {WAVE_FORMAT_MPEGLAYER3, "libmp3lame", "MPEG Layer-3", "mp3-320", 320, false},
};

}  // namespace

const FfFormat* ff_formats(size_t* count) {
  *count = sizeof kFormats / sizeof kFormats[0];
  return kFormats;
}

bool ff_describe(const FfFormat& fmt, const WAVEFORMATEX& src, AcmFormatOffer* offer) {
  FfEncoderInfo info{};
  if (!ff_encoder_probe(fmt, src, &info)) return false;
  std::memset(offer, 0, sizeof *offer);
  const DWORD rate = static_cast<DWORD>(info.sample_rate);
  const WORD channels = static_cast<WORD>(info.channels);
  char middle[32] = "";
  switch (fmt.tag) {
    case WAVE_FORMAT_IMA_ADPCM:
    case WAVE_FORMAT_ADPCM: {
      // Block codecs: the block size and samples per block the encoder uses; MS ADPCM adds its
      // coefficient table, which the encoder hands over as its extra data.
      const DWORD avg = static_cast<DWORD>(uint64_t{rate} * info.block_align / info.frame_size);
      WORD extra = 2;
      if (fmt.tag == WAVE_FORMAT_ADPCM) {
        if (info.extradata_size != 32) return false;
        extra = 32;
        std::memcpy(offer->format.extra, info.extradata, 32);
      } else {
        put16(offer->format.extra, static_cast<uint32_t>(info.frame_size));
      }
      format_offer_header(offer, fmt.tag, channels, rate, avg, static_cast<WORD>(info.block_align), 4, extra);
      std::snprintf(middle, sizeof middle, "4 Bit");
      break;
    }
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      format_offer_header(offer, fmt.tag, channels, rate, rate * channels, channels, 8, 0);
      std::snprintf(middle, sizeof middle, "8 Bit");
      break;
    case WAVE_FORMAT_GSM610:
      // 320 samples in 65 bytes: 1625 bytes per second at 8 kHz.
      format_offer_header(offer, fmt.tag, 1, rate, rate * 65 / 320, 65, 0, 2);
      put16(offer->format.extra, 320);
      break;
    case WAVE_FORMAT_MPEGLAYER3: {
      // MPEGLAYER3WAVEFORMAT: wID, fdwFlags, nBlockSize, nFramesPerBlock, nCodecDelay.
      const DWORD bytes_per_second = static_cast<DWORD>(fmt.bit_rate_kbps) * 125;
      format_offer_header(offer, fmt.tag, channels, rate, bytes_per_second, 1, 0, 12);
      uint8_t* e = offer->format.extra;
      put16(e, 1);      // MPEGLAYER3_ID_MPEG
      put32(e + 2, 0);  // MPEGLAYER3_FLAG_PADDING_ISO
      put16(e + 6, static_cast<uint32_t>(144 * fmt.bit_rate_kbps * 1000 / rate));  // bytes per frame
      put16(e + 8, 1);
      put16(e + 10, static_cast<uint32_t>(info.initial_padding));
      std::snprintf(middle, sizeof middle, "%d kBit/s", fmt.bit_rate_kbps);
      break;
    }
    default:
      return false;
  }
  std::snprintf(offer->format_tag_name, sizeof offer->format_tag_name, "%s", fmt.tag_name);
  std::snprintf(offer->short_name, sizeof offer->short_name, "%s", fmt.short_name);
  if (middle[0] != '\0') {
    format_text_describe(offer->description, sizeof offer->description, rate, middle, channels);
  } else {
    char r[32];
    format_text_rate(r, sizeof r, rate);
    std::snprintf(offer->description, sizeof offer->description, "%s, %s", r, format_text_channels(channels));
  }
  return true;
}
