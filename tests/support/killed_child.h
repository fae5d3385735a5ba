// A child process killed (SIGKILL) at a moment it chooses, for tests of what a killed process
// leaves behind: the child runs in a working directory of its own and calls TellParentAndWait()
// where it is to be killed.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace testgrids {

// The names in a directory but . and .., sorted.
inline std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* folder = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline int& KilledChildPipe() {
  static int fd = -1;
  return fd;
}

// In the child: tells the parent it got as far as asked and waits to be killed.
inline void TellParentAndWait() {
  const char byte = 1;
  if (write(KilledChildPipe(), &byte, 1) != 1) _exit(3);
  for (;;) pause();
}

// What a killed child left in its working directory.
struct KilledChild {
  bool reached = false;           // the child called TellParentAndWait
  std::vector<std::string> left;  // the files in its working directory then
};

// Forks a child that sets TERRAIN3D_WORK_DIR to a new directory and runs work (which ends in
// TellParentAndWait, or _exit on failure), kills it once it tells, and lists, then removes, what
// it left in the directory.
inline KilledChild RunAndKill(const std::function<void()>& work) {
  KilledChild result;
  char directory[] = "/tmp/t3d-killed-XXXXXX";
  int ready[2];
  if (mkdtemp(directory) == nullptr || pipe(ready) != 0) return result;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    KilledChildPipe() = ready[1];
    setenv("TERRAIN3D_WORK_DIR", directory, 1);
    work();
    _exit(4);
  }
  close(ready[1]);
  char byte = 0;
  result.reached = child > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  if (child > 0) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
  }
  result.left = FilesIn(directory);
  for (const std::string& name : result.left) unlink((std::string(directory) + "/" + name).c_str());
  rmdir(directory);
  return result;
}

}  // namespace testgrids
