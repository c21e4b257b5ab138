#include "shell/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "shell/stop.h"
#include "system/files.h"

namespace squarefield {

namespace fs = std::filesystem;

std::string ShownName(const std::string& name, bool quoted) {
  const bool plain = std::none_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
  if (plain) return quoted ? "'" + name + "'" : name;
  std::string shown = "$'";
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '\'') {
      shown += '\\';
      shown += c;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      const char octal[] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                            static_cast<char>('0' + (u & 7)), 0};
      shown += octal;
    } else {
      shown += c;
    }
  }
  return shown + "'";
}

namespace {

fs::path P(const std::string& utf8) { return PathOf(utf8); }
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

// Where an output named `path` goes, as far as can be told before writing.
struct Place {
  enum class Kind { Stdout, Descriptor, Device, File };
  Kind kind;
  int fd = -1;                               // Stdout or Descriptor named by number
  std::string target;                        // Device or File: where writing lands
  fs::file_type type = fs::file_type::none;  // File: what is there now
};

std::optional<Place> PlaceOf(const std::string& path, std::string& problem) {
  if (path == "-") return Place{Place::Kind::Stdout, -1, "", fs::file_type::none};
  if (const auto fd = NamedDescriptor(path))
    return Place{*fd == 1 ? Place::Kind::Stdout : Place::Kind::Descriptor, *fd, "", fs::file_type::none};
  std::string target;
  if (!ResolveTarget(path, target, problem)) return std::nullopt;
  if (const auto refusal = OutputRefusal(target)) {
    problem = *refusal;
    return std::nullopt;
  }
  std::error_code ec;
  const fs::file_type type = fs::status(P(target), ec).type();
  if (type == fs::file_type::directory) {
    problem = "it is a directory";
    return std::nullopt;
  }
  return Place{IsDevice(target, type) ? Place::Kind::Device : Place::Kind::File, -1, target, type};
}

}  // namespace

bool CanWrite(const std::string& path, std::string& problem) {
  if (const auto refusal = path == "-" ? std::nullopt : RefusedName(path)) {
    problem = *refusal;
    return false;
  }
  const auto place = PlaceOf(path, problem);
  if (!place) return false;
  switch (place->kind) {
    case Place::Kind::Stdout:
    case Place::Kind::Descriptor: {
      if (place->fd < 0) return true;
      std::FILE* stream = DescriptorStream(place->fd, problem);
      if (stream != nullptr) std::fclose(stream);
      return stream != nullptr;
    }
    case Place::Kind::Device:
      return MayWrite(place->target, problem) && DeviceOpens(place->target, problem);
    case Place::Kind::File:
      break;
  }
  std::error_code ec;
  // A file its owner made read-only is not replaced, as cp would not (by root
  // neither, where no write bit is set at all).
  if (place->type == fs::file_type::regular) {
    const auto perms = fs::status(P(place->target), ec).permissions();
    constexpr auto any_write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    std::string why;
    if ((perms & any_write) == fs::perms::none || !MayWrite(place->target, why)) {
      problem = std::strerror(EACCES);
      return false;
    }
  }
  // Try exactly what writing will do: create a temporary file beside it.
  std::string temp;
  const int fd = CreateTemporary(place->target, temp, problem);
  if (fd < 0) return false;
  CloseDescriptor(fd);
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
  // A descriptor named twice, or standard output named both ways.
  const auto fa = a == "-" ? std::optional<int>(1) : NamedDescriptor(a);
  const auto fb = b == "-" ? std::optional<int>(1) : NamedDescriptor(b);
  if (fa || fb) return fa == fb;
  if (a == "-" || b == "-") return a == b;
  std::error_code ec;
  if (fs::equivalent(P(a), P(b), ec) && !ec) return true;
  return SameName(Destination(a), Destination(b));
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
  const auto place = PlaceOf(path_, problem);
  if (!place) return nullptr;
  target_ = place->target;
  switch (place->kind) {
    case Place::Kind::Stdout:  // "-", or its descriptor by number: one buffer, in order
      is_stdout_ = true;
      file_ = stdout;
      return file_;
    case Place::Kind::Descriptor:  // written as it was opened (appending stays appending), never replaced
      file_ = DescriptorStream(place->fd, problem);
      return file_;
    case Place::Kind::Device:
      // After a stop, a FIFO with no reader yet is not waited for.
      file_ = OpenDevice(place->target, StopSignal() == 0, problem);
      return file_;
    case Place::Kind::File:
      break;
  }
  const int fd = CreateTemporary(target_, temp_, problem);
  if (fd < 0) return nullptr;
  if (!RegisterTemporary(temp_)) {
    // Unlisted, a signal would leave it behind: better not written at all.
    problem = "too many outputs, or a name too long, to clean up after a signal";
    CloseDescriptor(fd);
    std::error_code ec;
    fs::remove(P(temp_), ec);
    temp_.clear();
    return nullptr;
  }
  TakeModeAndOwner(fd, target_, place->type == fs::file_type::regular);
  file_ = TemporaryStream(fd, problem);
  if (file_ == nullptr) {
    CloseDescriptor(fd);
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
