// Output files: checked before the run starts, written whole or not at all,
// and never at the expense of what the path names.
//  - "-" is standard output, written as it goes
//  - a character device or a FIFO (/dev/null, a pipe; NUL on Windows) is
//    written directly, never replaced
//  - a regular file, new or old, is written under a temporary name in the same
//    folder (created exclusively, never through a symlink) and renamed over the
//    target at the end, keeping an existing target's permissions
//  - a symlink keeps pointing where it did: the file it points to is replaced
#pragma once

#include <cstdio>
#include <string>

namespace squarefield {

// A file name as a message shows it: in single quotes when `quoted`, and, when
// it holds a control character (a newline, a terminal's escape), as a shell
// would take it back, $'...' with each such character escaped, so a message
// stays one line and never speaks to the terminal.
std::string ShownName(const std::string& name, bool quoted);

// True when `path` can be written as OutputFile writes it. Leaves nothing behind.
bool CanWrite(const std::string& path, std::string& problem);

// True when two output paths name the same file (or both standard output).
bool SameOutput(const std::string& a, const std::string& b);

class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}
  // An output never committed is abandoned: its temporary file is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Null when the file could not be opened; `problem` says why.
  std::FILE* Open(std::string& problem);
  std::FILE* Stream() const { return file_; }
  // Finishes the file (into place, for a regular one); false with `problem` on any write error.
  bool Commit(std::string& problem);

 private:
  void Abandon();

  std::string path_;
  std::string temp_;  // empty when written directly
  std::string target_;
  std::FILE* file_ = nullptr;
  bool is_stdout_ = false;
};

}  // namespace squarefield
