#include "platform/environment.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#ifndef TERRAIN3D_DEFAULT_DATA_DIR
#define TERRAIN3D_DEFAULT_DATA_DIR ""
#endif

namespace {

constexpr size_t kEnvDataDirectory = BASE_ENV_DATA_DIRECTORY;
constexpr size_t kEnvWorkDirectory = BASE_ENV_WORK_DIRECTORY;
constexpr size_t kEnvBlockSize = BASE_ENV_BLOCK_SIZE;


char g_block[kEnvBlockSize];
bool g_built = false;

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The folder of the module (library or program) this code is linked into.
std::string ModuleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&BaseGetEnvironment), &info) == 0 || info.dli_fname == nullptr)
    return {};
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FindDataDirectory() {
  if (const char* value = NonEmptyEnv("TERRAIN3D_DATA_DIR")) return Trimmed(value);
  const std::string module = ModuleDirectory();
  if (!module.empty()) {
    for (const char* relative : {"/data", "/../data", "/../share/terrain3d"}) {
      const std::string candidate = module + relative;
      if (IsDirectory(candidate + "/HeightLut")) return candidate;
    }
  }
  return Trimmed(TERRAIN3D_DEFAULT_DATA_DIR);
}

std::string FindWorkDirectory() {
  if (const char* value = NonEmptyEnv("TERRAIN3D_WORK_DIR")) return Trimmed(value);
  if (const char* value = NonEmptyEnv("TMPDIR")) return Trimmed(value);
  return "/tmp";
}

bool Store(size_t offset, const std::string& text) {
  const size_t room = (offset == kEnvDataDirectory ? kEnvWorkDirectory : kEnvBlockSize) - offset;
  if (text.size() >= room) return false;  // would not fit: better no block than a cut path
  std::memcpy(g_block + offset, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

extern "C" const char* BaseGetEnvironment(void) {
  if (!g_built) {
    std::memset(g_block, 0, sizeof g_block);
    // A data directory too long for its field is left empty: its colour tables and pictures are
    // then not found and fall back like missing files, while the working directory (which every
    // preparation needs) still serves. A working directory that does not fit leaves no block.
    if (!Store(kEnvDataDirectory, FindDataDirectory())) g_block[kEnvDataDirectory] = '\0';
    if (!Store(kEnvWorkDirectory, FindWorkDirectory())) return nullptr;
    g_built = true;
  }
  return g_block;
}

extern "C" void BaseResetEnvironment(void) { g_built = false; }
