#include "tests/support/test_files.h"

#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

TempFolder::TempFolder() {
#ifdef _WIN32
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static unsigned counter;
  for (;;) {
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%sqp%lu_%u", base, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(name, nullptr)) {
      path_ = std::string(name) + "\\";
      break;
    }
  }
#else
  char name[] = "/tmp/qptestXXXXXX";
  if (mkdtemp(name)) path_ = std::string(name) + "/";
#endif
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
#ifdef _WIN32
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path_ + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string f = path_ + fd.cFileName;
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(f.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(path_.c_str());
#else
  if (DIR *d = opendir(path_.c_str())) {
    while (dirent *e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::string f = path_ + e->d_name;
      chmod(f.c_str(), 0644);
      unlink(f.c_str());
    }
    closedir(d);
  }
  rmdir(path_.c_str());
#endif
}

bool WriteBytes(const std::string &path, const std::string &bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

std::string ReadBytes(const std::string &path, bool *ok) {
  FILE *f = fopen(path.c_str(), "rb");
  if (ok) *ok = f != nullptr;
  if (!f) return "";
  std::string out;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
  fclose(f);
  return out;
}

bool MakeReadOnly(const std::string &path, bool readOnly) {
#ifdef _WIN32
  return SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
#else
  return chmod(path.c_str(), readOnly ? 0444 : 0644) == 0;
#endif
}
