// The WAVE output writer over the codec manager. Frames are collected in a fixed source area,
// offered to the codec 6144 bytes at a time; bytes the codec leaves unconsumed are carried over
// to the start of the area and the next frame is appended behind them. The codec's output is
// collected in a staging buffer and written to the file a buffer at a time.
#include "output_wavefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "diagnostics.h"
#include "failure.h"
#include "platform/msacm/acm_reason.h"
#include "platform/msacm/acm_registry.h"
#include "platform/msacm/msacm.h"

namespace qelp {

COutputWavefile* g_output_wavefile = nullptr;

namespace {

constexpr size_t kFormatBufferBytes = 59;  // WAVEFORMATEX and up to 41 codec-specific bytes
constexpr WORD kFormatExtraMax = kFormatBufferBytes - sizeof(WAVEFORMATEX);
constexpr DWORD kOfferBytes = 6144;              // source bytes offered per conversion call
constexpr size_t kSourceAreaBytes = 98304;       // sixteen PCM frames
constexpr DWORD kMaxSuggestedBytes = 16u << 20;  // a codec asking for more is not believed
constexpr int kMaxIdleCalls = 16;                // calls in a row that neither consume nor produce
constexpr int kMaxDrainCalls = 4096;             // calls in a row that produce without consuming

// Library-wide writer state: one writer per process.
WAVEFORMATEX* m_lpoutwfx = nullptr;
WAVEFORMATEX g_source_format{};
HACMSTREAM g_stream = nullptr;
ACMSTREAMHEADER g_header{};
bool g_header_prepared = false;
uint8_t g_source_area[kSourceAreaBytes];
DWORD g_pending = 0;
uint8_t g_staging[kOutputStagingBytes];  // converted bytes not yet written, all whole codec output
DWORD g_staged = 0;
uint32_t g_in_file = 0;  // data bytes that have reached the file
uint8_t* g_destination = nullptr;
DWORD g_suggested = 0;
bool g_start_flag = true;
uint32_t g_last_progress = 0;
bool g_open = false;
bool g_stopped = false;  // a write failed or the size limit was reached: nothing more is written
uint32_t g_size_limit_override = 0;
OverwritePolicy g_policy = OverwritePolicy::ask;
bool g_seekable = true;        // the header can be rewritten at the close
off_t g_header_offset = 0;     // where the header begins in the file (the standard output may not be at 0)
uint64_t g_source_frames = 0;  // PCM sample frames offered to the codec, for the fact chunk

// MS VC-style %ld prints of 32-bit values.
long as_long(uint64_t v) { return static_cast<long>(v); }

// Formats other than PCM carry a fact chunk: WAVE readers take the duration from it.
bool has_fact() { return m_lpoutwfx != nullptr && m_lpoutwfx->wFormatTag != WAVE_FORMAT_PCM; }

// 46 + c = "RIFF" and its size (8) + "WAVE" (4) + "fmt " and its size (8) + the format (18 + c)
// + "data" and its size (8); the fact chunk adds "fact", its size and the count (12).
uint32_t header_bytes() {
  return 46u + (m_lpoutwfx != nullptr ? m_lpoutwfx->cbSize : 0u) + (has_fact() ? 12u : 0u);
}

// The sample frames per channel the data holds: the source's frames at the output's rate.
uint32_t fact_sample_frames() {
  const uint64_t in_rate = g_source_format.nSamplesPerSec;
  const uint64_t out_rate = m_lpoutwfx->nSamplesPerSec;
  if (in_rate == 0) return 0;
  const uint64_t frames = (g_source_frames * out_rate + in_rate / 2) / in_rate;
  return frames > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(frames);
}

uint32_t size_limit() {
  const uint32_t natural = UINT32_MAX - (header_bytes() - 8u);  // RIFF size = header - 8 + total
  return g_size_limit_override != 0 && g_size_limit_override < natural ? g_size_limit_override : natural;
}

// Prints a headline and the reason for an ACM result to standard error, and records the failure.
void acm_failure(const char* headline, AcmCall call, MMRESULT code, int failure, const char* what) {
  char reason[256];
  acm_reason(call, code, reason, sizeof reason);
  diag_err("%s%s", headline, reason);
  failure_set(failure, "%s for %s: %s", what, g_output_wavefile->path, reason);
}

// Releases the codec stream, the header and the buffers, as far as they were set up.
void release_codec() {
  if (g_header_prepared) {
    g_header.cbSrcLength = kOfferBytes;
    g_header.cbDstLength = g_suggested;
    acmStreamUnprepareHeader(g_stream, &g_header, 0);
    g_header_prepared = false;
  }
  if (g_stream != nullptr) {
    acmStreamClose(g_stream, 0);
    g_stream = nullptr;
  }
  std::free(g_destination);
  g_destination = nullptr;
  std::free(m_lpoutwfx);
  m_lpoutwfx = nullptr;
  diag_standard_output_busy(false);
}

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Writes bytes behind the data in the file. A failed or short write is undone (the file is cut back
// to the data written before, so the data chunk only ever holds whole codec output), what was staged
// is dropped, total counts only what is in the file, and writing stops.
bool write_to_file(COutputWavefile& w, const uint8_t* data, DWORD count) {
  const size_t written = std::fwrite(data, 1, count, w.file);
  if (written == count) {
    g_in_file += count;
    return true;
  }
  const int err = errno;
  diag_err("\noutput_wavefile_write() : fwrite() failed.");
  failure_set(QELP_ERR_OUTPUT, "Could not write %s: %s", w.path, std::strerror(err));
  std::clearerr(w.file);
  w.total = g_in_file;
  g_staged = 0;
  if (g_seekable && (ftruncate(fileno(w.file), g_header_offset + static_cast<off_t>(header_bytes()) + g_in_file) != 0 ||
                     std::fseek(w.file, 0, SEEK_END) != 0)) {
    diag_err("\noutput_wavefile_write() : could not cut %s back to the data written.", w.path);
  }
  g_stopped = true;
  return false;
}

bool flush_staged(COutputWavefile& w) {
  if (g_staged == 0) return true;
  const DWORD count = g_staged;
  g_staged = 0;
  return write_to_file(w, g_staging, count);
}

// Appends converted bytes to the data: staged, or written straight through when they do not fit
// the staging buffer. total counts them at once.
bool append_data(COutputWavefile& w, const uint8_t* data, DWORD count) {
  if (count == 0) return true;
  if (uint64_t{w.total} + count > size_limit()) {
    diag_err("\noutput_wavefile_write() : the data would pass the RIFF size limit, stopping.");
    failure_set(QELP_ERR_SIZE_LIMIT,
                "%s reached the largest size a WAVE file can have (%lu data bytes); "
                "the conversion stopped there",
                w.path, static_cast<unsigned long>(w.total));
    g_stopped = true;
    return false;
  }
  if (g_staged + count > kOutputStagingBytes && !flush_staged(w)) return false;
  w.total += count;
  if (count > kOutputStagingBytes) return write_to_file(w, data, count);
  std::memcpy(g_staging + g_staged, data, count);
  g_staged += count;
  return true;
}

// One conversion call on the first `offer` bytes of the source area; writes what the codec
// produced and moves the unconsumed bytes to the start of the area. Returns false on failure.
bool convert_once(COutputWavefile& w, DWORD offer, DWORD extra_flags, DWORD* consumed, DWORD* produced) {
  DWORD flags = extra_flags;
  if (g_start_flag) {
    flags |= ACM_STREAMCONVERTF_START;
    g_start_flag = false;
    diag_out("\routput_wavefile_write() : initializing...");
  }
  g_header.cbSrcLength = offer;
  g_header.cbDstLength = g_suggested;
  MMRESULT r = acmStreamConvert(g_stream, &g_header, flags);
  g_header.cbSrcLength = kOfferBytes;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_write() : acmStreamConvert() failed,\n", AcmCall::convert, r,
                QELP_ERR_CODEC, "The codec failed");
    g_stopped = true;
    return false;
  }
  *consumed = g_header.cbSrcLengthUsed;
  *produced = g_header.cbDstLengthUsed;
  if (!append_data(w, g_destination, *produced)) return false;
  std::memmove(g_source_area, g_source_area + *consumed, g_pending - *consumed);
  g_pending -= *consumed;
  return true;
}

void report_progress(const COutputWavefile& w) {
  const uint32_t upper = w.total >> 16;
  if (upper != g_last_progress) {
    diag_out("\routput_wavefile_write() : mbytes written = [%ld] ", as_long(w.total / 1048576u));
    g_last_progress = upper;
  }
}

// Creates (or, when allowed, reuses) the output file and locks it. Returns the open stream or
// nullptr with the failure recorded; *created tells whether the file is new.
std::FILE* create_locked(COutputWavefile& w, bool exists, bool* created) {
  *created = false;
  int fd =
      exists ? open(w.path, O_RDWR | O_CLOEXEC) : open(w.path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    diag_err("\noutput_wavefile_open() : Could not create %s", w.path);
    failure_set(QELP_ERR_OUTPUT, "Could not create %s: %s", w.path, std::strerror(err));
    return nullptr;
  }
  *created = !exists;
  // Lock before truncating, so a file another conversion or the normalizer holds stays untouched.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    if (*created) unlink(w.path);
    *created = false;
    if (err == EWOULDBLOCK) {
      diag_err("\noutput_wavefile_open() : %s is in use.", w.path);
      failure_set(QELP_ERR_BUSY, "%s is in use by another conversion, normalization or playback", w.path);
    } else {
      diag_err("\noutput_wavefile_open() : Could not lock %s", w.path);
      failure_set(QELP_ERR_OUTPUT, "Could not lock %s: %s", w.path, std::strerror(err));
    }
    return nullptr;
  }
  std::FILE* f = nullptr;
  if (ftruncate(fd, 0) != 0 || (f = fdopen(fd, "r+b")) == nullptr) {
    const int err = errno;
    close(fd);
    if (*created) unlink(w.path);
    *created = false;
    diag_err("\noutput_wavefile_open() : Could not create %s", w.path);
    failure_set(QELP_ERR_OUTPUT, "Could not create %s: %s", w.path, std::strerror(err));
    return nullptr;
  }
  // Unbuffered: the writer stages its data itself and knows what has reached the file, so a
  // failed write can be cut back to whole codec output.
  std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// The standard output as the file: a duplicate of its descriptor, so that closing the file leaves
// the process's standard output open. It is written where it stands; it can seek only when it is
// a regular file not opened for appending. Returns the stream or nullptr with the failure recorded.
std::FILE* open_standard_output(COutputWavefile& w) {
  const int fd = dup(STDOUT_FILENO);
  std::FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (f == nullptr) {
    const int err = errno;
    if (fd >= 0) close(fd);
    failure_set(QELP_ERR_OUTPUT, "Cannot write to %s: %s", w.path, std::strerror(err));
    return nullptr;
  }
  struct stat st {};
  const int flags = fcntl(fd, F_GETFL);
  const off_t at = lseek(fd, 0, SEEK_CUR);
  g_seekable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && (flags & O_APPEND) == 0 && at >= 0;
  g_header_offset = g_seekable ? at : 0;
  std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// The overwrite question for an existing file. True when the file may be overwritten.
bool overwrite_allowed(const COutputWavefile& w) {
  switch (g_policy) {
    case OverwritePolicy::always:
      return true;
    case OverwritePolicy::never:
      return false;
    case OverwritePolicy::ask:
      break;
  }
  diag_out("\n%s already exists, overwrite? ", w.path);
  std::fflush(stdout);
  int answer = std::getchar();
  return answer == 'Y' || answer == 'y';
}

}  // namespace

int COutputWavefile::set_path(const char* p) {
  size_t n = strnlen(p, sizeof path);
  if (n >= sizeof path) {
    path[0] = '\0';
    failure_set(QELP_ERR_ARGUMENT, "The output path is too long (1023 bytes at most)");
    return 0;
  }
  std::memcpy(path, p, n + 1);
  return 1;
}

void output_wavefile_set_overwrite_policy(OverwritePolicy policy) { g_policy = policy; }
void output_wavefile_set_size_limit(uint32_t max_data_bytes) { g_size_limit_override = max_data_bytes; }

void output_wavefile_library_loaded() {
  g_start_flag = true;
  g_last_progress = 0;
}

bool output_wavefile_is_open() { return g_open; }

int output_wavefile_open() {
  COutputWavefile& w = *g_output_wavefile;
  if (g_open) {
    failure_set(QELP_ERR_STATE, "A WAVE file is already being written");
    return 0;
  }
  w.total = 0;
  g_stopped = false;
  diag_standard_output_busy(w.to_standard_output);
  diag_out("\nacmFormatChoose() : ");

  m_lpoutwfx = static_cast<WAVEFORMATEX*>(std::calloc(1, kFormatBufferBytes));
  if (m_lpoutwfx == nullptr) {
    diag_err("\noutput_wavefile_open() : could not allocate buffer.");
    failure_set(QELP_ERR_MEMORY, "Out of memory while preparing %s", w.path);
    return 0;
  }
  m_lpoutwfx->cbSize = kFormatExtraMax;

  const WORD channels = w.format.channels;
  g_source_format = WAVEFORMATEX{WAVE_FORMAT_PCM,
                                 channels,
                                 w.format.sampling_rate,
                                 channels * w.format.sampling_rate * 2u,
                                 static_cast<WORD>(channels * 2u),
                                 16,
                                 0};
  if (w.format.bytes_per_frame == 0 || w.format.bytes_per_frame > kOfferBytes) {
    failure_set(QELP_ERR_ARGUMENT, "Frames of %lu bytes cannot be written to %s",
                static_cast<unsigned long>(w.format.bytes_per_frame), w.path);
    release_codec();
    return 0;
  }

  ACMFORMATCHOOSEA afc{};
  afc.cbStruct = sizeof afc;
  afc.pwfx = m_lpoutwfx;
  afc.cbwfx = kFormatBufferBytes;
  afc.pszTitle = "Select audio codec";
  afc.fdwEnum = ACM_FORMATENUMF_SUGGEST;
  afc.pwfxEnum = &g_source_format;
  MMRESULT r = acmFormatChooseA(&afc);
  // A chooser that claims more codec-specific bytes than the buffer holds chose too large a format.
  if (r == MMSYSERR_NOERROR && m_lpoutwfx->cbSize > kFormatExtraMax) r = ACMERR_NOTPOSSIBLE;
  if (r != MMSYSERR_NOERROR) {
    if (r == ACMERR_CANCELED) {
      acm_failure("\noutput_wavefile_open() : acmFormatChoose() failed. ", AcmCall::format_choose, r,
                  QELP_ERR_CANCELLED, "No format was chosen");
    } else {
      acm_failure("\noutput_wavefile_open() : acmFormatChoose() failed. ", AcmCall::format_choose, r,
                  QELP_ERR_CODEC, "No format could be chosen");
    }
    release_codec();
    return 0;
  }
  afc.szFormatTag[sizeof afc.szFormatTag - 1] = '\0';
  diag_out("\nCodec selected : %s (wFormatTag = 0x%0X)", afc.szFormatTag,
           static_cast<unsigned>(m_lpoutwfx->wFormatTag));
  if (m_lpoutwfx->wFormatTag == WAVE_FORMAT_PCM) m_lpoutwfx->cbSize = 0;

  r = acmStreamOpen(&g_stream, nullptr, &g_source_format, m_lpoutwfx, nullptr, 0, 0,
                    ACM_STREAMOPENF_NONREALTIME);
  if (r != MMSYSERR_NOERROR) {
    g_stream = nullptr;
    acm_failure("\noutput_wavefile_open() : acmStreamOpen() failed, ", AcmCall::stream_open, r,
                QELP_ERR_CODEC, "The chosen format cannot be made");
    // Say why a compressed format is missing when the codec module could not be loaded.
    if (acm::module_problem()[0] != '\0' && m_lpoutwfx->wFormatTag != WAVE_FORMAT_PCM &&
        m_lpoutwfx->wFormatTag != WAVE_FORMAT_IEEE_FLOAT) {
      diag_err("\noutput_wavefile_open() : %s", acm::module_problem());
      failure_set(QELP_ERR_CODEC, "Format 0x%04X cannot be made for %s: %s",
                  static_cast<unsigned>(m_lpoutwfx->wFormatTag), w.path, acm::module_problem());
    }
    release_codec();
    return 0;
  }

  r = acmStreamSize(g_stream, kOfferBytes, &g_suggested, ACM_STREAMSIZEF_SOURCE);
  if (r == MMSYSERR_NOERROR && (g_suggested == 0 || g_suggested > kMaxSuggestedBytes)) r = ACMERR_NOTPOSSIBLE;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_open() : acmStreamSize() failed, ", AcmCall::stream_size, r,
                QELP_ERR_CODEC, "The codec cannot size its output");
    release_codec();
    return 0;
  }
  diag_out("\noutput_wavefile_open() : acmStreamSize() %ld ", as_long(g_suggested));

  g_destination = static_cast<uint8_t*>(std::malloc(size_t{g_suggested} * 4));
  if (g_destination == nullptr) {
    diag_err("\noutput_wavefile_open() : could not allocate buffer.");
    failure_set(QELP_ERR_MEMORY, "Out of memory while preparing %s", w.path);
    release_codec();
    return 0;
  }

  g_header = ACMSTREAMHEADER{};
  g_header.cbStruct = sizeof g_header;
  g_header.pbSrc = g_source_area;
  g_header.cbSrcLength = kOfferBytes;
  g_header.pbDst = g_destination;
  g_header.cbDstLength = g_suggested;
  r = acmStreamPrepareHeader(g_stream, &g_header, 0);
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_open() : acmStreamPrepareHeader() failed,\n", AcmCall::prepare_header, r,
                QELP_ERR_CODEC, "The codec stream cannot be prepared");
    release_codec();
    return 0;
  }
  g_header_prepared = true;

  // The file is touched only now that the codec stream is ready.
  bool created = false;
  g_seekable = true;
  g_header_offset = 0;
  g_source_frames = 0;
  if (w.to_standard_output) {
    w.file = open_standard_output(w);
  } else {
    struct stat st {};
    const bool exists = lstat(w.path, &st) == 0;
    if (exists && !overwrite_allowed(w)) {
      diag_err("\noutput_wavefile_open() : Aborted.");
      failure_set(QELP_ERR_EXISTS, "%s already exists and is not overwritten", w.path);
      release_codec();
      return 0;
    }
    w.file = create_locked(w, exists, &created);
  }
  if (w.file == nullptr) {
    release_codec();
    return 0;
  }

  // A header that can be rewritten is reserved as zeros; one that cannot goes out final now.
  w.total = 0;
  const uint32_t reserve = header_bytes();
  uint32_t reserved = 0;
  if (g_seekable) {
    for (uint32_t i = 0; i < reserve; ++i) {
      if (std::fputc(0, w.file) != EOF) ++reserved;
    }
  } else if (write_wavheader()) {
    reserved = reserve;
  }
  if (reserved != reserve) {
    const int err = errno;
    diag_err("\noutput_wavefile_open() : WAVheader broken!");
    failure_set(QELP_ERR_OUTPUT, "Could not write the header of %s: %s", w.path, std::strerror(err));
    std::fclose(w.file);
    w.file = nullptr;
    if (created) unlink(w.path);
    release_codec();
    return 0;
  }
  diag_out("\noutput_wavefile_open() : Reserved WAVheader, %ld bytes", as_long(reserve));
  diag_out("\n");
  g_pending = 0;
  g_staged = 0;
  g_in_file = 0;
  w.total = 0;
  g_open = true;
  return 1;
}

int output_wavefile_write(const uint8_t* frame) {
  COutputWavefile& w = *g_output_wavefile;
  if (!g_open || g_stopped) {
    if (!g_open) failure_set(QELP_ERR_STATE, "No WAVE file is open");
    return 0;
  }
  const DWORD frame_bytes = w.format.bytes_per_frame;
  std::memcpy(g_source_area + g_pending, frame, frame_bytes);
  g_pending += frame_bytes;
  if (g_source_format.nBlockAlign != 0) g_source_frames += frame_bytes / g_source_format.nBlockAlign;
  int idle = 0;
  int draining = 0;
  while (g_pending >= kOfferBytes) {
    DWORD consumed = 0;
    DWORD produced = 0;
    if (!convert_once(w, kOfferBytes, 0, &consumed, &produced)) return 0;
    if (consumed == 0) {
      diag_err("\noutput_wavefile_write() : acmStreamConvert() returned cbSrcLengthUsed = 0 !");
      idle = produced == 0 ? idle + 1 : 0;
      ++draining;
      if (idle == kMaxIdleCalls || draining == kMaxDrainCalls) {
        failure_set(QELP_ERR_CODEC, "The codec stopped taking input while writing %s", w.path);
        g_stopped = true;
        return 0;
      }
    } else {
      idle = 0;
      draining = 0;
    }
    if (consumed != kOfferBytes) diag_out(" hehe\n");
  }
  report_progress(w);
  return 1;
}

bool write_wavheader() {
  COutputWavefile& w = *g_output_wavefile;
  const uint32_t c = m_lpoutwfx->cbSize;
  const uint32_t f = 18 + c;          // the fmt chunk's body: WAVEFORMATEX and its extra bytes
  const uint32_t n = header_bytes();  // f + 28, and 12 more with a fact chunk
  // Sizes that cannot be known on an output that cannot seek are the largest there are, so that
  // readers take the data to the end of the stream; the fact count is 0, unknown.
  const uint32_t riff_size = g_seekable ? w.total + n - 8 : UINT32_MAX;
  const uint32_t data_size = g_seekable ? w.total : UINT32_MAX;
  uint8_t header[46 + 12 + kFormatExtraMax];
  uint8_t* p = header;
  // RIFF chunk: its size counts everything behind its size field.
  std::memcpy(p, "RIFF", 4);
  put32(p + 4, riff_size);
  std::memcpy(p + 8, "WAVE", 4);
  p += 12;
  // fmt chunk: the chosen format as the chooser returned it, cbSize included also for PCM.
  std::memcpy(p, "fmt ", 4);
  put32(p + 4, f);
  put16(p + 8, m_lpoutwfx->wFormatTag);
  put16(p + 10, m_lpoutwfx->nChannels);
  put32(p + 12, m_lpoutwfx->nSamplesPerSec);
  put32(p + 16, m_lpoutwfx->nAvgBytesPerSec);
  put16(p + 20, m_lpoutwfx->nBlockAlign);
  put16(p + 22, m_lpoutwfx->wBitsPerSample);
  put16(p + 24, c);
  std::memcpy(p + 26, reinterpret_cast<const uint8_t*>(m_lpoutwfx) + sizeof(WAVEFORMATEX), c);
  p += 8 + f;
  // fact chunk (formats other than PCM): the sample frames per channel.
  if (has_fact()) {
    std::memcpy(p, "fact", 4);
    put32(p + 4, 4);
    put32(p + 8, g_seekable ? fact_sample_frames() : 0);
    p += 12;
  }
  // data chunk header; the data follow it.
  std::memcpy(p, "data", 4);
  put32(p + 4, data_size);

  size_t written = 0;
  if (g_seekable && std::fseek(w.file, g_header_offset, SEEK_SET) != 0) {
    diag_err("\nwrite_wavheader() : Couldn't fseek() to position 0.");
  } else {
    written = std::fwrite(header, 1, n, w.file);
    diag_out("\ncbwritten %ld\nwfxsize %ld\nm_lpoutwfx->cbSize %ld", as_long(written), as_long(f),
             as_long(c));
  }
  if (written != n) {
    diag_err("\nwrite_wavheader() : RIFF .WAV header is broken.");
    failure_set(QELP_ERR_OUTPUT, "Could not write the header of %s", w.path);
    return false;
  }
  return true;
}

int output_wavefile_close() {
  COutputWavefile& w = *g_output_wavefile;
  if (!g_open) {
    failure_set(QELP_ERR_STATE, "No WAVE file is open");
    return 0;
  }
  g_open = false;
  int result = 1;

  // Final conversion with END: the pending bytes and what the codec holds reach the file.
  if (!g_stopped) {
    for (int calls = 0; calls < kMaxDrainCalls; ++calls) {
      DWORD consumed = 0;
      DWORD produced = 0;
      if (!convert_once(w, g_pending, ACM_STREAMCONVERTF_END, &consumed, &produced)) {
        result = 0;
        break;
      }
      if (consumed == 0 && produced == 0) break;
    }
    if (g_pending != 0) {
      diag_err("\noutput_wavefile_close() : the codec left %ld bytes unconverted.", as_long(g_pending));
    }
  }
  // What was converted reaches the file also after a stop (a codec failure or the size limit).
  if (!flush_staged(w)) result = 0;
  if (g_seekable && !write_wavheader()) result = 0;

  if (std::fclose(w.file) != 0) {
    const int err = errno;
    diag_err("\nnoutput_wavefile_close() : ERROR Could not close %s!", w.path);
    failure_set(QELP_ERR_OUTPUT, "Could not close %s: %s", w.path, std::strerror(err));
    result = 0;
  }
  w.file = nullptr;
  g_pending = 0;
  g_staged = 0;

  MMRESULT r = MMSYSERR_NOERROR;
  if (g_header_prepared) {
    g_header.cbSrcLength = kOfferBytes;
    g_header.cbDstLength = g_suggested;
    r = acmStreamUnprepareHeader(g_stream, &g_header, 0);
    g_header_prepared = false;
    if (r != MMSYSERR_NOERROR) {
      acm_failure("\noutput_wavefile_close() : acmStreamUnprepareHeader() failed,\n",
                  AcmCall::unprepare_header, r, QELP_ERR_CODEC, "The codec stream could not be released");
      result = 0;
    }
  }
  r = acmStreamClose(g_stream, 0);
  g_stream = nullptr;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_close() : acmStreamClose() failed, ", AcmCall::stream_close, r,
                QELP_ERR_CODEC, "The codec stream could not be closed");
    result = 0;
  }
  release_codec();
  return result;
}

}  // namespace qelp
