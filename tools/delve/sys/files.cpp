#include "tools/delve/sys/files.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace hostsys {
namespace {

// Closes a descriptor on every way out.
struct Descriptor {
  int fd;
  explicit Descriptor(int value) : fd(value) {}
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

int WriteAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    ssize_t done = write(fd, data, length);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return errno;
    data += done;
    length -= static_cast<size_t>(done);
  }
  return 0;
}

}  // namespace

int ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>* bytes) {
  Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) return errno;
  bytes->clear();
  uint8_t chunk[4096];
  while (bytes->size() < limit) {
    size_t want = limit - bytes->size();
    if (want > sizeof chunk) want = sizeof chunk;
    ssize_t got = read(file.fd, chunk, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  return 0;
}

int AppendLine(const std::string& path, const std::string& line) {
  Descriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (file.fd < 0) return errno;
  std::string text = line + "\n";
  return WriteAll(file.fd, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

int WriteFileNoFollow(const std::string& path, const std::vector<uint8_t>& bytes) {
  Descriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (file.fd < 0) return errno;
  return WriteAll(file.fd, bytes.data(), bytes.size());
}

}  // namespace hostsys
