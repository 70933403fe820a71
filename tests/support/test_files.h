// Files and folders for tests, on both builds.
#pragma once

#include <string>

// A new empty folder, with a trailing separator; removed (with its files) by
// the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  const std::string &path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + name; }

 private:
  std::string path_;
};

bool WriteBytes(const std::string &path, const std::string &bytes);
// The whole file; `ok` (optional) is false when it cannot be read.
std::string ReadBytes(const std::string &path, bool *ok = nullptr);
bool MakeReadOnly(const std::string &path, bool readOnly);
