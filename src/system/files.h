// The file operations whose rules differ per system, for the shell's output
// files (shell/output_file.h), which are the same on every system above them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace squarefield {

// Paths travel as UTF-8 strings; on Windows a narrow path would be read in the
// ANSI code page (Ωmega.png becoming Omega.png), so they become wide here.
std::filesystem::path PathOf(const std::string& utf8);

// True when a character device opens for writing at all (/dev/tty with no
// terminal does not); false with `problem`. Other kinds: true.
bool DeviceOpens(const std::string& target, std::string& problem);

// True when two full paths name one file as this system compares names
// (Windows: regardless of case).
bool SameName(const std::filesystem::path& a, const std::filesystem::path& b);

// Why this system will not have an output of that name, before anything is
// looked at (Windows' names kept for devices); nothing when it will.
std::optional<std::string> RefusedName(const std::string& path);

// Why this build cannot write an output at `path` (symlinks followed): under
// node the module's file system holds files and folders only; nothing when it can.
std::optional<std::string> OutputRefusal(const std::string& path);

// A device or a pipe: written directly, never replaced.
bool IsDevice(const std::string& target, std::filesystem::file_type type);

// Whether the calling user may write `target` as it is (POSIX permissions,
// root's included); `problem` says why not.
bool MayWrite(const std::string& target, std::string& problem);

// The descriptor a path names (/dev/stdout, /dev/fd/N, /proc/self/fd/N: one
// this program was given), where the system has such names.
std::optional<int> NamedDescriptor(const std::string& path);
// A stream on a copy of that descriptor, written as it was opened; null with `problem`.
std::FILE* DescriptorStream(int fd, std::string& problem);

// Opens a device for writing; null with `problem`. Without `wait_for_reader` a
// FIFO nobody reads yet is not waited for: null at once.
std::FILE* OpenDevice(const std::string& target, bool wait_for_reader, std::string& problem);

// Creates an empty temporary file beside `target`, exclusively: an existing
// file or symlink of that name is never opened. Returns its descriptor, or -1
// with `problem`. The name is short and fixed (.squarefield.XXXXXX), so it fits
// wherever the target's own name does.
int CreateTemporary(const std::string& target, std::string& temp, std::string& problem);
int CloseDescriptor(int fd);

// Gives the temporary `fd` the mode, and where it replaces `target` the owner
// and group, the finished file should have: a replaced file keeps its own, a
// new one gets what any new file would; the owner can always read and write it.
void TakeModeAndOwner(int fd, const std::string& target, bool replacing);
// A stream on the temporary; null with `problem`.
std::FILE* TemporaryStream(int fd, std::string& problem);

}  // namespace squarefield
