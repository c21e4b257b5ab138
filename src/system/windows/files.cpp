#include "system/files.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "hosts/win32/lean_windows.h"

namespace squarefield {

namespace fs = std::filesystem;

namespace {
std::string U8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}
}  // namespace

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// As NTFS compares names: each character by its upper case, whatever the locale.
bool SameName(const fs::path& a, const fs::path& b) {
  const std::wstring& x = a.native();
  const std::wstring& y = b.native();
  return x.size() <= INT_MAX && y.size() <= INT_MAX &&
         CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(), static_cast<int>(y.size()), TRUE) ==
             CSTR_EQUAL;
}

// CON, PRN, AUX, COM1-9 and LPT1-9, with any extension and in any case, are
// devices in every folder: a run would end writing to the console or a
// printer port. (NUL is a device too, and a welcome one: it is written.)
std::optional<std::string> RefusedName(const std::string& path) {
  // Each part of a path holds at most 255 UTF-16 units; only the write at the
  // end would otherwise find out, as an input/output error.
  for (const auto& part : PathOf(path))
    if (part.native().size() > 255) return std::string("File name too long");
  std::string stem = U8(PathOf(path).filename());
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && (stem.back() == ' ')) stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool reserved = stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "CONIN$" || stem == "CONOUT$" ||
                        (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                         stem[3] >= '1' && stem[3] <= '9');
  if (!reserved) return std::nullopt;
  return std::string("a name Windows keeps for a device");
}

std::optional<std::string> OutputRefusal(const std::string&) { return std::nullopt; }

bool DeviceOpens(const std::string&, std::string&) { return true; }

// NUL, CON and named pipes are not files on disk, whatever stat makes of them.
bool IsDevice(const std::string& target, fs::file_type) {
  const HANDLE h = CreateFileW(PathOf(target).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD kind = GetFileType(h);
  CloseHandle(h);
  return kind == FILE_TYPE_CHAR || kind == FILE_TYPE_PIPE;
}

// The read-only attribute is all Windows shows of this; the caller has checked it.
bool MayWrite(const std::string&, std::string&) { return true; }

std::optional<int> NamedDescriptor(const std::string&) { return std::nullopt; }
std::FILE* DescriptorStream(int, std::string& problem) {
  problem = "no descriptors are named on Windows";
  return nullptr;
}

std::FILE* OpenDevice(const std::string& target, bool, std::string& problem) {
  std::FILE* stream = _wfopen(PathOf(target).c_str(), L"wb");
  if (stream == nullptr) problem = std::strerror(errno);
  return stream;
}

// No wide mkstemp: the same exclusive create, by hand.
int CreateTemporary(const std::string& target, std::string& temp, std::string& problem) {
  const fs::path t = PathOf(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
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
}

int CloseDescriptor(int fd) { return _close(fd); }

// A new file's attributes are Windows' defaults; a replaced one's go with the rename.
void TakeModeAndOwner(int, const std::string&, bool) {}

std::FILE* TemporaryStream(int fd, std::string& problem) {
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) problem = std::strerror(errno);
  return stream;
}

}  // namespace squarefield
