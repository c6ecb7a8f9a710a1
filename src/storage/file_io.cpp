#include "storage/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <string>

namespace lumirack {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A name no other writer picks: dot-prefixed so listings skip it, unique per process and call.
std::filesystem::path TemporaryName(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  std::string name = "." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                     std::to_string(seed) + "-" + std::to_string(counter++);
  return path.parent_path() / name;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;  // EISDIR for a folder
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  if (path.filename().empty()) return false;
  std::filesystem::path temporary;
  int raw = -1;
  for (int attempt = 0; attempt < 8 && raw < 0; ++attempt) {
    temporary = TemporaryName(path);
    // The mode passed here is reduced by the umask, as for any new file.
    raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) return false;
  }
  if (raw < 0) return false;
  Fd fd(raw);

  struct stat old {};
  bool ok = true;
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself survive a crash.
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

bool MakeFolder(const std::filesystem::path& path) { return ::mkdir(path.c_str(), 0777) == 0; }

}  // namespace lumirack
