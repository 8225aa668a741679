// The codec module loaded ahead of the first Start: once the preload has ended, the chooser's
// formats include the module's without any further load.
#include <gtest/gtest.h>

#include <cstring>

#include "codec_module_preload.h"
#include "platform/msacm/msacm.h"

namespace {

// The offers for 16-bit stereo at 48 kHz from the drivers loaded now (no load is made).
size_t offers_loaded_now()
{
  WAVEFORMATEX source{WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
  static AcmFormatOffer offers[256];
  return acmFormatEnumOffers(&source, offers, 256, ACM_CHOOSERF_LOADED_DRIVERS);
}

}  // namespace

TEST(CodecModulePreload, TheModulesFormatsAreOfferedOnceThePreloadHasEnded)
{
  // Each test runs in a process of its own: nothing has tried the module yet.
  ASSERT_STREQ(acmCodecModuleDescription(), "");
  ASSERT_STREQ(acmCodecModuleProblem(), "");
  const size_t pcmOnly = offers_loaded_now();
  ASSERT_GT(pcmOnly, 0u);
  { const CCodecModulePreload preload; }
  const bool loaded = std::strlen(acmCodecModuleDescription()) > 0;
  // Tried either way: loaded, or the reason it could not be is there for the chooser to say.
  EXPECT_TRUE(loaded || std::strlen(acmCodecModuleProblem()) > 0);
  ASSERT_TRUE(loaded) << acmCodecModuleProblem();  // the build has the module next to the library
  EXPECT_GT(offers_loaded_now(), pcmOnly);
}
