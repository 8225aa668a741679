// CQelpsnd: the engine's conversion side — paths and options, InitEncoder, DecodeFrame, Terminate.
#include "qelpsnd.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine_parts.h"
#include "failure.h"
#include "input_file_check.h"
#include "input_kind.h"
#include "stream_scan.h"

namespace qelp {

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

// What a path names; "-" is the standard input or output.
bool stat_path(const char* path, int standard_fd, struct stat* st) {
  if (is_standard_stream(path)) return fstat(standard_fd, st) == 0;
  return stat(path, st) == 0;
}

// The same file reached through both paths (same name, a link, another name for it, or a standard
// stream redirected to it).
bool same_file(const char* in, const char* out) {
  struct stat sa {};
  struct stat sb {};
  if (!stat_path(in, STDIN_FILENO, &sa) || !stat_path(out, STDOUT_FILENO, &sb)) return false;
  if (is_standard_stream(in) || is_standard_stream(out)) {
    // Two pipes or terminals are not one file; a redirection to a regular file is.
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode)) return false;
  }
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

const char* input_name(const char* path) { return is_standard_stream(path) ? "standard input" : path; }
const char* output_name(const char* path) { return is_standard_stream(path) ? "standard output" : path; }

void clear_counts(CQelpsnd& engine) {
  engine.m_framesMuted = 0;
  engine.m_firstMutedFrame = -1;
  engine.m_bytesSkipped = 0;
  engine.m_bytesAfterLast = 0;
  engine.m_samplesClipped = 0;
  engine.m_framesOtherRate = 0;
  engine.m_framesEac3 = 0;
}

// The reader's findings into the engine's counters.
void take_counts(CQelpsnd& engine, const CAc3Reader& r) {
  engine.m_framesMuted = r.frames_muted;
  engine.m_firstMutedFrame =
      r.first_muted_frame > INT32_MAX ? INT32_MAX : static_cast<int32_t>(r.first_muted_frame);
  engine.m_bytesSkipped = r.bytes_skipped;
  engine.m_bytesAfterLast = r.bytes_after_last;
  engine.m_samplesClipped = r.samples_clipped;
  engine.m_framesOtherRate = r.frames_other_rate;
  engine.m_framesEac3 = r.frames_eac3;
}

// Copies the settings and counters, not the parts.
void copy_members(CQelpsnd& to, const CQelpsnd& from) {
  std::memcpy(to.m_memoryInput, from.m_memoryInput, sizeof to.m_memoryInput);
  std::memcpy(to.m_pcmFrame, from.m_pcmFrame, sizeof to.m_pcmFrame);
  to.m_normalize = from.m_normalize;
  std::memcpy(to.m_inPath, from.m_inPath, sizeof to.m_inPath);
  std::memcpy(to.m_outPath, from.m_outPath, sizeof to.m_outPath);
  std::memcpy(to.m_amplify, from.m_amplify, sizeof to.m_amplify);
  to.m_surround = from.m_surround;
  to.m_bytesDecoded = from.m_bytesDecoded;
  to.m_outputBytes = from.m_outputBytes;
  to.m_inputPosition = from.m_inputPosition;
  to.m_inputSize = from.m_inputSize;
  to.m_lastError = from.m_lastError;
  std::memcpy(to.m_lastErrorText, from.m_lastErrorText, sizeof to.m_lastErrorText);
  to.m_framesMuted = from.m_framesMuted;
  to.m_firstMutedFrame = from.m_firstMutedFrame;
  to.m_bytesSkipped = from.m_bytesSkipped;
  to.m_bytesAfterLast = from.m_bytesAfterLast;
  to.m_samplesClipped = from.m_samplesClipped;
  to.m_samplingRate = from.m_samplingRate;
  to.m_framesOtherRate = from.m_framesOtherRate;
  to.m_framesEac3 = from.m_framesEac3;
  to.m_bytesDecoded64 = from.m_bytesDecoded64;
  to.m_outputBytes64 = from.m_outputBytes64;
  to.m_inputPosition64 = from.m_inputPosition64;
  to.m_inputSize64 = from.m_inputSize64;
  EngineParts::of(to).track = EngineParts::of(from).track;
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
  clear_counts(*this);
  m_samplingRate = 0;
  m_bytesDecoded64 = 0;
  m_outputBytes64 = 0;
  m_inputPosition64 = 0;
  m_inputSize64 = 0;
  m_parts = new EngineParts(*this);
}

CQelpsnd::CQelpsnd(const CQelpsnd& other) : CQelpsnd() { copy_members(*this, other); }

CQelpsnd::~CQelpsnd() {
  // A conversion or preview still open is finished properly, so the WAVE file keeps a valid header.
  if (m_parts->activity == EngineActivity::converting) Terminate();
  if (m_parts->activity == EngineActivity::playing) StopPlayer();
  // The normalizer's worker is stopped (if it changed nothing yet) and joined with its parts.
  delete m_parts;
}

CQelpsnd& CQelpsnd::operator=(const CQelpsnd& other) {
  if (this != &other) copy_members(*this, other);
  return *this;
}

int CQelpsnd::SetInFile(char* path) {
  Failure& failure = EngineParts::of(*this).failure;
  failure.clear();
  m_inputSize = 0;
  m_inputSize64 = 0;
  if (!copy_bounded(m_inPath, kPathBytes, path)) {
    m_inPath[0] = '\0';
    failure.set(QELP_ERR_ARGUMENT, "The input path is too long (1023 bytes at most)");
    return -1;
  }
  if (is_standard_stream(m_inPath)) {
    // Nothing is read here: a pipe gives its bytes only once. Its size is known when it is a file.
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
      const off_t at = lseek(STDIN_FILENO, 0, SEEK_CUR);
      const uint64_t left =
          static_cast<uint64_t>(st.st_size) - static_cast<uint64_t>(at > 0 && at <= st.st_size ? at : 0);
      m_inputSize = left > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(left);
      m_inputSize64 = left;
    }
    return 0;
  }
  // Looked at before it is opened: opening a named pipe would wait for a writer.
  if (!input_is_readable_file(m_inPath, failure)) return -1;
  std::FILE* f = open_regular_input(m_inPath);
  if (f == nullptr) {
    failure.set(QELP_ERR_INPUT, "Cannot open %s: %s", m_inPath, std::strerror(errno));
    return -1;
  }
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  m_inputSize = size < 0 ? 0u : (static_cast<unsigned long>(size) > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size));
  m_inputSize64 = size < 0 ? 0u : static_cast<uint64_t>(size);
  return std::fclose(f);
}

int CQelpsnd::SetOutFile(char* path) {
  if (!copy_bounded(m_outPath, kPathBytes, path)) {
    m_outPath[0] = '\0';
    EngineParts::of(*this).failure.set(QELP_ERR_ARGUMENT, "The output path is too long (1023 bytes at most)");
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
    EngineParts::of(*this).failure.set(QELP_ERR_ARGUMENT,
                                       "The amplification text is too long (7 characters at most)");
  }
}

void CQelpsnd::SetSurround(int on) { m_surround = on; }

void CQelpsnd::SetTrack(int track) { EngineParts::of(*this).track.track = track < 0 ? 0 : track; }

int CQelpsnd::GetTrack() const { return EngineParts::of(*this).track.track; }

int CQelpsnd::InitEncoder() {
  EngineParts& parts = EngineParts::of(*this);
  Failure& failure = parts.failure;
  failure.clear();
  if (parts.activity != EngineActivity::idle) {
    failure.set(QELP_ERR_STATE, "A conversion or preview is already running");
    return 0;
  }
  // The normalizer's progress would be reset under its feet, and it may hold the output file.
  if (GetNormExit() == QELP_NORM_RUNNING) {
    failure.set(QELP_ERR_BUSY, "A normalization is still running");
    return 0;
  }
  m_bytesDecoded = 0;
  m_outputBytes = 0;
  m_inputPosition = 0;
  m_bytesDecoded64 = 0;
  m_outputBytes64 = 0;
  m_inputPosition64 = 0;
  clear_counts(*this);
  parts.normalizer.reset_progress();
  if (m_inPath[0] == '\0') {
    failure.set(QELP_ERR_INPUT, "No input file was given");
    return 0;
  }
  if (m_outPath[0] == '\0') {
    failure.set(QELP_ERR_OUTPUT, "No output file was given");
    return 0;
  }
  if (same_file(m_inPath, m_outPath)) {
    failure.set(QELP_ERR_SAME_FILE, "Refusing to write %s over its own input", output_name(m_outPath));
    return 0;
  }

  // An input without AC-3 audio in its first megabyte (empty, a WAVE or MP3 file, random bytes)
  // is refused before anything is created. The input is read once: the check keeps what it reads,
  // and the decoder starts on those bytes.
  CAc3Reader& reader = parts.reader;
  if (!reader.open_input(m_inPath, parts.track)) return 0;
  QelpsndStreamInfo info{};
  char reason[sizeof m_lastErrorText];
  if (!reader.check_head(input_name(m_inPath), info, reason, sizeof reason)) {
    reader.close_input();
    failure.set(QELP_ERR_INPUT, "%s", reason);
    return 0;
  }
  reader.surround = m_surround;
  // The output's rate is the first frame's that passes its check (a damaged probe frame teaches none).
  reader.start_decoding(static_cast<int32_t>(info.sampling_rate));

  COutputWavefile& writer = parts.writer;
  writer.to_standard_output = is_standard_stream(m_outPath);
  writer.set_path(output_name(m_outPath));
  writer.format.channels = 2;
  writer.format.sampling_rate = static_cast<uint32_t>(reader.sampling_rate);
  writer.format.bytes_per_frame = 6144;
  // What the input can give, for the writer's room for an RF64 header: its frames at the first
  // frame's size (a container's other tracks make it more, never less).
  const uint64_t frame_bytes = info.sampling_rate != 0 ? uint64_t{info.bit_rate} * 1000 / 8 * 1536 / info.sampling_rate : 0;
  writer.expected_source_bytes = frame_bytes != 0 ? m_inputSize64 / frame_bytes * 6144 : 0;
  if (!writer.open()) {
    reader.close_input();
    return 0;
  }
  m_samplingRate = static_cast<uint32_t>(reader.sampling_rate);
  take_counts(*this, reader);
  parts.conversion_stream = info;
  parts.conversion_stream_known = true;
  parts.activity = EngineActivity::converting;
  return 1;
}

namespace {

// Closes the output and the input; the conversion has ended.
int end_conversion(CQelpsnd& engine, EngineParts& parts) {
  const int closed = parts.writer.close();
  engine.m_outputBytes64 = parts.writer.total;
  engine.m_outputBytes = parts.writer.total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(parts.writer.total);
  parts.reader.close_input();
  parts.activity = EngineActivity::idle;
  return closed;
}

}  // namespace

int CQelpsnd::DecodeFrame() {
  EngineParts& parts = EngineParts::of(*this);
  if (parts.activity != EngineActivity::converting) {
    parts.failure.set(QELP_ERR_STATE, "No conversion is open");
    return 0;
  }
  int produced = parts.reader.next_frame(m_pcmFrame);
  m_bytesDecoded += 6144;
  m_bytesDecoded64 += 6144;
  m_inputPosition = parts.reader.read_position();
  m_inputPosition64 = parts.reader.read_position64();
  take_counts(*this, parts.reader);

  if (produced == 0 && m_inputSize != 0) {
    // The input has ended: a container's index or padding behind the last packet is not read, yet
    // the whole file has been taken.
    m_inputPosition = m_inputSize;
    m_inputPosition64 = m_inputSize64;
  }
  if (produced != 0) {
    if (parts.writer.write(m_pcmFrame)) {
      m_outputBytes64 = parts.writer.total;
      m_outputBytes = parts.writer.total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(parts.writer.total);
      return 1;
    }
    // The frame could not be written: end the conversion with a valid file, keep the reason
    // (the close may record a failure of its own).
    const int code = m_lastError;
    char text[sizeof m_lastErrorText];
    std::snprintf(text, sizeof text, "%s", m_lastErrorText);
    end_conversion(*this, parts);
    parts.failure.set(code, "%s", text);
    return 0;
  }

  end_conversion(*this, parts);
  return 0;
}

void CQelpsnd::Terminate() {
  EngineParts& parts = EngineParts::of(*this);
  if (parts.activity != EngineActivity::converting) return;
  m_inputPosition = parts.reader.read_position();
  m_inputPosition64 = parts.reader.read_position64();
  end_conversion(*this, parts);
}

extern "C" int qelpsnd_conversion_stream(const CQelpsnd* engine, QelpsndStreamInfo* info) {
  if (info == nullptr) return 0;
  const EngineParts* parts = engine != nullptr ? &EngineParts::of(*engine) : nullptr;
  const bool known = parts != nullptr && parts->conversion_stream_known;
  *info = known ? parts->conversion_stream : QelpsndStreamInfo{};
  return known ? 1 : 0;
}
