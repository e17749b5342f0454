#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>

#include "platform/errors.h"

namespace brelix::platform {

namespace fs = std::filesystem;

namespace {

std::filesystem::path program_folder;  // set by the host; empty: the executable's folder

std::string SystemText(int error) { return std::system_category().message(error); }

std::string Quoted(const fs::path& file) { return "\"" + file.string() + "\""; }

[[noreturn]] void FileError(const char* action, const fs::path& file, int error) {
  throw EFileError(std::string("Cannot ") + action + " file " + Quoted(file) + ": " + SystemText(error));
}

// A file descriptor that closes itself.
class FileHandle {
 public:
  explicit FileHandle(int fd = -1) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  //! Closes the descriptor; false (errno set) when the system reports a failure.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens file; a failure names shown_as (the file the caller works on) with the action.
int OpenFile(const fs::path& file, int flags, const char* action, const fs::path* shown_as = nullptr) {
  int fd;
  do {
    fd = ::open(file.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FileError(action, shown_as ? *shown_as : file, errno);
  return fd;
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t size, const fs::path& file) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      FileError("write", file, errno);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void CloseChecked(FileHandle& handle, const fs::path& file) {
  if (!handle.Close()) FileError("write", file, errno);
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

fs::path ProgramFolder() {
  if (!program_folder.empty()) return program_folder;
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (!error && exe.has_parent_path()) return exe.parent_path();
  return fs::current_path(error);
}

void SetProgramFolder(const fs::path& folder) {
  if (folder.empty()) {
    program_folder.clear();
    return;
  }
  fs::path p = fs::absolute(folder).lexically_normal();
  // "/a/b/" normalises to "/a/b/"; the folder is kept without the separator.
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  program_folder = p;
}

fs::path ResolveProgramPath(const fs::path& name) {
  return name.is_absolute() ? name : ProgramFolder() / name;
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  return WithSeparator(dir && *dir ? dir : "/tmp");
}

std::string CreateTempFile(const std::string& folder) {
  const std::string base = WithSeparator(folder.empty() ? TempFolder() : folder);
  constexpr unsigned kNames = 0x10000;
  const unsigned start = std::random_device{}() % kNames;
  for (unsigned i = 0; i < kNames; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "BRE%X.tmp", (start + i) % kNames);
    const std::string path = base + name;
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno == EEXIST) continue;
    throw EOSError("Cannot create a temporary file in folder \"" + base + "\": " + SystemText(errno));
  }
  throw EOSError("Cannot create a temporary file in folder \"" + base + "\": all names are taken");
}

void CopyFile(const fs::path& source, const fs::path& dest) {
  std::error_code error;
  if (fs::equivalent(source, dest, error)) return;  // the file already holds itself
  FileHandle in(OpenFile(source, O_RDONLY, "open"));
  FileHandle out(OpenFile(dest, O_WRONLY | O_CREAT | O_TRUNC, "create"));
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      FileError("read", source, errno);
    }
    if (n == 0) break;
    WriteAll(out.get(), buffer, static_cast<std::size_t>(n), dest);
  }
  CloseChecked(out, dest);
}

std::vector<std::uint8_t> ReadFileBytes(const fs::path& file) {
  FileHandle in(OpenFile(file, O_RDONLY, "open"));
  std::vector<std::uint8_t> bytes;
  struct stat info {};
  if (::fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      FileError("read", file, errno);
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void WriteFileBytes(const fs::path& file, const std::uint8_t* data, std::size_t size) {
  FileHandle out(OpenFile(file, O_WRONLY | O_CREAT | O_TRUNC, "create"));
  WriteAll(out.get(), data, size, file);
  CloseChecked(out, file);
}

void WriteFileAtomically(const fs::path& file, const std::string& content) {
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::string temp;
  try {
    temp = CreateTempFile(folder.string());
  } catch (const EOSError& e) {
    throw EFileError("Cannot write file " + Quoted(file) + ": " + e.Message());
  }
  try {
    FileHandle out(OpenFile(temp, O_WRONLY | O_TRUNC, "write", &file));
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(out.get(), old.st_mode & 07777);
    WriteAll(out.get(), reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), file);
    if (::fsync(out.get()) != 0) FileError("write", file, errno);
    CloseChecked(out, file);
    if (::rename(temp.c_str(), file.c_str()) != 0) FileError("write", file, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace brelix::platform
