// Output files: checked before the run starts, written whole or not at all.
#pragma once

#include <cstdio>
#include <string>

namespace squarefield {

// True when `path` can be written as OutputFile writes it. Leaves no file behind that was not there.
bool CanWrite(const std::string& path, std::string& problem);

// Reports on stderr that `path` could not be written, and why (when known).
void ReportFileProblem(const std::string& path, const std::string& problem);

// A file written under a temporary name and moved into place by Commit, so a
// failed or interrupted write never leaves a partial file under the real name.
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  static std::string TempPathFor(const std::string& path) { return path + ".part"; }
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Null when the file could not be opened; `problem` says why.
  std::FILE* Open(std::string& problem);
  std::FILE* Stream() const { return file_; }
  // Closes and renames into place; false (with `problem`) on any write error.
  bool Commit(std::string& problem);

 private:
  std::string path_;
  std::string temp_path_;
  std::FILE* file_ = nullptr;
};

}  // namespace squarefield
