#include "system/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <initializer_list>

namespace squarefield {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(utf8); }

bool SameName(const fs::path& a, const fs::path& b) { return a == b; }

bool DeviceOpens(const std::string& target, std::string& problem) {
  struct stat st {};
  if (stat(target.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return true;
  const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

// A name no folder here can hold: each part of a path has at most NAME_MAX
// bytes, which only the write at the end would otherwise find out.
std::optional<std::string> RefusedName(const std::string& path) {
  for (const auto& part : fs::path(path))
    if (part.native().size() > NAME_MAX) return std::string(std::strerror(ENAMETOOLONG));
  return std::nullopt;
}

bool IsDevice(const std::string&, fs::file_type type) {
  return type == fs::file_type::character || type == fs::file_type::fifo;
}

bool MayWrite(const std::string& target, std::string& problem) {
  if (access(target.c_str(), W_OK) == 0) return true;
  problem = std::strerror(errno);
  return false;
}

std::optional<int> NamedDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  if (path == "/dev/stdin") return 0;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string p(prefix);
    if (path.size() <= p.size() || path.compare(0, p.size(), p) != 0 || path.size() - p.size() > 9) continue;
    int fd = 0;
    for (std::size_t i = p.size(); i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9') return std::nullopt;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return std::nullopt;
}

std::FILE* DescriptorStream(int fd, std::string& problem) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags == -1) {
    problem = "descriptor " + std::to_string(fd) + " is not open";
    return nullptr;
  }
  if ((flags & O_ACCMODE) == O_RDONLY) {
    problem = "descriptor " + std::to_string(fd) + " is not open for writing";
    return nullptr;
  }
  const int copy = dup(fd);
  std::FILE* stream = copy < 0 ? nullptr : fdopen(copy, "wb");  // "w" on a descriptor truncates nothing
  if (stream == nullptr) {
    problem = std::strerror(errno);
    if (copy >= 0) close(copy);
  }
  return stream;
}

std::FILE* OpenDevice(const std::string& target, bool wait_for_reader, std::string& problem) {
  if (wait_for_reader) {
    std::FILE* stream = std::fopen(target.c_str(), "wb");
    if (stream == nullptr) problem = std::strerror(errno);
    return stream;
  }
  const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = std::strerror(errno);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    problem = std::strerror(errno);
    close(fd);
  }
  return stream;
}

int CreateTemporary(const std::string& target, std::string& temp, std::string& problem) {
  const fs::path t(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
  std::string name = (folder / ".squarefield.XXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    problem = std::strerror(errno);
    return -1;
  }
  temp = name;
  return fd;
}

int CloseDescriptor(int fd) { return close(fd); }

void TakeModeAndOwner(int fd, const std::string& target, bool replacing) {
  mode_t mode;
  struct stat st {};
  const bool known = replacing && ::stat(target.c_str(), &st) == 0;
  if (replacing) {
    mode = known ? st.st_mode & 07777 : 0644;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode | 0600);
  // Its owner and group where we may give them (as root); chown clears set-id bits.
  if (known && (st.st_uid != geteuid() || st.st_gid != getegid()))
    if (fchown(fd, st.st_uid, st.st_gid) == 0) fchmod(fd, mode | 0600);
}

std::FILE* TemporaryStream(int fd, std::string& problem) {
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) problem = std::strerror(errno);
  return stream;
}

}  // namespace squarefield
