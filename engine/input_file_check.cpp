#include "input_file_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qelpsnd.h"

namespace qelp {

namespace {

// What a path that is not a regular file is, for the message.
const char* kind_text(mode_t mode) {
  if (S_ISFIFO(mode)) return "a named pipe (FIFO); pipe it into qelp as standard input ('-') instead";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
  if (S_ISSOCK(mode)) return "a socket, not a file";
  return "not a regular file";
}

}  // namespace

bool input_is_readable_file(const char* path, Failure& failure) {
  struct stat st {};
  if (stat(path, &st) != 0) {
    failure.set(QELP_ERR_INPUT, "Cannot open %s: %s", path, std::strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    failure.set(QELP_ERR_INPUT, "Cannot read %s: it is %s", path, kind_text(st.st_mode));
    return false;
  }
  return true;
}

std::FILE* open_regular_input(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
    ::close(fd);
    errno = err;
    return nullptr;
  }
  // Reads of a regular file never wait; the flag is cleared all the same, for plain stdio reads.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    const int err = errno;
    ::close(fd);
    errno = err;
  }
  return file;
}

}  // namespace qelp
