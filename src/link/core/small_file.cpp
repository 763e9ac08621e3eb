#include "link/core/small_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quadrel {

std::string file_kind(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

std::string SmallFile::problem() const {
  switch (result) {
    case Result::Ok: return {};
    case Result::Missing: return "is missing";
    case Result::NotAFile: return "is " + kind + ", not a file";
    case Result::Unreadable: return "cannot be read (" + error + ")";
  }
  return {};
}

SmallFile read_small_file(const std::string& path, std::size_t limit) {
  SmallFile file;
  const auto fail = [&file](SmallFile::Result result) {
    file.result = result;
    file.error = std::strerror(errno);
    return file;
  };
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return fail(errno == ENOENT || errno == ENOTDIR ? SmallFile::Result::Missing : SmallFile::Result::Unreadable);
  if (!S_ISREG(info.st_mode)) {
    file.result = SmallFile::Result::NotAFile;
    file.kind = file_kind(info.st_mode);
    return file;
  }
  // Non-blocking, and checked again once open: the name may have been given
  // to a FIFO or a device in between.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return fail(errno == ENOENT ? SmallFile::Result::Missing : SmallFile::Result::Unreadable);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    file.result = SmallFile::Result::NotAFile;
    file.kind = file_kind(info.st_mode);
    return file;
  }
  // Room for the file as it is, and more as it grows meanwhile, up to the limit.
  std::string text(std::min(limit, static_cast<std::size_t>(info.st_size) + 1), '\0');
  std::size_t got = 0;
  while (got < limit) {
    if (got == text.size()) text.resize(std::min(limit, 2 * text.size() + 4096));
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      return fail(SmallFile::Result::Unreadable);
    }
  }
  ::close(fd);
  text.resize(got);
  file.result = SmallFile::Result::Ok;
  file.text = std::move(text);
  return file;
}

}  // namespace quadrel
