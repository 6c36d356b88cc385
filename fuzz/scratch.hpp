#pragma once
// A scratch folder of the fuzzing process's own under /tmp: entered for one
// input, emptied before it, left again after it (the working folder is
// restored, so that libFuzzer's corpus paths and the test runner's folder
// keep their meaning). The folder is removed when the process ends.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "targets.hpp"

namespace fuzzscratch {

inline std::string& folder() {
  static std::string path;
  return path;
}

inline void removeFolder() {
  const std::string& path = folder();
  if (path.empty()) return;
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") ::unlink((path + "/" + name).c_str());
    }
    ::closedir(d);
  }
  ::rmdir(path.c_str());
}

// Enters the folder, emptied; the destructor returns to where we were.
class Inside {
 public:
  Inside() {
    if (folder().empty()) {
      char tmpl[] = "/tmp/vorn-fuzz-XXXXXX";
      if (!::mkdtemp(tmpl)) throw FuzzFinding("cannot make a scratch folder");
      folder() = tmpl;
      std::atexit(removeFolder);
    }
    back_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (back_ < 0 || ::chdir(folder().c_str()) != 0) throw FuzzFinding("cannot enter the scratch folder");
    if (DIR* d = ::opendir(".")) {
      while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") ::unlink(name.c_str());
      }
      ::closedir(d);
    }
  }
  ~Inside() {
    if (back_ >= 0) {
      if (::fchdir(back_) != 0) std::abort();
      ::close(back_);
    }
  }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;

 private:
  int back_ = -1;
};

// Writes `n` bytes to the file `name` in the current folder.
inline void writeBytes(const std::string& name, const char* p, std::size_t n) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) throw FuzzFinding("cannot write " + name + " in the scratch folder");
  if (n > 0 && std::fwrite(p, 1, n, f) != n) {
    std::fclose(f);
    throw FuzzFinding("cannot write " + name + " in the scratch folder");
  }
  std::fclose(f);
}

inline std::string readBytes(const std::string& name) {
  std::string s;
  if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
    char buf[4096];
    std::size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    std::fclose(f);
  }
  return s;
}

}  // namespace fuzzscratch
