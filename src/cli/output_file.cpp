#include "cli/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace squarefield {

bool CanWrite(const std::string& path, std::string& problem) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    problem = "it is a directory";
    return false;
  }
  // Try exactly what writing will do: create the temporary file beside it.
  const std::string temp = OutputFile::TempPathFor(path);
  const bool existed = std::filesystem::exists(temp, ec);
  std::FILE* f = std::fopen(temp.c_str(), "ab");
  if (f == nullptr) {
    problem = std::strerror(errno);
    return false;
  }
  std::fclose(f);
  if (!existed) std::filesystem::remove(temp, ec);
  return true;
}

void ReportFileProblem(const std::string& path, const std::string& problem) {
  std::fprintf(stderr, "squarefield: %s: %s\n", path.c_str(), problem.empty() ? "could not be written" : problem.c_str());
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)), temp_path_(TempPathFor(path_)) {}

OutputFile::~OutputFile() {
  if (file_ != nullptr) {
    std::fclose(file_);
    std::error_code ec;
    std::filesystem::remove(temp_path_, ec);
  }
}

std::FILE* OutputFile::Open(std::string& problem) {
  file_ = std::fopen(temp_path_.c_str(), "wb");
  if (file_ == nullptr) problem = std::strerror(errno);
  return file_;
}

bool OutputFile::Commit(std::string& problem) {
  if (file_ == nullptr) {
    problem = "not open";
    return false;
  }
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const int saved_errno = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  std::error_code ec;
  if (!written || !closed) {
    problem = std::strerror(written ? errno : saved_errno);
    std::filesystem::remove(temp_path_, ec);
    return false;
  }
  std::filesystem::rename(temp_path_, path_, ec);
  if (ec) {
    problem = ec.message();
    std::filesystem::remove(temp_path_, ec);
    return false;
  }
  return true;
}

}  // namespace squarefield
