// pcmwav: the normalizer's access to a PCM WAVE file (RIFF/WAVE, fmt chunk of any length, an
// optional fact chunk, then the data chunk), opened for rewriting its samples in place.
#include "pcmwav.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/little_endian.h"
#include "qelpsnd.h"

namespace qelp {

namespace {

__attribute__((format(printf, 3, 4))) void set_error(pcmwav_file* file, int code, const char* format, ...) {
  file->error_code = code;
  file->error_reason[0] = '\0';
  va_list args;
  va_start(args, format);
  std::vsnprintf(file->error_text, sizeof file->error_text, format, args);
  va_end(args);
}

void set_reason(pcmwav_file* file, const char* reason) {
  std::snprintf(file->error_reason, sizeof file->error_reason, "%s", reason);
}

// Reads up to n bytes, going on after short reads and interruptions; returns the count read.
uint32_t read_fully(int fd, unsigned char* buffer, uint32_t n, int* error) {
  uint32_t done = 0;
  *error = 0;
  while (done < n) {
    ssize_t got = ::read(fd, buffer + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      break;
    }
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

uint32_t write_fully(int fd, const unsigned char* buffer, uint32_t n, int* error) {
  uint32_t done = 0;
  *error = 0;
  while (done < n) {
    ssize_t put = ::write(fd, buffer + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      break;
    }
    if (put == 0) {
      *error = EIO;
      break;
    }
    done += static_cast<uint32_t>(put);
  }
  return done;
}

bool read_header_bytes(int fd, unsigned char* buffer, uint32_t n) {
  int error = 0;
  return read_fully(fd, buffer, n, &error) == n;
}

bool skip_bytes(int fd, uint32_t n) { return ::lseek(fd, static_cast<off_t>(n), SEEK_CUR) >= 0; }

void close_handle(pcmwav_file* file) {
  if (file->handle >= 0) ::close(file->handle);  // closing the descriptor releases the lock
  file->handle = -1;
}

// Steps 2 to 8 of opening: the header up to the first data byte. A RIFF file, or an RF64 file
// whose ds64 chunk gives the data's 64-bit size; a JUNK chunk before fmt (the room a writer keeps
// for ds64) and a fact chunk after it are passed over.
bool parse_header(pcmwav_file* file) {
  const int fd = file->handle;
  unsigned char riff[12];
  if (!read_header_bytes(fd, riff, sizeof riff) ||
      (std::memcmp(riff, "RIFF", 4) != 0 && std::memcmp(riff, "RF64", 4) != 0) ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    set_error(file, QELP_ERR_INPUT, "This is not a PCM WAV file.\n");
    return false;
  }
  const bool rf64 = std::memcmp(riff, "RF64", 4) == 0;
  uint64_t ds64_data_size = 0;
  bool have_ds64 = false;
  unsigned char fmt[24];
  bool have_fmt = false;
  unsigned char chunk[8];
  while (true) {
    if (!read_header_bytes(fd, chunk, 8)) {
      set_error(file, QELP_ERR_INPUT,
                have_fmt ? "Error in subchunk 2: this is not a PCM WAV file.\n"
                         : "Error in subchunk 1: this is not a PCM WAV file.\n");
      return false;
    }
    const uint32_t size = le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) break;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !have_fmt) {
      std::memcpy(fmt, chunk, 8);
      if (!read_header_bytes(fd, fmt + 8, 16) || le16(fmt + 8) != 1) {
        set_error(file, QELP_ERR_INPUT, "Error in subchunk 1: this is not a PCM WAV file.\n");
        return false;
      }
      const uint16_t bits = le16(fmt + 22);
      if (bits != 8 && bits != 16) {
        set_error(file, QELP_ERR_INPUT, "Can only deal with 8-bit or 16-bit samples.\n");
        return false;
      }
      // A fmt chunk shorter than its 16 fixed bytes is malformed: skipping "size - 16" bytes would
      // move backwards into the fields just read.
      if (size < 16) {
        set_error(file, QELP_ERR_INPUT, "Error in subchunk 1: this is not a PCM WAV file.\n");
        return false;
      }
      if (size != 16 && !skip_bytes(fd, size - 16)) {
        set_error(file, QELP_ERR_INPUT, "Error in subchunk 2: this is not a PCM WAV file.\n");
        return false;
      }
      have_fmt = true;
      continue;
    }
    if (std::memcmp(chunk, "ds64", 4) == 0 && size >= 16) {
      unsigned char body[16];
      if (!read_header_bytes(fd, body, 16) || (size != 16 && !skip_bytes(fd, size - 16))) {
        set_error(file, QELP_ERR_INPUT, "This is not a PCM WAV file.\n");
        return false;
      }
      ds64_data_size = le64(body + 8);
      have_ds64 = true;
      continue;
    }
    // Before fmt a JUNK chunk (the room a writer keeps for ds64) is passed over; after it a fact
    // chunk. Anything else is not a file the normalizer knows how to rewrite.
    const bool passable = have_fmt ? std::memcmp(chunk, "fact", 4) == 0 : std::memcmp(chunk, "JUNK", 4) == 0;
    if (!passable) {
      set_error(file, QELP_ERR_INPUT,
                have_fmt ? "Error in subchunk 2: this is not a PCM WAV file.\n"
                         : "Error in subchunk 1: this is not a PCM WAV file.\n");
      return false;
    }
    if (size != 0 && !skip_bytes(fd, size + (size & 1u))) {
      set_error(file, QELP_ERR_INPUT, "Error in subchunk 2: this is not a PCM WAV file.\n");
      return false;
    }
  }
  if (!have_fmt || (rf64 && !have_ds64)) {
    set_error(file, QELP_ERR_INPUT, "Error in subchunk 1: this is not a PCM WAV file.\n");
    return false;
  }
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position <= 0 || position > INT32_MAX) {
    set_error(file, QELP_ERR_INPUT, "Error in subchunk 2: this is not a PCM WAV file.\n");
    return false;
  }
  file->channels = static_cast<int16_t>(le16(fmt + 10));
  file->sampling_rate = static_cast<int32_t>(le32(fmt + 12));
  file->bits = le16(fmt + 22);
  const uint32_t data_size = le32(chunk + 4);
  file->data_size = rf64 && data_size == 0xFFFFFFFFu ? ds64_data_size : data_size;
  file->data_offset = static_cast<int32_t>(position);
  return true;
}

}  // namespace

int pcmwav_open(const char* path, pcmwav_access access, pcmwav_file* file) {
  file->handle = -1;
  // O_NONBLOCK keeps a FIFO from blocking the open; anything but a regular file is refused below.
  const int mode = access == pcmwav_access::read_write ? O_RDWR : O_RDONLY;
  int fd = ::open(path, mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    set_error(file, QELP_ERR_INPUT, "Cannot open file %s.\n", path);
    set_reason(file, std::strerror(error));
    return 0;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    set_error(file, QELP_ERR_INPUT, "Cannot open file %s.\n", path);
    set_reason(file, "not a regular file");
    return 0;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // Opened without sharing: any other opener that takes the same lock fails until we close.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) {
      set_error(file, QELP_ERR_BUSY, "Cannot open file %s.\n", path);
      set_reason(file, "it is in use by another conversion or normalization");
    } else {
      set_error(file, QELP_ERR_INPUT, "Cannot open file %s.\n", path);
      set_reason(file, std::strerror(error));
    }
    return 0;
  }
  file->handle = fd;
  if (!parse_header(file)) {
    close_handle(file);
    return 0;
  }
  return 1;
}

int pcmwav_read(pcmwav_file* file, void* buffer, uint32_t n) {
  int error = 0;
  uint32_t got = read_fully(file->handle, static_cast<unsigned char*>(buffer), n, &error);
  if (got != n) {
    set_error(file, QELP_ERR_INPUT, "Error in pcmwav_read(); only read %lu instead of %lu bytes.",
              static_cast<unsigned long>(got), static_cast<unsigned long>(n));
    set_reason(file, error != 0 ? std::strerror(error) : "the file ends before its data chunk does");
    return 0;
  }
  return 1;
}

int pcmwav_write(pcmwav_file* file, const void* buffer, uint32_t n) {
  int error = 0;
  uint32_t put = write_fully(file->handle, static_cast<const unsigned char*>(buffer), n, &error);
  if (put != n) {
    set_error(file, QELP_ERR_OUTPUT, "Error in pcmwav_write(); only wrote %lu instead of %lu bytes.",
              static_cast<unsigned long>(put), static_cast<unsigned long>(n));
    set_reason(file, std::strerror(error));
    return 0;
  }
  return 1;
}

int pcmwav_rewind(pcmwav_file* file) {
  off_t position = ::lseek(file->handle, static_cast<off_t>(file->data_offset), SEEK_SET);
  if (position <= 0) {
    set_error(file, QELP_ERR_INPUT, "Error in pcmwav_rewind().");
    return 0;
  }
  return 1;
}

int pcmwav_seek(pcmwav_file* file, int32_t delta) {
  off_t position = ::lseek(file->handle, static_cast<off_t>(delta), SEEK_CUR);
  if (position <= 0) {
    set_error(file, QELP_ERR_INPUT, "Error in pcmwav_seek() - pos = %ld", static_cast<long>(delta));
    return 0;
  }
  return 1;
}

int pcmwav_seek_data(pcmwav_file* file, uint64_t offset) {
  const off_t target = static_cast<off_t>(file->data_offset) + static_cast<off_t>(offset);
  if (::lseek(file->handle, target, SEEK_SET) != target) {
    set_error(file, QELP_ERR_INPUT, "Error in pcmwav_seek_data() - offset = %llu",
              static_cast<unsigned long long>(offset));
    return 0;
  }
  return 1;
}

int pcmwav_close(pcmwav_file* file) {
  if (file->handle < 0) return 1;
  // A failed close can mean that written data did not reach the file: report it.
  int result = ::close(file->handle);
  file->handle = -1;
  if (result != 0 && errno != EINTR) {
    const int error = errno;
    set_error(file, QELP_ERR_OUTPUT, "Error in pcmwav_close().");
    set_reason(file, std::strerror(error));
    return 0;
  }
  return 1;
}

int64_t pcmwav_file_size(const pcmwav_file* file) {
  struct stat st {};
  if (::fstat(file->handle, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

const char* pcmwav_error_text(const pcmwav_file* file) { return file->error_text; }
int pcmwav_error_code(const pcmwav_file* file) { return file->error_code; }
const char* pcmwav_error_reason(const pcmwav_file* file) { return file->error_reason; }

}  // namespace qelp
