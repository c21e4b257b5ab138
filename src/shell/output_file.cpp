#include "shell/output_file.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "shell/stop.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <cstdint>
#include "platform/win32/lean_windows.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif
#include <optional>
#include <string>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
// The JavaScript inside EM_ASM names its arguments $0, $1, ...
#pragma clang diagnostic ignored "-Wdollar-in-identifier-extension"
#endif

namespace squarefield {

namespace fs = std::filesystem;

namespace {

// Paths travel as UTF-8 strings; on Windows a narrow path would be read in the
// ANSI code page (Ωmega.png becoming Omega.png), so they become wide here.
fs::path P(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
#else
  return fs::path(utf8);
#endif
}
std::string U8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Where writing `path` lands: the file at the end of any chain of symlinks.
bool ResolveTarget(const std::string& path, std::string& target, std::string& problem) {
  fs::path current = P(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) {
      target = U8(current);
      return true;
    }
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) {
      problem = ec.message();
      return false;
    }
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  problem = std::strerror(ELOOP);
  return false;
}

// A device or a pipe: written directly, never replaced.
bool IsDevice(const std::string& target, fs::file_type type) {
#ifdef _WIN32
  // NUL, CON and named pipes are not files on disk, whatever stat makes of them.
  (void)type;
  const HANDLE h = CreateFileW(P(target).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD kind = GetFileType(h);
  CloseHandle(h);
  return kind == FILE_TYPE_CHAR || kind == FILE_TYPE_PIPE;
#else
  (void)target;
  return type == fs::file_type::character || type == fs::file_type::fifo;
#endif
}

// Creates an empty temporary file beside `target`, exclusively: an existing
// file or symlink of that name is never opened. Returns its descriptor or -1.
// The name is short and fixed, so it fits wherever the target's own name does.
int CreateTemporary(const std::string& target, std::string& temp, std::string& problem) {
  const fs::path t = P(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
#ifdef _WIN32
  // No wide mkstemp: the same exclusive create, by hand.
  static std::uint32_t state = static_cast<std::uint32_t>(GetTickCount64() ^ GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring leaf = L".squarefield.";
    for (int i = 0; i < 6; ++i) {
      state = state * 1664525u + 1013904223u;
      leaf += L"abcdefghijklmnopqrstuvwxyz0123456789"[(state >> 16) % 36];
    }
    const fs::path name = folder / leaf;
    const int fd = _wopen(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      temp = U8(name);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  problem = std::strerror(errno);
  return -1;
#else
  std::string name = (folder / ".squarefield.XXXXXX").string();
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    problem = std::strerror(errno);
    return -1;
  }
  temp = name;
  return fd;
#endif
}

int CloseFd(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  return close(fd);
#endif
}

#ifndef _WIN32
// /dev/stdout, /dev/fd/N and /proc/self/fd/N name a descriptor this program
// was given (a pipe, a file opened for appending by the shell): that
// descriptor, not whatever its link in /proc points at.
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

bool WritableDescriptor(int fd, std::string& problem) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags == -1) {
    problem = "descriptor " + std::to_string(fd) + " is not open";
    return false;
  }
  if ((flags & O_ACCMODE) == O_RDONLY) {
    problem = "descriptor " + std::to_string(fd) + " is not open for writing";
    return false;
  }
  return true;
}
#endif

#ifdef _WIN32
// CON, PRN, AUX, COM1-9 and LPT1-9, with any extension and in any case, are
// devices in every folder: a run would end writing to the console or a
// printer port. (NUL is a device too, and a welcome one: it is written.)
bool ReservedDeviceName(const std::string& path) {
  std::string stem = U8(P(path).filename());
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && (stem.back() == ' ')) stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "CONIN$" || stem == "CONOUT$") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}
#endif

// Why this build cannot write an output at `path` (symlinks already followed),
// or nothing when it can. Under node the module's file system holds files and
// folders only: a pipe or a device there would quietly become a file.
std::optional<std::string> OutputRefusal(const std::string& path) {
#ifndef __EMSCRIPTEN__
  (void)path;
  return std::nullopt;
#else
  // 0: fine; 1: a device, pipe or socket; 2: the module's own /dev, /proc or /sys.
  const int kind = EM_ASM_INT(
      {
        if (typeof process != "object" || typeof NODEFS != "object") return 0;
        const path = UTF8ToString($0);
        if (path == "/dev/null") return 0;
        for (const top of [ "/dev", "/proc", "/sys" ])
          if (path == top || path.startsWith(top + "/")) return 2;
        try {
          const st = require("fs").statSync(path);
          return st.isFile() || st.isDirectory() ? 0 : 1;
        } catch (e) {
          return 0;
        }
      },
      path.c_str());
  if (kind == 0) return std::nullopt;
  return std::string("the node build writes to files, standard output and /dev/null only, not to ") +
         (kind == 1 ? "a pipe or a device" : "the system's devices");
#endif
}

}  // namespace

bool CanWrite(const std::string& path, std::string& problem) {
  if (path == "-") return true;
#ifdef _WIN32
  if (ReservedDeviceName(path)) {
    problem = "a name Windows keeps for a device";
    return false;
  }
#endif
#ifndef _WIN32
  if (const auto fd = NamedDescriptor(path)) return WritableDescriptor(*fd, problem);
#endif
  std::string target;
  if (!ResolveTarget(path, target, problem)) return false;
  if (const auto refusal = OutputRefusal(target)) {
    problem = *refusal;
    return false;
  }
  std::error_code ec;
  const auto type = fs::status(P(target), ec).type();
  if (type == fs::file_type::directory) {
    problem = "it is a directory";
    return false;
  }
  if (IsDevice(target, type)) {
#ifndef _WIN32
    if (access(target.c_str(), W_OK) != 0) {
      problem = std::strerror(errno);
      return false;
    }
#endif
    return true;
  }
  // A file its owner made read-only is not replaced, as cp would not (by root
  // neither, where no write bit is set at all).
  if (type == fs::file_type::regular) {
    const auto perms = fs::status(P(target), ec).permissions();
    constexpr auto any_write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    bool writable = (perms & any_write) != fs::perms::none;
#ifndef _WIN32
    writable = writable && access(target.c_str(), W_OK) == 0;
#endif
    if (!writable) {
      problem = std::strerror(EACCES);
      return false;
    }
  }
  // Try exactly what writing will do: create a temporary file beside it.
  std::string temp;
  const int fd = CreateTemporary(target, temp, problem);
  if (fd < 0) return false;
  CloseFd(fd);
  fs::remove(P(temp), ec);
  return true;
}

// Where writing to Name would land: symlinks followed to the end even when
// the file they point to does not exist yet (a dangling link to a new file).
static fs::path Destination(const std::string& name) {
  std::error_code ec;
  fs::path p = fs::absolute(P(name), ec);
  for (int hops = 0; hops < 40 && fs::is_symlink(p, ec); ++hops) {
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return fs::weakly_canonical(p, ec);
}

bool SameOutput(const std::string& a, const std::string& b) {
#ifndef _WIN32
  // A descriptor named twice, or standard output named both ways.
  const auto fa = a == "-" ? std::optional<int>(1) : NamedDescriptor(a);
  const auto fb = b == "-" ? std::optional<int>(1) : NamedDescriptor(b);
  if (fa || fb) return fa == fb;
#endif
  if (a == "-" || b == "-") return a == b;
  std::error_code ec;
  if (fs::equivalent(P(a), P(b), ec) && !ec) return true;
  return Destination(a) == Destination(b);
}

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Abandon() {
  if (file_ != nullptr && !is_stdout_) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(P(temp_), ec);
    ForgetTemporary(temp_);
    temp_.clear();
  }
}

std::FILE* OutputFile::Open(std::string& problem) {
  if (path_ == "-") {
    is_stdout_ = true;
    file_ = stdout;
    return file_;
  }
#ifndef _WIN32
  if (const auto fd = NamedDescriptor(path_)) {
    if (*fd == 1) {  // the same stream as "-": one buffer, in order
      is_stdout_ = true;
      file_ = stdout;
      return file_;
    }
    // Written as it was opened (appending stays appending), never replaced.
    if (!WritableDescriptor(*fd, problem)) return nullptr;
    const int copy = dup(*fd);
    file_ = copy < 0 ? nullptr : fdopen(copy, "wb");  // "w" on a descriptor truncates nothing
    if (file_ == nullptr) {
      problem = std::strerror(errno);
      if (copy >= 0) close(copy);
    }
    return file_;
  }
#endif
  if (!ResolveTarget(path_, target_, problem)) return nullptr;
  if (const auto refusal = OutputRefusal(target_)) {
    problem = *refusal;
    return nullptr;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(P(target_), ec);
  if (status.type() == fs::file_type::directory) {
    problem = "it is a directory";
    return nullptr;
  }
  if (IsDevice(target_, status.type())) {
#ifdef _WIN32
    file_ = _wfopen(P(target_).c_str(), L"wb");
#else
    file_ = std::fopen(target_.c_str(), "wb");
#endif
    if (file_ == nullptr) problem = std::strerror(errno);
    return file_;
  }
  const int fd = CreateTemporary(target_, temp_, problem);
  if (fd < 0) return nullptr;
  if (!RegisterTemporary(temp_)) {
    // Unlisted, a signal would leave it behind: better not written at all.
    problem = "too many outputs, or a name too long, to clean up after a signal";
    CloseFd(fd);
    std::error_code ec;
    fs::remove(P(temp_), ec);
    temp_.clear();
    return nullptr;
  }
#ifndef _WIN32
  // A replaced file keeps its permissions; a new one gets what any new file would.
  mode_t mode;
  if (status.type() == fs::file_type::regular) {
    struct stat st {};
    mode = ::stat(target_.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  // Whatever the mask says, the owner can read and write their own output.
  fchmod(fd, mode | 0600);
  // A replaced file keeps its owner and group too (where we may give it them: as root).
  if (status.type() == fs::file_type::regular) {
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && (st.st_uid != geteuid() || st.st_gid != getegid()))
      if (fchown(fd, st.st_uid, st.st_gid) == 0) fchmod(fd, mode | 0600);  // chown clears set-id bits
  }
  file_ = fdopen(fd, "wb");
#else
  file_ = _fdopen(fd, "wb");
#endif
  if (file_ == nullptr) {
    problem = std::strerror(errno);
    CloseFd(fd);
    Abandon();
  }
  return file_;
}

bool OutputFile::Commit(std::string& problem) {
  if (file_ == nullptr) {
    problem = "not open";
    return false;
  }
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const int write_errno = errno;
  if (is_stdout_) {
    file_ = nullptr;
    if (!written) problem = std::strerror(write_errno);
    return written;
  }
  const bool closed = std::fclose(file_) == 0;
  const int close_errno = errno;
  file_ = nullptr;
  if (!written || !closed) {
    problem = std::strerror(written ? close_errno : write_errno);
    Abandon();
    return false;
  }
  if (temp_.empty()) return true;
  std::error_code ec;
  fs::rename(P(temp_), P(target_), ec);
  if (ec) {
    problem = ec.message();
    Abandon();
    return false;
  }
  ForgetTemporary(temp_);
  temp_.clear();
  return true;
}

}  // namespace squarefield
