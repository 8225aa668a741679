// The WAVE output writer over the codec manager. Frames are collected in a fixed source area,
// offered to the codec 6144 bytes at a time; bytes the codec leaves unconsumed are carried over
// to the start of the area and the next frame is appended behind them. The codec's output is
// collected in a staging buffer and written to the file a buffer at a time.
#include "output_wavefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "diagnostics.h"
#include "normalize_journal.h"
#include "platform/little_endian.h"
#include "platform/msacm/acm_registry.h"
#include "scope_exit.h"

namespace qelp {

namespace {

// The file's layout. The header is three chunks, four for a format other than PCM; the data
// chunk's bytes follow it.
//   RIFF chunk header  12 bytes: "RIFF", the size of everything after these 8 bytes, "WAVE"
//   JUNK or ds64       36 bytes, only when the data may pass 4 GiB: "JUNK", 28, zeros; past the
//                      limit "ds64", 28, the RIFF size, the data size and the sample frames as
//                      64-bit values, and 0 (no table); the RIFF chunk is then "RF64"
//   fmt chunk           8 + 18 + cbSize bytes: "fmt ", its size, WAVEFORMATEX, the codec's extra bytes
//   fact chunk         12 bytes, formats other than PCM only: "fact", its size 4, the sample frames
//   data chunk header   8 bytes: "data", the size of the data
constexpr uint32_t kRiffHeaderBytes = 12;
constexpr uint32_t kChunkHeaderBytes = 8;
constexpr uint32_t kWaveFormatBytes = sizeof(WAVEFORMATEX);  // 18
constexpr uint32_t kFactBodyBytes = 4;
constexpr uint32_t kFactChunkBytes = kChunkHeaderBytes + kFactBodyBytes;  // 12
// 46 = RIFF header 12 + fmt chunk header 8 + WAVEFORMATEX 18 + data chunk header 8.
constexpr uint32_t kHeaderBytesWithoutExtra =
    kRiffHeaderBytes + kChunkHeaderBytes + kWaveFormatBytes + kChunkHeaderBytes;
static_assert(kHeaderBytesWithoutExtra == 46);
constexpr uint32_t kDs64BodyBytes = 28;  // RIFF size 8 + data size 8 + sample count 8 + table length 4
constexpr uint32_t kDs64ChunkBytes = kChunkHeaderBytes + kDs64BodyBytes;  // 36
// Room kept below the limit for what the expectation cannot foresee: a 32nd, and 16 MiB.
constexpr uint64_t kReserveMarginBytes = 16u << 20;

constexpr size_t kFormatBufferBytes = 59;  // WAVEFORMATEX and up to 41 codec-specific bytes
constexpr WORD kFormatExtraMax = kFormatBufferBytes - sizeof(WAVEFORMATEX);
// The longest header: 46 + a ds64 chunk + the most codec-specific bytes + a fact chunk.
constexpr size_t kHeaderBufferBytes = kHeaderBytesWithoutExtra + kDs64ChunkBytes + kFormatExtraMax + kFactChunkBytes;
constexpr DWORD kOfferBytes = 6144;              // source bytes offered per conversion call
constexpr DWORD kMaxSuggestedBytes = 16u << 20;  // a codec asking for more is not believed
constexpr int kMaxIdleCalls = 16;                // calls in a row that neither consume nor produce
constexpr int kMaxDrainCalls = 4096;             // calls in a row that produce without consuming

// The host's answer for existing files (qelpsnd_set_overwrite), read by every writer.
std::atomic<OverwritePolicy> g_overwrite_policy{OverwritePolicy::ask};

// MS VC-style %ld prints of 32-bit values.
long as_long(uint64_t v) { return static_cast<long>(v); }

}  // namespace

void output_wavefile_set_overwrite_policy(OverwritePolicy policy) { g_overwrite_policy.store(policy); }

COutputWavefile::COutputWavefile(Failure& failure) : failure_(failure) {}

COutputWavefile::~COutputWavefile() {
  if (open_) close();
  release_codec();
}

int COutputWavefile::set_path(const char* p) {
  size_t n = strnlen(p, sizeof path);
  if (n >= sizeof path) {
    path[0] = '\0';
    failure_.set(QELP_ERR_ARGUMENT, "The output path is too long (1023 bytes at most)");
    return 0;
  }
  std::memcpy(path, p, n + 1);
  return 1;
}

// Formats other than PCM carry a fact chunk: WAVE readers take the duration from it.
bool COutputWavefile::has_fact() const {
  return chosen_format_ != nullptr && chosen_format_->wFormatTag != WAVE_FORMAT_PCM;
}

// 46 + cbSize, 12 more with a fact chunk, 36 more with room for ds64.
uint32_t COutputWavefile::header_bytes() const { return riff_header_bytes() + (junk_reserved_ ? kDs64ChunkBytes : 0u); }

// The header of a plain RIFF file: 46 + cbSize, and 12 more with a fact chunk.
uint32_t COutputWavefile::riff_header_bytes() const {
  return kHeaderBytesWithoutExtra + (chosen_format_ != nullptr ? chosen_format_->cbSize : 0u) +
         (has_fact() ? kFactChunkBytes : 0u);
}

// The most data bytes whose RIFF size (header - 8 + data) fits 32 bits.
uint64_t COutputWavefile::natural_limit() const { return UINT32_MAX - (header_bytes() - kChunkHeaderBytes); }

// The sample frames per channel the data holds: the source's frames at the output's rate.
uint32_t COutputWavefile::fact_sample_frames() const {
  const uint64_t in_rate = source_format_.nSamplesPerSec;
  const uint64_t out_rate = chosen_format_->nSamplesPerSec;
  if (in_rate == 0) return 0;
  const uint64_t frames = (source_frames_ * out_rate + in_rate / 2) / in_rate;
  return frames > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(frames);
}

uint64_t COutputWavefile::size_limit() const {
  // A lower limit set for tests holds always. Otherwise: with room for ds64 the file goes on as
  // RF64; on an output that cannot seek the header already says "to the end of the stream";
  // else the RIFF size (header - 8 + total) must fit 32 bits.
  const uint64_t natural = natural_limit();
  if (size_limit_override_ != 0 && size_limit_override_ < natural) return size_limit_override_;
  return junk_reserved_ || !seekable_ ? UINT64_MAX : natural;
}

// Prints a headline and the reason for an ACM result to standard error, and records the failure.
void COutputWavefile::acm_failure(const char* headline, AcmCall call, MMRESULT code, int failure,
                                  const char* what) {
  char reason[256];
  acm_reason(call, code, reason, sizeof reason);
  diag_err("%s%s", headline, reason);
  failure_.set(failure, "%s for %s: %s", what, path, reason);
}

// Releases the codec stream, the header and the buffers, as far as they were set up.
void COutputWavefile::release_codec() {
  if (stream_header_prepared_) {
    stream_header_.cbSrcLength = kOfferBytes;
    stream_header_.cbDstLength = suggested_;
    acmStreamUnprepareHeader(stream_, &stream_header_, 0);
    stream_header_prepared_ = false;
  }
  if (stream_ != nullptr) {
    acmStreamClose(stream_, 0);
    stream_ = nullptr;
  }
  std::free(destination_);
  destination_ = nullptr;
  std::free(chosen_format_);
  chosen_format_ = nullptr;
  if (claimed_stdout_) {
    diag_standard_output_release();
    claimed_stdout_ = false;
  }
}

// ---- Opening -----------------------------------------------------------------------------------

// The chooser's format for 16-bit PCM of the stream's channels and rate.
bool COutputWavefile::choose_format() {
  chosen_format_ = static_cast<WAVEFORMATEX*>(std::calloc(1, kFormatBufferBytes));
  if (chosen_format_ == nullptr) {
    diag_err("\noutput_wavefile_open() : could not allocate buffer.");
    failure_.set(QELP_ERR_MEMORY, "Out of memory while preparing %s", path);
    return false;
  }
  chosen_format_->cbSize = kFormatExtraMax;

  const WORD channels = format.channels;
  source_format_ = WAVEFORMATEX{WAVE_FORMAT_PCM,
                                channels,
                                format.sampling_rate,
                                channels * format.sampling_rate * 2u,
                                static_cast<WORD>(channels * 2u),
                                16,
                                0};
  if (format.bytes_per_frame == 0 || format.bytes_per_frame > kOfferBytes) {
    failure_.set(QELP_ERR_ARGUMENT, "Frames of %lu bytes cannot be written to %s",
                 static_cast<unsigned long>(format.bytes_per_frame), path);
    return false;
  }

  ACMFORMATCHOOSEA afc{};
  afc.cbStruct = sizeof afc;
  afc.pwfx = chosen_format_;
  afc.cbwfx = kFormatBufferBytes;
  afc.pszTitle = "Select audio codec";
  afc.fdwEnum = ACM_FORMATENUMF_SUGGEST;
  afc.pwfxEnum = &source_format_;
  MMRESULT r = acmFormatChooseA(&afc);
  // A chooser that claims more codec-specific bytes than the buffer holds chose too large a format.
  if (r == MMSYSERR_NOERROR && chosen_format_->cbSize > kFormatExtraMax) r = ACMERR_NOTPOSSIBLE;
  if (r != MMSYSERR_NOERROR) {
    const bool cancelled = r == ACMERR_CANCELED;
    acm_failure("\noutput_wavefile_open() : acmFormatChoose() failed. ", AcmCall::format_choose, r,
                cancelled ? QELP_ERR_CANCELLED : QELP_ERR_CODEC,
                cancelled ? "No format was chosen" : "No format could be chosen");
    return false;
  }
  afc.szFormatTag[sizeof afc.szFormatTag - 1] = '\0';
  diag_out("\nCodec selected : %s (wFormatTag = 0x%0X)", afc.szFormatTag,
           static_cast<unsigned>(chosen_format_->wFormatTag));
  if (chosen_format_->wFormatTag == WAVE_FORMAT_PCM) chosen_format_->cbSize = 0;
  return true;
}

// The codec stream from the source format to the chosen one, its output buffer and its header.
bool COutputWavefile::open_codec_stream() {
  MMRESULT r = acmStreamOpen(&stream_, nullptr, &source_format_, chosen_format_, nullptr, 0, 0,
                             ACM_STREAMOPENF_NONREALTIME);
  if (r != MMSYSERR_NOERROR) {
    stream_ = nullptr;
    acm_failure("\noutput_wavefile_open() : acmStreamOpen() failed, ", AcmCall::stream_open, r,
                QELP_ERR_CODEC, "The chosen format cannot be made");
    // Say why a compressed format is missing when the codec module could not be loaded.
    if (acm::module_problem()[0] != '\0' && chosen_format_->wFormatTag != WAVE_FORMAT_PCM &&
        chosen_format_->wFormatTag != WAVE_FORMAT_IEEE_FLOAT) {
      diag_err("\noutput_wavefile_open() : %s", acm::module_problem());
      failure_.set(QELP_ERR_CODEC, "Format 0x%04X cannot be made for %s: %s",
                   static_cast<unsigned>(chosen_format_->wFormatTag), path, acm::module_problem());
    }
    return false;
  }

  r = acmStreamSize(stream_, kOfferBytes, &suggested_, ACM_STREAMSIZEF_SOURCE);
  if (r == MMSYSERR_NOERROR && (suggested_ == 0 || suggested_ > kMaxSuggestedBytes)) r = ACMERR_NOTPOSSIBLE;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_open() : acmStreamSize() failed, ", AcmCall::stream_size, r,
                QELP_ERR_CODEC, "The codec cannot size its output");
    return false;
  }
  diag_out("\noutput_wavefile_open() : acmStreamSize() %ld ", as_long(suggested_));

  destination_ = static_cast<uint8_t*>(std::malloc(size_t{suggested_} * 4));
  if (destination_ == nullptr) {
    diag_err("\noutput_wavefile_open() : could not allocate buffer.");
    failure_.set(QELP_ERR_MEMORY, "Out of memory while preparing %s", path);
    return false;
  }

  stream_header_ = ACMSTREAMHEADER{};
  stream_header_.cbStruct = sizeof stream_header_;
  stream_header_.pbSrc = source_area_;
  stream_header_.cbSrcLength = kOfferBytes;
  stream_header_.pbDst = destination_;
  stream_header_.cbDstLength = suggested_;
  r = acmStreamPrepareHeader(stream_, &stream_header_, 0);
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_open() : acmStreamPrepareHeader() failed,\n", AcmCall::prepare_header, r,
                QELP_ERR_CODEC, "The codec stream cannot be prepared");
    return false;
  }
  stream_header_prepared_ = true;
  return true;
}

// The overwrite question for an existing file. True when the file may be overwritten.
bool COutputWavefile::overwrite_allowed() const {
  switch (g_overwrite_policy.load()) {
    case OverwritePolicy::always:
      return true;
    case OverwritePolicy::never:
      return false;
    case OverwritePolicy::ask:
      break;
  }
  diag_out("\n%s already exists, overwrite? ", path);
  std::fflush(stdout);
  int answer = std::getchar();
  return answer == 'Y' || answer == 'y';
}

// Creates (or, when allowed, reuses) the output file and locks it, unbuffered. *created tells
// whether the file is new, so that a later failure can remove it again.
bool COutputWavefile::create_file(bool* created) {
  *created = false;
  struct stat st {};
  const bool exists = lstat(path, &st) == 0;
  if (exists && S_ISLNK(st.st_mode) && !link_target_usable()) return false;
  // A character device (/dev/null) takes what is written and holds nothing to overwrite: a
  // throw-away output, as for a speed test. It cannot be cut to a size or locked.
  struct stat target {};
  const bool device = exists && stat(path, &target) == 0 && S_ISCHR(target.st_mode);
  if (device) return open_device();
  if (exists && stat(path, &target) == 0 && !S_ISREG(target.st_mode)) {
    failure_.set(QELP_ERR_OUTPUT, "Could not create %s: it is %s, not a file", path,
                 S_ISDIR(target.st_mode) ? "a folder" : "a special file");
    return false;
  }
  if (exists && !overwrite_allowed()) {
    diag_err("\noutput_wavefile_open() : Aborted.");
    failure_.set(QELP_ERR_EXISTS, "%s already exists and is not overwritten", path);
    return false;
  }
  // A new file is made without a name and gets its name once its header is in it (publish_file),
  // so that the name never shows an empty file; where the file system cannot do that, it is
  // created at its name at once.
  unnamed_ = false;
  int fd = exists ? ::open(path, O_RDWR | O_CLOEXEC) : open_unnamed();
  if (fd >= 0 && !exists) unnamed_ = true;
  if (fd < 0 && !exists) fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    diag_err("\noutput_wavefile_open() : Could not create %s", path);
    failure_.set(QELP_ERR_OUTPUT, "Could not create %s: %s", path, std::strerror(err));
    return false;
  }
  *created = !exists && !unnamed_;
  // Lock before truncating, so a file another conversion or the normalizer holds stays untouched.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      diag_err("\noutput_wavefile_open() : %s is in use.", path);
      failure_.set(QELP_ERR_BUSY, "%s is in use by another conversion, normalization or playback", path);
    } else {
      diag_err("\noutput_wavefile_open() : Could not lock %s", path);
      failure_.set(QELP_ERR_OUTPUT, "Could not lock %s: %s", path, std::strerror(err));
    }
    return false;
  }
  // An existing file is cut to its new header only once the header is written over its start
  // (reserve_header), so that it is a valid WAVE file at every moment.
  cut_after_header_ = exists;
  if ((file = fdopen(fd, "r+b")) == nullptr) {
    const int err = errno;
    ::close(fd);
    diag_err("\noutput_wavefile_open() : Could not create %s", path);
    failure_.set(QELP_ERR_OUTPUT, "Could not create %s: %s", path, std::strerror(err));
    return false;
  }
  // A journal of a cut-off normalization of the file that was here would apply to this new one.
  NormJournal::discard(path);
  // Unbuffered: the writer stages its data itself and knows what has reached the file, so a
  // failed write can be cut back to whole codec output.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return true;
}

// A file without a name in the output's folder (O_TMPFILE), or -1 where there is none.
int COutputWavefile::open_unnamed() const {
#ifdef O_TMPFILE
  // The name is given through /proc (publish_file); without it, the file is named at once.
  if (access("/proc/self/fd", X_OK) != 0) return -1;
  char folder[sizeof path];
  std::snprintf(folder, sizeof folder, "%s", path);
  char* slash = std::strrchr(folder, '/');
  if (slash == nullptr) {
    std::snprintf(folder, sizeof folder, ".");
  } else if (slash == folder) {
    folder[1] = '\0';
  } else {
    *slash = '\0';
  }
  return ::open(folder, O_RDWR | O_TMPFILE | O_CLOEXEC, 0666);
#else
  return -1;
#endif
}

// Gives the unnamed file its name; the header is in it. False (with the failure recorded) when the
// name was taken meanwhile or cannot be made.
bool COutputWavefile::publish_file(bool* created) {
  if (!unnamed_) return true;
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file));
  if (linkat(AT_FDCWD, self, AT_FDCWD, path, AT_SYMLINK_FOLLOW) != 0) {
    const int err = errno;
    diag_err("\noutput_wavefile_open() : Could not create %s", path);
    if (err == EEXIST) {
      failure_.set(QELP_ERR_EXISTS, "%s appeared while it was being created and is not overwritten", path);
    } else {
      failure_.set(QELP_ERR_OUTPUT, "Could not create %s: %s", path, std::strerror(err));
    }
    return false;
  }
  unnamed_ = false;
  *created = true;
  return true;
}

// A symbolic link as the output is written through to its target, once it is sure that there is
// one: a link to a missing file or a loop of links is refused with what it is. True when usable.
bool COutputWavefile::link_target_usable() {
  struct stat target {};
  if (stat(path, &target) == 0) return true;
  const int err = errno;
  if (err == ELOOP) {
    failure_.set(QELP_ERR_OUTPUT, "Could not create %s: it is a symbolic link that leads round in a loop",
                 path);
  } else if (err == ENOENT) {
    char to[1024];
    const ssize_t n = readlink(path, to, sizeof to - 1);
    to[n > 0 ? n : 0] = '\0';
    failure_.set(QELP_ERR_OUTPUT,
                 "Could not create %s: it is a symbolic link to %s, which does not exist; name the file "
                 "itself",
                 path, to);
  } else {
    failure_.set(QELP_ERR_OUTPUT, "Could not create %s: %s", path, std::strerror(err));
  }
  return false;
}

// Makes file a stream on fd (a descriptor just opened, or -1 when that failed, errno saying why);
// on failure closes fd and records failure_text, which takes the path and the reason.
bool COutputWavefile::open_stream_on(int fd, const char* failure_text) {
  file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (file != nullptr) return true;
  const int err = errno;
  if (fd >= 0) ::close(fd);
  failure_.set(QELP_ERR_OUTPUT, failure_text, path, std::strerror(err));
  return false;
}

bool COutputWavefile::open_device() {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (!open_stream_on(fd, "Could not open %s: %s")) return false;
  std::setvbuf(file, nullptr, _IONBF, 0);
  // Nothing written to it can be read back: the header goes out once, with the largest sizes.
  seekable_ = false;
  header_offset_ = 0;
  return true;
}

// The standard output as the file: a duplicate of its descriptor, so that closing the file leaves
// the process's standard output open. It is written where it stands; it can seek only when it is
// a regular file not opened for appending.
bool COutputWavefile::open_standard_output() {
  const int fd = dup(STDOUT_FILENO);
  if (!open_stream_on(fd, "Cannot write to %s: %s")) return false;
  struct stat st {};
  const int flags = fcntl(fd, F_GETFL);
  const off_t at = lseek(fd, 0, SEEK_CUR);
  seekable_ = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags >= 0 && (flags & O_APPEND) == 0 && at >= 0;
  header_offset_ = seekable_ ? at : 0;
  std::setvbuf(file, nullptr, _IONBF, 0);
  return true;
}

// The header goes out at once: on a file that can seek, a valid one for no data yet that
// refresh_header keeps up to date and the close completes (so that a file cut off at any moment
// can be read); on one that cannot, the final one with the largest sizes.
bool COutputWavefile::reserve_header() {
  const uint32_t reserve = header_bytes();
  uint32_t reserved = write_header() ? reserve : 0;
  if (reserved == reserve && cut_after_header_ &&
      ftruncate(fileno(file), header_offset_ + static_cast<off_t>(reserve)) != 0) {
    reserved = 0;
  }
  if (reserved != reserve) {
    const int err = errno;
    diag_err("\noutput_wavefile_open() : WAVheader broken!");
    failure_.set(QELP_ERR_OUTPUT, "Could not write the header of %s: %s", path, std::strerror(err));
    return false;
  }
  diag_out("\noutput_wavefile_open() : Reserved WAVheader, %ld bytes", as_long(reserve));
  diag_out("\n");
  return true;
}

int COutputWavefile::open() {
  if (open_) {
    failure_.set(QELP_ERR_STATE, "A WAVE file is already being written");
    return 0;
  }
  total = 0;
  stopped_ = false;
  seekable_ = true;
  header_offset_ = 0;
  unnamed_ = false;
  cut_after_header_ = false;
  source_frames_ = 0;
  // Lines meant for the standard output go elsewhere while it carries this writer's audio.
  if (to_standard_output && !claimed_stdout_) {
    diag_standard_output_claim();
    claimed_stdout_ = true;
  }
  diag_out("\nacmFormatChoose() : ");

  // Whatever the steps set up is released again unless all of them succeed; the file is touched
  // only once the codec stream is ready.
  bool created = false;
  ScopeExit undo([this, &created] {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
    }
    if (created) unlink(path);
    release_codec();
  });
  const auto open_file = [this, &created] {
    return to_standard_output ? open_standard_output() : create_file(&created);
  };
  // Room for ds64 only where the data could pass the limit: other files stay plain RIFF.
  const auto decide_room = [this] {
    junk_reserved_ = false;
    const uint64_t source_rate = source_format_.nAvgBytesPerSec;
    const uint64_t output_rate = chosen_format_->nAvgBytesPerSec;
    if (seekable_ && source_rate != 0 && (expected_source_bytes != 0 || test_data_start != 0)) {
      const double expected =
          static_cast<double>(test_data_start) + static_cast<double>(expected_source_bytes) * output_rate / source_rate;
      junk_reserved_ = expected + expected / 32 + kReserveMarginBytes > static_cast<double>(natural_limit());
    }
    return true;
  };
  if (!choose_format() || !open_codec_stream() || !open_file() || !decide_room() || !reserve_header() ||
      !publish_file(&created)) {
    return 0;
  }
  // A test's hole in front of the data: the file is extended when the first bytes are written.
  if (test_data_start != 0 && seekable_ &&
      std::fseek(file, static_cast<long>(test_data_start), SEEK_CUR) != 0) {
    failure_.set(QELP_ERR_OUTPUT, "Could not seek in %s", path);
    return 0;
  }
  undo.dismiss();

  pending_ = 0;
  staged_ = 0;
  in_file_ = seekable_ ? test_data_start : 0;
  last_progress_ = 0;
  total = in_file_;
  if (source_format_.nBlockAlign != 0) source_frames_ = in_file_ / source_format_.nBlockAlign;
  open_ = true;
  return 1;
}

// ---- Writing -----------------------------------------------------------------------------------

// Writes bytes behind the data in the file. A failed or short write is undone (the file is cut back
// to the data written before, so the data chunk only ever holds whole codec output), what was staged
// is dropped, total counts only what is in the file, and writing stops.
bool COutputWavefile::write_to_file(const uint8_t* data, DWORD count) {
  const size_t written = std::fwrite(data, 1, count, file);
  if (written == count) {
    in_file_ += count;
    refresh_header();
    return true;
  }
  const int err = errno;
  diag_err("\noutput_wavefile_write() : fwrite() failed.");
  failure_.set(QELP_ERR_OUTPUT, "Could not write %s: %s", path, std::strerror(err));
  std::clearerr(file);
  total = in_file_;
  staged_ = 0;
  if (seekable_ &&
      (ftruncate(fileno(file), header_offset_ + static_cast<off_t>(header_bytes()) + in_file_) != 0 ||
       std::fseek(file, 0, SEEK_END) != 0)) {
    diag_err("\noutput_wavefile_write() : could not cut %s back to the data written.", path);
  }
  stopped_ = true;
  return false;
}

bool COutputWavefile::flush_staged() {
  if (staged_ == 0) return true;
  const DWORD count = staged_;
  staged_ = 0;
  return write_to_file(staging_, count);
}

// Appends converted bytes to the data: staged, or written straight through when they do not fit
// the staging buffer. total counts them at once.
bool COutputWavefile::append_data(const uint8_t* data, DWORD count) {
  if (count == 0) return true;
  if (uint64_t{total} + count > size_limit()) {
    diag_err("\noutput_wavefile_write() : the data would pass the RIFF size limit, stopping.");
    failure_.set(QELP_ERR_SIZE_LIMIT,
                 "%s reached the largest size a WAVE file can have (%llu data bytes); "
                 "the conversion stopped there",
                 path, static_cast<unsigned long long>(total));
    stopped_ = true;
    return false;
  }
  if (staged_ + count > kOutputStagingBytes && !flush_staged()) return false;
  total += count;
  if (count > kOutputStagingBytes) return write_to_file(data, count);
  std::memcpy(staging_ + staged_, data, count);
  staged_ += count;
  return true;
}

// One conversion call on the first `offer` bytes of the source area; writes what the codec
// produced and moves the unconsumed bytes to the start of the area. Returns false on failure.
bool COutputWavefile::convert_once(DWORD offer, DWORD extra_flags, DWORD* consumed, DWORD* produced) {
  DWORD flags = extra_flags;
  if (start_flag_) {
    flags |= ACM_STREAMCONVERTF_START;
    start_flag_ = false;
    diag_out("\routput_wavefile_write() : initializing...");
  }
  stream_header_.cbSrcLength = offer;
  stream_header_.cbDstLength = suggested_;
  MMRESULT r = acmStreamConvert(stream_, &stream_header_, flags);
  stream_header_.cbSrcLength = kOfferBytes;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_write() : acmStreamConvert() failed,\n", AcmCall::convert, r,
                QELP_ERR_CODEC, "The codec failed");
    stopped_ = true;
    return false;
  }
  *consumed = stream_header_.cbSrcLengthUsed;
  *produced = stream_header_.cbDstLengthUsed;
  if (!append_data(destination_, *produced)) return false;
  std::memmove(source_area_, source_area_ + *consumed, pending_ - *consumed);
  pending_ -= *consumed;
  return true;
}

void COutputWavefile::report_progress() {
  const uint64_t upper = total >> 16;
  if (upper != last_progress_) {
    diag_out("\routput_wavefile_write() : mbytes written = [%ld] ", as_long(total / 1048576u));
    last_progress_ = upper;
  }
}

int COutputWavefile::write(const uint8_t* frame) {
  if (!open_ || stopped_) {
    if (!open_) failure_.set(QELP_ERR_STATE, "No WAVE file is open");
    return 0;
  }
  const DWORD frame_bytes = format.bytes_per_frame;
  std::memcpy(source_area_ + pending_, frame, frame_bytes);
  pending_ += frame_bytes;
  if (source_format_.nBlockAlign != 0) source_frames_ += frame_bytes / source_format_.nBlockAlign;
  int idle = 0;
  int draining = 0;
  while (pending_ >= kOfferBytes) {
    DWORD consumed = 0;
    DWORD produced = 0;
    if (!convert_once(kOfferBytes, 0, &consumed, &produced)) return 0;
    if (consumed == 0) {
      diag_err("\noutput_wavefile_write() : acmStreamConvert() returned cbSrcLengthUsed = 0 !");
      idle = produced == 0 ? idle + 1 : 0;
      ++draining;
      if (idle == kMaxIdleCalls || draining == kMaxDrainCalls) {
        failure_.set(QELP_ERR_CODEC, "The codec stopped taking input while writing %s", path);
        stopped_ = true;
        return 0;
      }
    } else {
      idle = 0;
      draining = 0;
    }
    if (consumed != kOfferBytes) diag_out(" hehe\n");
  }
  report_progress();
  return 1;
}

// ---- The header --------------------------------------------------------------------------------

uint32_t COutputWavefile::build_header(uint8_t* header, uint64_t data_bytes, uint32_t fact_frames) const {
  const uint32_t extra = chosen_format_->cbSize;
  const uint32_t fmt_size = kWaveFormatBytes + extra;  // the fmt chunk's size field: 18 + cbSize
  const uint32_t header_size = header_bytes();         // 46 + cbSize, 12 with a fact chunk, 36 with ds64
  // Data past the 32-bit limit make the file RF64: its 32-bit sizes are 0xFFFFFFFF and the real
  // ones stand in the ds64 chunk.
  const uint64_t riff_size64 = header_size - kChunkHeaderBytes + data_bytes;
  const bool rf64 = seekable_ && junk_reserved_ && riff_size64 > UINT32_MAX;
  // Sizes that cannot be known on an output that cannot seek are the largest there are, so that
  // readers take the data to the end of the stream; the fact count is 0, unknown.
  const uint32_t riff_size = seekable_ && !rf64 ? static_cast<uint32_t>(riff_size64) : UINT32_MAX;
  const uint32_t data_size = seekable_ && !rf64 ? static_cast<uint32_t>(data_bytes) : UINT32_MAX;
  uint8_t* p = header;

  // RIFF chunk header: the size counts "WAVE", the JUNK or ds64 chunk, the fmt chunk, the fact
  // chunk, the data chunk header and the data, which is the whole file less the 8 bytes of "RIFF"
  // and the size itself.
  std::memcpy(p, rf64 ? "RF64" : "RIFF", 4);
  put32(p + 4, riff_size);
  std::memcpy(p + 8, "WAVE", 4);
  p += kRiffHeaderBytes;

  // ds64 chunk (RF64) or the JUNK chunk that keeps its room.
  if (junk_reserved_) {
    std::memset(p, 0, kDs64ChunkBytes);
    std::memcpy(p, rf64 ? "ds64" : "JUNK", 4);
    put32(p + 4, kDs64BodyBytes);
    if (rf64) {
      const uint32_t align = chosen_format_->nBlockAlign != 0 ? chosen_format_->nBlockAlign : 1u;
      put64(p + 8, riff_size64);
      put64(p + 16, data_bytes);
      put64(p + 24, has_fact() ? fact_frames : data_bytes / align);
      // p + 32: table length 0
    }
    p += kDs64ChunkBytes;
  }

  // fmt chunk: WAVEFORMATEX field by field in little-endian order, then the codec's extra bytes.
  std::memcpy(p, "fmt ", 4);
  put32(p + 4, fmt_size);
  p += kChunkHeaderBytes;
  put16(p + 0, chosen_format_->wFormatTag);
  put16(p + 2, chosen_format_->nChannels);
  put32(p + 4, chosen_format_->nSamplesPerSec);
  put32(p + 8, chosen_format_->nAvgBytesPerSec);
  put16(p + 12, chosen_format_->nBlockAlign);
  put16(p + 14, chosen_format_->wBitsPerSample);
  put16(p + 16, extra);
  std::memcpy(p + kWaveFormatBytes, reinterpret_cast<const uint8_t*>(chosen_format_) + sizeof(WAVEFORMATEX),
              extra);
  p += fmt_size;

  // fact chunk (formats other than PCM): the sample frames per channel.
  if (has_fact()) {
    std::memcpy(p, "fact", 4);
    put32(p + 4, kFactBodyBytes);
    put32(p + 8, seekable_ ? fact_frames : 0);
    p += kFactChunkBytes;
  }

  // data chunk header: the data follow it.
  std::memcpy(p, "data", 4);
  put32(p + 4, data_size);
  return header_size;
}

bool COutputWavefile::write_header() {
  uint8_t header[kHeaderBufferBytes];
  const uint32_t header_size = build_header(header, total, fact_sample_frames());
  size_t written = 0;
  if (seekable_ && std::fseek(file, header_offset_, SEEK_SET) != 0) {
    diag_err("\nwrite_wavheader() : Couldn't fseek() to position 0.");
  } else {
    written = std::fwrite(header, 1, header_size, file);
    diag_out("\ncbwritten %ld\nwfxsize %ld\nm_lpoutwfx->cbSize %ld", as_long(written),
             as_long(kWaveFormatBytes + chosen_format_->cbSize), as_long(chosen_format_->cbSize));
  }
  if (written != header_size) {
    diag_err("\nwrite_wavheader() : RIFF .WAV header is broken.");
    failure_.set(QELP_ERR_OUTPUT, "Could not write the header of %s", path);
    return false;
  }
  return true;
}

// The header that the file carries while it is written. It is valid from the open on, and its sizes
// follow the data that has reached the file: each staged buffer written (64 KiB, a third of a second
// of 16-bit stereo at 48 kHz) brings them up to date with one positioned write of the header, which
// leaves the file position alone. The data is written first, the sizes after, so they never claim
// more than the file holds: a file cut off at any moment (the process killed, the machine down) is a
// valid WAVE file with the whole codec output written before its last update. The close writes the
// final header as before.
void COutputWavefile::refresh_header() {
  if (!seekable_) return;
  uint8_t header[kHeaderBufferBytes];
  // The fact count in proportion to the data written (exact at the close).
  const uint32_t fact_frames =
      total != 0 ? static_cast<uint32_t>(static_cast<double>(fact_sample_frames()) * in_file_ / total) : 0;
  const uint32_t header_size = build_header(header, in_file_, fact_frames);
  // A failure here changes nothing that the close would not mend: the close rewrites the header
  // and reports a failure of its own.
  if (pwrite(fileno(file), header, header_size, header_offset_) != static_cast<ssize_t>(header_size)) {
    diag_err("\noutput_wavefile_write() : could not bring the header of %s up to date.", path);
  }
}

// ---- Closing -----------------------------------------------------------------------------------

int COutputWavefile::close() {
  if (!open_) {
    failure_.set(QELP_ERR_STATE, "No WAVE file is open");
    return 0;
  }
  open_ = false;
  int result = 1;

  // Final conversion with END: the pending bytes and what the codec holds reach the file.
  if (!stopped_) {
    for (int calls = 0; calls < kMaxDrainCalls; ++calls) {
      DWORD consumed = 0;
      DWORD produced = 0;
      if (!convert_once(pending_, ACM_STREAMCONVERTF_END, &consumed, &produced)) {
        result = 0;
        break;
      }
      if (consumed == 0 && produced == 0) break;
    }
    if (pending_ != 0) {
      diag_err("\noutput_wavefile_close() : the codec left %ld bytes unconverted.", as_long(pending_));
    }
  }
  // What was converted reaches the file also after a stop (a codec failure or the size limit).
  if (!flush_staged()) result = 0;
  if (seekable_ && !write_header()) result = 0;

  if (std::fclose(file) != 0) {
    const int err = errno;
    diag_err("\nnoutput_wavefile_close() : ERROR Could not close %s!", path);
    failure_.set(QELP_ERR_OUTPUT, "Could not close %s: %s", path, std::strerror(err));
    result = 0;
  }
  file = nullptr;
  pending_ = 0;
  staged_ = 0;

  MMRESULT r = MMSYSERR_NOERROR;
  if (stream_header_prepared_) {
    stream_header_.cbSrcLength = kOfferBytes;
    stream_header_.cbDstLength = suggested_;
    r = acmStreamUnprepareHeader(stream_, &stream_header_, 0);
    stream_header_prepared_ = false;
    if (r != MMSYSERR_NOERROR) {
      acm_failure("\noutput_wavefile_close() : acmStreamUnprepareHeader() failed,\n",
                  AcmCall::unprepare_header, r, QELP_ERR_CODEC, "The codec stream could not be released");
      result = 0;
    }
  }
  r = acmStreamClose(stream_, 0);
  stream_ = nullptr;
  if (r != MMSYSERR_NOERROR) {
    acm_failure("\noutput_wavefile_close() : acmStreamClose() failed, ", AcmCall::stream_close, r,
                QELP_ERR_CODEC, "The codec stream could not be closed");
    result = 0;
  }
  release_codec();
  return result;
}

}  // namespace qelp
