// Files, unique temporary names and memory-mapped views: the stand-in for the platform's file
// and file-mapping interfaces.
#pragma once

#include <cstdint>
#include <string>

namespace t3d::platform {

// An open file; closed with the object.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Creates a new file with a unique name "<directory>/<prefix>XXXXXX<suffix>" for reading and
  // writing, readable by the owner only. An existing file is never opened or replaced.
  static File CreateUnique(const std::string& directory, const std::string& prefix,
                           const std::string& suffix = std::string());
  // Creates a temporary file in directory for reading and writing that has no name: nothing is
  // left of it once it is closed, also when the process is killed. On Linux the file is made
  // unnamed (O_TMPFILE) where the file system allows, otherwise it is created as
  // "<prefix>XXXXXX" and its name removed at once; the descriptor and the mappings of it keep
  // its contents. path() is empty.
  static File CreateTemporary(const std::string& directory, const std::string& prefix);
  // Creates a temporary file for reading and writing that can be opened again by path() as long
  // as this object keeps it open, for code that takes a path (GDAL, file readers). Where the
  // system can reach an open file by a path of its own (Linux: /proc/self/fd/N), the file is one
  // of CreateTemporary: unnamed() is true and nothing is left of it once it is closed, also when
  // the process is killed. Elsewhere it is a file of CreateUnique, which the caller deletes.
  static File CreateReopenableTemporary(const std::string& directory, const std::string& prefix,
                                        const std::string& suffix = std::string());
  // Creates the draft of a file that ReplaceFile puts in place once it is complete, in the
  // directory it will take its place in: unnamed where the system allows, so that nothing is
  // left of an unfinished draft, also when the process is killed (as CreateReopenableTemporary),
  // else a file of CreateUnique.
  static File CreateDraft(const std::string& directory, const std::string& prefix);
  // Opens an existing file for reading and writing, or for reading only.
  static File Open(const std::string& path, bool writable);

  bool valid() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // True for a file without a name in any directory (see CreateReopenableTemporary): there is
  // nothing to delete, and path() holds only while the file is open.
  bool unnamed() const { return unnamed_; }

  // Writes all of size bytes at the current end; false on any failure.
  bool Append(const void* data, size_t size);
  // Reads size bytes at offset; false unless all were read.
  bool ReadAt(uint64_t offset, void* data, size_t size) const;
  uint64_t Size() const;
  void Close();
  // Makes a file of CreateUnique or CreateDraft the file at path: its data are flushed to the
  // disk, its access becomes that of newly created files (the process's umask), it is closed and
  // renamed over path, replacing a file there in one step (an unnamed draft is first linked
  // under a unique name beside path). When any of that fails the file is closed and deleted (a
  // file at path stays as it was) and the result is false.
  bool ReplaceFile(const std::string& path);

  int fd() const { return fd_; }

 private:
  // A file without a name in directory (O_TMPFILE), or an invalid one where there is none.
  static File CreateUnnamed(const std::string& directory);
  // Makes path() the kernel's link to the open descriptor (/proc/self/fd/N) and marks the file
  // unnamed; false where there is no such link.
  bool ReachByLink();

  int fd_ = -1;
  std::string path_;
  bool unnamed_ = false;
};

// A mapped view of part of a file; unmapped with the object.
class MappedView {
 public:
  MappedView() = default;
  ~MappedView();
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  // Maps size bytes of file at offset (a multiple of the page size) for reading and writing;
  // an invalid view on failure.
  static MappedView Map(const File& file, uint64_t offset, size_t size);

  void* data() const { return data_; }
  bool valid() const { return data_ != nullptr; }
  void Reset();

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

// Deletes a file by path; false when it could not be deleted.
bool DeleteFile(const std::string& path);

}  // namespace t3d::platform
