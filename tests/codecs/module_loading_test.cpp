// The FFmpeg module is loaded only when compressed formats are needed, and its absence leaves PCM
// working with a clear reason. Each case runs in a fresh process (a death-test child), because a
// process that loaded the module keeps it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "codec_support.h"
#include "engine/failure.h"
#include "engine_codec.h"
#include "platform/msacm/msacm.h"
#include "support/paths.h"

// The --format helper of qelp, compiled in here so that its choice can be checked in-process.
#include "../../cli/format_option.cpp"

namespace codec_test {
namespace {

bool ffmpeg_mapped() {
  return mapped("libavcodec") || mapped("libavformat") || mapped("qelp_acm_ffmpeg") || mapped("qelp_demux_ffmpeg");
}

class ModuleLoading : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  std::string demo_ = qelp_test::source_path("samples/demo.ac3");
  std::string dir_ = qelp_test::scratch_dir();
};

TEST(ModuleLinking, NeitherTheLibraryNorQelpLinkFfmpeg) {
  for (const char* object : {"lib/libqelpsnd.so", "bin/qelp", "bin/QelpConvert"}) {
    int status = -1;
    const std::string needed =
        run("objdump -p '" + qelp_test::binary_path(object) + "' | grep NEEDED", &status);
    EXPECT_EQ(status, 0) << object;
    EXPECT_NE(needed.find("libc.so"), std::string::npos) << object << ":\n" << needed;
    EXPECT_EQ(needed.find("libav"), std::string::npos) << object << ":\n" << needed;
    EXPECT_EQ(needed.find("libsw"), std::string::npos) << object << ":\n" << needed;
  }
  int status = -1;
  const std::string module =
      run("objdump -p '" + qelp_test::binary_path("lib/qelp_acm_ffmpeg.so") + "' | grep NEEDED", &status);
  EXPECT_NE(module.find("libavcodec"), std::string::npos) << module;
}

TEST_F(ModuleLoading, DefaultPcmConversionMapsNoFfmpegLibrary) {
  EXPECT_EXIT(
      {
        CQelpsnd engine;
        int started = engine_convert(engine, demo_, dir_ + "/default.wav", "");
        std::fprintf(stderr, "started=%d mapped=%d\n", started, ffmpeg_mapped());
        std::exit(started == 1 && engine.m_outputBytes > 0 && !ffmpeg_mapped() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "started=1 mapped=0");
}

// A raw stream is told by its content, whatever its name says: no demuxing module for it. A
// container loads the module (and with it libavformat), but not the codec module.
TEST_F(ModuleLoading, RawStreamsUnderAnyNameMapNoFfmpegLibraryAndContainersOnlyTheDemuxer) {
  EXPECT_EXIT(
      {
        const std::string named_mkv = dir_ + "/raw.mkv";
        std::FILE* in = std::fopen(demo_.c_str(), "rb");
        std::FILE* out = std::fopen(named_mkv.c_str(), "wb");
        for (int c; in != nullptr && out != nullptr && (c = std::fgetc(in)) != EOF;) std::fputc(c, out);
        if (in != nullptr) std::fclose(in);
        if (out != nullptr) std::fclose(out);
        CQelpsnd engine;
        int raw = engine_convert(engine, named_mkv, dir_ + "/raw.wav", "");
        const bool raw_mapped = ffmpeg_mapped();
        int vob = engine_convert(engine, qelp_test::data_path("containers/demo.vob"), dir_ + "/vob.wav", "");
        std::fprintf(stderr, "raw=%d mapped=%d vob=%d demuxer=%d codec=%d\n", raw, raw_mapped, vob,
                     mapped("qelp_demux_ffmpeg") && mapped("libavformat"), mapped("qelp_acm_ffmpeg"));
        std::exit(0);
      },
      testing::ExitedWithCode(0), "raw=1 mapped=0 vob=1 demuxer=1 codec=0");
}

TEST_F(ModuleLoading, FormatOptionForPcmMapsNoFfmpegLibrary) {
  EXPECT_EXIT(
      {
        if (format_option_install("pcm16-mono") != 0) std::exit(2);
        CQelpsnd engine;
        std::string in = demo_;
        std::string out = dir_ + "/mono.wav";
        qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
        engine.SetInFile(in.data());
        engine.SetOutFile(out.data());
        int started = engine.InitEncoder();
        while (started == 1 && engine.DecodeFrame() == 1) {
        }
        WaveHeader h = read_header(out);
        std::fprintf(stderr, "started=%d channels=%d mapped=%d\n", started, h.channels, ffmpeg_mapped());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "started=1 channels=1 mapped=0");
}

TEST_F(ModuleLoading, CompressedChoiceLoadsTheModule) {
  EXPECT_EXIT(
      {
        if (format_option_install("mp3-192") != 0) std::exit(2);
        CQelpsnd engine;
        std::string in = demo_;
        std::string out = dir_ + "/mp3.wav";
        qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
        engine.SetInFile(in.data());
        engine.SetOutFile(out.data());
        int started = engine.InitEncoder();
        while (started == 1 && engine.DecodeFrame() == 1) {
        }
        WaveHeader h = read_header(out);
        std::fprintf(stderr, "started=%d tag=%d avg=%u mapped=%d\n", started, h.tag, h.avg_bytes,
                     ffmpeg_mapped());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "started=1 tag=85 avg=24000 mapped=1");
}

// What `qelp --version` reports: the module's file and the FFmpeg versions it runs with, or why
// it is not there.
TEST_F(ModuleLoading, TheLoadedModuleNamesItselfAndItsFfmpegVersions) {
  EXPECT_EXIT(
      {
        const int loaded = acmCodecModuleLoad();
        const std::string description = acmCodecModuleDescription();
        const bool named = description.find("qelp_acm_ffmpeg.so (libavcodec ") != std::string::npos &&
                           description.find(", libavutil ") != std::string::npos &&
                           description.find(", libswresample ") != std::string::npos;
        std::fprintf(stderr, "loaded=%d named=%d problem=[%s]\n", loaded, named, acmCodecModuleProblem());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "loaded=1 named=1 problem=\\[\\]");
  EXPECT_EXIT(
      {
        setenv("QELP_CODEC_MODULE", "none", 1);
        const int loaded = acmCodecModuleLoad();
        std::fprintf(stderr, "loaded=%d description=[%s] problem=[%s]\n", loaded, acmCodecModuleDescription(),
                     acmCodecModuleProblem());
        std::exit(0);
      },
      testing::ExitedWithCode(0), "loaded=0 description=\\[\\] problem=\\[the FFmpeg codec module is switched off");
}

TEST(FormatOption, OnlyEightAndSixteenBitPcmCountAsNormalizable) {
  EXPECT_TRUE(format_option_is_pcm("pcm16"));
  EXPECT_TRUE(format_option_is_pcm("pcm8-mono"));
  EXPECT_FALSE(format_option_is_pcm("pcm24"));  // the normalizer reads 8 and 16 bits only
  EXPECT_FALSE(format_option_is_pcm("float"));
  EXPECT_FALSE(format_option_is_pcm("ima-adpcm"));
}

TEST_F(ModuleLoading, UnknownFormatNameIsAUsageErrorListingTheValidOnes) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(format_option_install("mp3-999"), 2);
  EXPECT_EQ(format_option_install("pcm-17"), 2);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("qelp: unknown format 'mp3-999'; valid formats: pcm16, pcm16-mono, pcm8"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("ima-adpcm, ms-adpcm, alaw, mulaw, gsm, mp3-128, mp3-192, mp3-256, mp3-320\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2);  // one line per refusal
  acmSetFormatChooser(nullptr, nullptr, 0);
}

// Child of MissingModuleMeansPcmOnlyWithAClearReason.
void missing_module_child(const std::string& demo, const std::string& dir) {
  setenv("QELP_CODEC_MODULE", "/nonexistent/qelp_acm_ffmpeg.so", 1);
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  AcmFormatOffer offers[64];
  size_t n = acmFormatEnumOffers(&src, offers, 64, 0);
  // A compressed format asked for anyway: the stream cannot open, and the failure says why.
  acmSetFormatChooser(
      [](ACMFORMATCHOOSEA* afc, const AcmFormatOffer*, size_t, void*) -> MMRESULT {
        *afc->pwfx = WAVEFORMATEX{WAVE_FORMAT_ALAW, 2, 48000, 96000, 2, 8, 0};
        return MMSYSERR_NOERROR;
      },
      nullptr, 0);
  CQelpsnd engine;
  std::string in = demo;
  std::string out = dir + "/alaw.wav";
  static std::string diagnostics;
  qelpsnd_set_diagnostics(
      [](int stream, const char* text, void*) {
        if (stream == 2) diagnostics += text;
      },
      nullptr);
  engine.SetInFile(in.data());
  engine.SetOutFile(out.data());
  const int started = engine.InitEncoder();
  const int code = engine.m_lastError;
  const bool named =
      std::string(engine.m_lastErrorText).find("/nonexistent/qelp_acm_ffmpeg.so") != std::string::npos;
  const bool told =
      diagnostics.find("acmStreamOpen() failed, The requested operation cannot be performed.") !=
      std::string::npos;
  // PCM still works.
  acmSetFormatChooser(nullptr, nullptr, 0);
  const int pcm = engine_convert(engine, demo, dir + "/pcm.wav", "pcm8");
  std::fprintf(stderr, "offers=%zu started=%d code=%d named=%d told=%d pcm=%d\n", n, started, code, named,
               told, pcm);
  std::exit(0);
}

TEST_F(ModuleLoading, MissingModuleMeansPcmOnlyWithAClearReason) {
  EXPECT_EXIT(missing_module_child(demo_, dir_), testing::ExitedWithCode(0),
              "offers=8 started=0 code=5 named=1 told=1 pcm=1");
}

// Child of BrokenModuleIsRefusedNotCrashedOn: a shared object that is not a codec driver.
void broken_module_child() {
  const std::string not_a_driver = qelp_test::binary_path("lib/libqelpsnd.so");
  setenv("QELP_CODEC_MODULE", not_a_driver.c_str(), 1);
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  AcmFormatOffer offers[64];
  size_t n = acmFormatEnumOffers(&src, offers, 64, 0);
  std::fprintf(stderr, "offers=%zu problem=%s\n", n, acmCodecModuleProblem());
  std::exit(0);
}

TEST_F(ModuleLoading, BrokenModuleIsRefusedNotCrashedOn) {
  EXPECT_EXIT(broken_module_child(), testing::ExitedWithCode(0),
              "offers=8 problem=.*libqelpsnd.so: not a codec driver");
}

}  // namespace
}  // namespace codec_test
