// Inputs are regular files or the standard input. A named pipe (FIFO) given by its path would block
// the open until a writer comes, deaf to Ctrl-C; a folder or a device holds no stream. They are
// refused before anything is opened, with one line that says what the path is.
#pragma once

#include <cstdio>

#include "failure.h"

namespace qelp {

// Checks without opening it that path names a regular file (or something else that can be read
// without blocking). Returns true; or false with the reason in failure ("Cannot read NAME: it is a
// named pipe (FIFO) ...", or why it cannot be looked at).
bool input_is_readable_file(const char* path, Failure& failure);

// Opens path for reading without blocking on a FIFO put in its place since it was checked, and
// refuses anything but a regular file. Returns the stream, or nullptr with errno set (EINVAL for
// anything but a regular file).
std::FILE* open_regular_input(const char* path);

}  // namespace qelp
