#include "package/package_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_text_posix.h"

namespace qv {
namespace {

// An open descriptor closed once, at the end of its scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  // Closes now; the errno of a failed close, else 0.
  int Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// "" when path may be replaced: absent, or a regular file (not followed if it is a symlink).
std::string CheckReplaceable(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return "cannot check " + path.string() + ": " + SystemReason(errno);
  }
  if (S_ISREG(st.st_mode)) return {};
  return path.string() + " is " + FileKindName(st.st_mode) +
         ", not a regular file: it is left as it is";
}

// Writes all bytes; 0 or the errno of the write that failed.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return 0;
}

// Writes, flushes and closes the temporary file; 0 or the errno of the step that failed.
int FillAndClose(Descriptor& file, std::span<const uint8_t> bytes) {
  if (const int error = WriteAll(file.get(), bytes); error != 0) return error;
  if (::fsync(file.get()) != 0) return errno;
  return file.Close();
}

// Creates a new file under the first free name; its descriptor, or -1 with the message set.
int CreateTemporary(int folder, const std::string& output_name, TemporaryNameSource& names,
                    std::string& name, std::string& message) {
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    name = names.Next(output_name);
    int fd;
    do {
      // O_EXCL refuses any existing name, a symlink included; O_NOFOLLOW says so twice.
      fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      message = "cannot create a file in the folder of the output: " + SystemReason(errno);
      return -1;
    }
  }
  message = "cannot create a file in the folder of the output: " +
            std::to_string(kTemporaryNameTries) + " names tried were all taken";
  return -1;
}

}  // namespace

std::string WritePackageFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                             TemporaryNameSource& names) {
  const std::string output_name = path.filename().string();
  if (output_name.empty() || output_name == "." || output_name == "..") {
    return path.string() + " names a folder, not a file";
  }
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return refused;

  const std::filesystem::path folder_path = path.has_parent_path() ? path.parent_path() : ".";
  Descriptor folder(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) {
    return "cannot open the folder " + folder_path.string() + ": " + SystemReason(errno);
  }
  std::string name;
  std::string message;
  Descriptor file(CreateTemporary(folder.get(), output_name, names, name, message));
  if (file.get() < 0) return message;

  const auto discard = [&](const std::string& failure) {
    (void)::unlinkat(folder.get(), name.c_str(), 0);
    return failure;
  };
  if (const int error = FillAndClose(file, bytes); error != 0) {
    return discard("cannot write " + path.string() + ": " + SystemReason(error));
  }
  // Checked again right before the rename: something may have been put at path meanwhile.
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return discard(refused);
  if (::renameat(folder.get(), name.c_str(), folder.get(), output_name.c_str()) != 0) {
    return discard("cannot replace " + path.string() + ": " + SystemReason(errno));
  }
  if (::fsync(folder.get()) != 0) {
    return "wrote " + path.string() + " but its folder could not be flushed to disk: " +
           SystemReason(errno);
  }
  return {};
}

}  // namespace qv
