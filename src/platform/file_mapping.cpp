#include "platform/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace t3d::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      unnamed_(std::exchange(other.unnamed_, false)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    unnamed_ = std::exchange(other.unnamed_, false);
  }
  return *this;
}

File File::CreateUnique(const std::string& directory, const std::string& prefix,
                        const std::string& suffix) {
  File file;
  std::string pattern = directory;
  if (!pattern.empty() && pattern.back() != '/') pattern += '/';
  pattern += prefix + "XXXXXX" + suffix;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // mkostemps creates the file exclusively (O_EXCL), so no file that already exists is touched.
  const int fd = mkostemps(name.data(), int(suffix.size()), O_CLOEXEC);
  if (fd < 0) return file;
  file.fd_ = fd;
  file.path_ = name.data();
  return file;
}

File File::CreateUnnamed(const std::string& directory) {
  File file;
#ifdef O_TMPFILE
  file.fd_ = ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC,
                    S_IRUSR | S_IWUSR);
#else
  (void)directory;
#endif
  return file;
}

bool File::ReachByLink() {
  // The kernel's link to an open descriptor opens the same file again, unnamed or not.
  const std::string link = "/proc/self/fd/" + std::to_string(fd_);
  if (fd_ < 0 || ::access(link.c_str(), R_OK | W_OK) != 0) return false;
  path_ = link;
  unnamed_ = true;
  return true;
}

File File::CreateTemporary(const std::string& directory, const std::string& prefix) {
  File file = CreateUnnamed(directory);
  if (file.valid()) return file;
  // File systems without unnamed files: a named one, unlinked before anything is written.
  file = CreateUnique(directory, prefix);
  if (file.valid() && ::unlink(file.path_.c_str()) != 0) file.Close();
  file.path_.clear();
  return file;
}

File File::CreateReopenableTemporary(const std::string& directory, const std::string& prefix,
                                     const std::string& suffix) {
  File file = CreateTemporary(directory, prefix);
  if (file.valid() && file.ReachByLink()) return file;
  return CreateUnique(directory, prefix, suffix);
}

File File::CreateDraft(const std::string& directory, const std::string& prefix) {
  // Unnamed drafts only where O_TMPFILE makes them (a file whose name was removed cannot be
  // linked again); such a file is linked through the kernel's link to its descriptor.
  File file = CreateUnnamed(directory);
  if (file.valid() && file.ReachByLink()) return file;
  return CreateUnique(directory, prefix);
}

File File::Open(const std::string& path, bool writable) {
  File file;
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return file;
  file.fd_ = fd;
  file.path_ = path;
  return file;
}

bool File::Append(const void* data, size_t size) {
  if (fd_ < 0) return false;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= size_t(written);
  }
  return true;
}

bool File::ReadAt(uint64_t offset, void* data, size_t size) const {
  if (fd_ < 0) return false;
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::pread(fd_, bytes, size, off_t(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return false;
    bytes += got;
    size -= size_t(got);
    offset += uint64_t(got);
  }
  return true;
}

uint64_t File::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return uint64_t(st.st_size);
}

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (unnamed_) path_.clear();  // the link to the descriptor went with it
}

namespace {

// The process's file creation mask, read without changing it (umask() cannot be read without
// setting it, which would race with other threads creating files).
mode_t CreationMask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  mode_t mask = 022;
  if (status == nullptr) return mask;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = mode_t(value & 0777);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

}  // namespace

bool File::ReplaceFile(const std::string& path) {
  if (fd_ < 0) return false;
  bool ok = !path.empty() && ::fsync(fd_) == 0 && ::fchmod(fd_, 0666 & ~CreationMask()) == 0;
  if (unnamed_) {
    // A name beside path first (rename cannot take an unnamed file), then the rename below.
    std::string named;
    for (int attempt = 0; ok && named.empty() && attempt < 100; ++attempt) {
      const std::string candidate =
          path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
      if (::linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
        named = candidate;
      else if (errno != EEXIST)
        ok = false;
    }
    unnamed_ = false;
    path_ = named;
    ok = ok && !named.empty();
  }
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (path_.empty()) return false;  // an unnamed draft that could not be linked: nothing left
  ok = ok && ::rename(path_.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(path_.c_str());
    return false;
  }
  path_ = path;
  return true;
}

MappedView::~MappedView() { Reset(); }

MappedView::MappedView(MappedView&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedView MappedView::Map(const File& file, uint64_t offset, size_t size) {
  MappedView view;
  if (!file.valid() || size == 0) return view;
  void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file.fd(), off_t(offset));
  if (data == MAP_FAILED) return view;
  view.data_ = data;
  view.size_ = size;
  return view;
}

void MappedView::Reset() {
  if (data_ != nullptr) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

bool DeleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

}  // namespace t3d::platform
