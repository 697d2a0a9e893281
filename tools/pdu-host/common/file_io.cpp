#include "common/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pdu_host {

std::string ReadWholeFile(const std::string& path, std::size_t max_bytes, const std::string& what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError("cannot read " + what + " " + path + ": " + std::strerror(errno));
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw FileError("cannot read " + what + " " + path + ": " + std::strerror(error));
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > max_bytes) {
      ::close(fd);
      throw FileError(what + " " + path + " is larger than " + std::to_string(max_bytes) +
                      " bytes");
    }
  }
  ::close(fd);
  return bytes;
}

void CheckWritable(const std::string& path, const std::string& what) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  bool created = false;
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    created = fd >= 0;
  }
  if (fd < 0) throw FileError("cannot write " + what + " " + path + ": " + std::strerror(errno));
  ::close(fd);
  if (created) ::unlink(path.c_str());
}

void WriteWholeFile(const std::string& path, const std::string& bytes, const std::string& what) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw FileError("cannot write " + what + " " + path + ": " + std::strerror(errno));
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw FileError("cannot write " + what + " " + path + ": " + std::strerror(error));
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    throw FileError("cannot write " + what + " " + path + ": " + std::strerror(errno));
  }
}

}  // namespace pdu_host
