// Plain files only, opened without waiting. See plainfile.h.
#include "plainfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int OpenPlainFile(const char* disk_path, int flags, unsigned mode) {
  if (!disk_path || !*disk_path) {
    errno = ENOENT;
    return -1;
  }
  int fd;
  do {
    fd = ::open(disk_path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, static_cast<mode_t>(mode));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    return -1;
  }
  // Reads and writes of a plain file wait as always.
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

FILE* OpenPlainStream(const char* disk_path, const char* how, bool follow_links) {
  if (!how) return nullptr;
  int flags;
  const char* mode;
  switch (how[0]) {
    case 'r': flags = O_RDONLY; mode = "rb"; break;
    case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; mode = "wb"; break;
    case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; mode = "ab"; break;
    default: errno = EINVAL; return nullptr;
  }
  const int fd = OpenPlainFile(disk_path, flags | (follow_links ? 0 : O_NOFOLLOW));
  if (fd < 0) return nullptr;
  // An appending stream starts at the end, so ftell tells the file's size.
  if (how[0] == 'a') ::lseek(fd, 0, SEEK_END);
  FILE* f = ::fdopen(fd, mode);
  if (!f) ::close(fd);
  return f;
}
