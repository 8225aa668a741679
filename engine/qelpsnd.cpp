// CQelpsnd: the engine's conversion side — paths and options, InitEncoder, DecodeFrame, Terminate.
#include "qelpsnd.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ac3_reader.h"
#include "engine_state.h"
#include "failure.h"
#include "normalizer_link.h"
#include "output_wavefile.h"
#include "stream_scan.h"

namespace qelp {

EngineActivity g_activity = EngineActivity::idle;

// Engine objects alive. The reader and writer are library-wide; a second object (not a supported
// use) shares them instead of replacing them, so that neither leaks nor frees the other's.
int g_engine_objects = 0;

namespace {

constexpr size_t kPathBytes = 1024;
constexpr size_t kAmplifyBytes = 8;

// Copies a NUL-terminated text into a fixed buffer; 0 when it does not fit (NUL included).
bool copy_bounded(char* dest, size_t size, const char* text) {
  if (text == nullptr) return false;
  size_t n = strnlen(text, size);
  if (n >= size) return false;
  std::memcpy(dest, text, n + 1);
  return true;
}

// The same file reached through both paths (same name, a link, or another name for it).
bool same_file(const char* a, const char* b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

}  // namespace qelp

using namespace qelp;

CQelpsnd::CQelpsnd() {
  std::memset(m_memoryInput, 0, sizeof m_memoryInput);
  std::memset(m_pcmFrame, 0, sizeof m_pcmFrame);
  m_normalize = 1;
  m_inPath[0] = '\0';
  m_outPath[0] = '\0';
  m_amplify[0] = '\0';
  m_surround = 1;
  m_bytesDecoded = 0;
  m_outputBytes = 0;
  m_inputPosition = 0;
  m_inputSize = 0;
  m_lastError = QELP_OK;
  m_lastErrorText[0] = '\0';
  if (g_engine_objects++ == 0) {
    g_ac3_reader = new CAc3Reader();
    g_output_wavefile = new COutputWavefile();
  }
  normalizer_attach();
}

CQelpsnd::~CQelpsnd() {
  // A conversion or preview still open is finished properly, so the WAVE file keeps a valid header.
  if (g_activity == EngineActivity::converting) Terminate();
  if (g_activity == EngineActivity::playing) StopPlayer();
  normalizer_detach();
  if (--g_engine_objects == 0) {
    delete g_ac3_reader;
    g_ac3_reader = nullptr;
    delete g_output_wavefile;
    g_output_wavefile = nullptr;
  }
}

CQelpsnd& CQelpsnd::operator=(const CQelpsnd& other) {
  if (this == &other) return *this;
  std::memcpy(m_memoryInput, other.m_memoryInput, sizeof m_memoryInput);
  std::memcpy(m_pcmFrame, other.m_pcmFrame, sizeof m_pcmFrame);
  m_normalize = other.m_normalize;
  std::memcpy(m_inPath, other.m_inPath, sizeof m_inPath);
  std::memcpy(m_outPath, other.m_outPath, sizeof m_outPath);
  std::memcpy(m_amplify, other.m_amplify, sizeof m_amplify);
  m_surround = other.m_surround;
  m_bytesDecoded = other.m_bytesDecoded;
  m_outputBytes = other.m_outputBytes;
  m_inputPosition = other.m_inputPosition;
  m_inputSize = other.m_inputSize;
  m_lastError = other.m_lastError;
  std::memcpy(m_lastErrorText, other.m_lastErrorText, sizeof m_lastErrorText);
  return *this;
}

namespace {

void fail(CQelpsnd& engine, int code, const char* text) {
  failure_set(code, "%s", text);
  take_failure(engine);
}

}  // namespace

int CQelpsnd::SetInFile(char* path) {
  m_lastError = QELP_OK;
  m_lastErrorText[0] = '\0';
  m_inputSize = 0;
  if (!copy_bounded(m_inPath, kPathBytes, path)) {
    m_inPath[0] = '\0';
    fail(*this, QELP_ERR_ARGUMENT, "The input path is too long (1023 bytes at most)");
    return -1;
  }
  std::FILE* f = std::fopen(m_inPath, "rb");
  if (f == nullptr) {
    failure_set(QELP_ERR_INPUT, "Cannot open %s: %s", m_inPath, std::strerror(errno));
    take_failure(*this);
    return -1;
  }
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    failure_set(QELP_ERR_INPUT, "Cannot read %s: not a regular file", m_inPath);
    take_failure(*this);
    return -1;
  }
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  m_inputSize = size < 0 ? 0u : (static_cast<unsigned long>(size) > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size));
  return std::fclose(f);
}

int CQelpsnd::SetOutFile(char* path) {
  if (!copy_bounded(m_outPath, kPathBytes, path)) {
    m_outPath[0] = '\0';
    fail(*this, QELP_ERR_ARGUMENT, "The output path is too long (1023 bytes at most)");
    return -1;
  }
  return 0;
}

int CQelpsnd::SetNormalizeOn() {
  m_normalize = 1;
  return 0;
}

int CQelpsnd::SetNormalizeOff() {
  m_normalize = 0;
  return 0;
}

void CQelpsnd::SetAmplifyDBLevel(char* text) {
  if (!copy_bounded(m_amplify, kAmplifyBytes, text)) {
    fail(*this, QELP_ERR_ARGUMENT, "The amplification text is too long (7 characters at most)");
  }
}

void CQelpsnd::SetSurround(int on) { m_surround = on; }

int CQelpsnd::InitEncoder() {
  failure_clear();
  m_lastError = QELP_OK;
  m_lastErrorText[0] = '\0';
  if (g_activity != EngineActivity::idle) {
    fail(*this, QELP_ERR_STATE, "A conversion or preview is already running");
    return 0;
  }
  // The normalizer's progress would be reset under its feet, and it may hold the output file.
  if (GetNormExit() == QELP_NORM_RUNNING) {
    fail(*this, QELP_ERR_BUSY, "A normalization is still running");
    return 0;
  }
  m_bytesDecoded = 0;
  m_outputBytes = 0;
  m_inputPosition = 0;
  normalizer_reset_progress();
  if (m_inPath[0] == '\0') {
    fail(*this, QELP_ERR_INPUT, "No input file was given");
    return 0;
  }
  if (m_outPath[0] == '\0') {
    fail(*this, QELP_ERR_OUTPUT, "No output file was given");
    return 0;
  }
  if (same_file(m_inPath, m_outPath)) {
    failure_set(QELP_ERR_SAME_FILE, "Refusing to write %s over its own input", m_outPath);
    take_failure(*this);
    return 0;
  }

  // A file without AC-3 audio in its first megabyte (empty, a WAVE or MP3 file, random bytes)
  // is refused before anything is created.
  QelpsndStreamInfo info{};
  char reason[sizeof m_lastErrorText];
  if (!stream_scan(g_ac3_reader->decoder(), m_inPath, ScanLimits{false, 1u << 20}, info, reason, sizeof reason)) {
    fail(*this, QELP_ERR_INPUT, reason);
    return 0;
  }

  g_ac3_reader->surround = m_surround;
  if (!g_ac3_reader->start(m_inPath)) {
    take_failure(*this);
    return 0;
  }
  // A damaged probe frame teaches no rate: the first frame that passes its check does.
  if (g_ac3_reader->sampling_rate != static_cast<int32_t>(info.sampling_rate)) {
    g_ac3_reader->sampling_rate = static_cast<int32_t>(info.sampling_rate);
  }

  COutputWavefile& writer = *g_output_wavefile;
  writer.set_path(m_outPath);
  writer.format.channels = 2;
  writer.format.sampling_rate = static_cast<uint32_t>(g_ac3_reader->sampling_rate);
  writer.format.bytes_per_frame = 6144;
  if (!output_wavefile_open()) {
    take_failure(*this);
    g_ac3_reader->close_input();
    return 0;
  }
  g_activity = EngineActivity::converting;
  return 1;
}

int CQelpsnd::DecodeFrame() {
  if (g_activity != EngineActivity::converting) {
    fail(*this, QELP_ERR_STATE, "No conversion is open");
    return 0;
  }
  int produced = g_ac3_reader->next_frame(m_pcmFrame);
  m_bytesDecoded += 6144;
  m_inputPosition = g_ac3_reader->read_position();

  if (produced != 0) {
    if (output_wavefile_write(m_pcmFrame)) {
      m_outputBytes = g_output_wavefile->total;
      return 1;
    }
    // The frame could not be written: end the conversion with a valid file, keep the reason.
    int code = failure_code();
    char text[sizeof m_lastErrorText];
    std::snprintf(text, sizeof text, "%s", failure_text());
    output_wavefile_close();
    m_outputBytes = g_output_wavefile->total;
    g_ac3_reader->close_input();
    g_activity = EngineActivity::idle;
    fail(*this, code, text);
    return 0;
  }

  int closed = output_wavefile_close();
  m_outputBytes = g_output_wavefile->total;
  g_ac3_reader->close_input();
  g_activity = EngineActivity::idle;
  if (!closed) take_failure(*this);
  return 0;
}

void CQelpsnd::Terminate() {
  if (g_activity != EngineActivity::converting) return;
  m_inputPosition = g_ac3_reader->read_position();
  if (!output_wavefile_close()) take_failure(*this);
  m_outputBytes = g_output_wavefile->total;
  g_ac3_reader->close_input();
  g_activity = EngineActivity::idle;
}
