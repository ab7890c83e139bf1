#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "profile/atomic_file.h"

namespace quenta {

namespace {

class PosixFileLayer final : public FileLayer {
 public:
  FileSnapshot Snapshot(const std::string& path) override {
    FileSnapshot snapshot;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      snapshot.state = errno == ENOENT ? FileSnapshot::State::Missing : FileSnapshot::State::Unreadable;
      return snapshot;
    }
    snapshot.state = ReadInto(fd, snapshot) ? FileSnapshot::State::Present : FileSnapshot::State::Unreadable;
    close(fd);
    return snapshot;
  }

  bool IsReadOnly(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    // Write bits count even for a privileged user who could ignore them.
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
  }

  bool Remove(const std::string& path) override { return unlink(path.c_str()) == 0; }

  bool WriteDurably(const std::string& path, const std::string& bytes) override {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool written = true;
    for (std::size_t at = 0; written && at < bytes.size();) {
      const ssize_t put = write(fd, bytes.data() + at, bytes.size() - at);
      if (put < 0 && errno == EINTR) continue;
      written = put > 0;
      if (written) at += static_cast<std::size_t>(put);
    }
    written = written && fsync(fd) == 0;
    return close(fd) == 0 && written;
  }

  bool Replace(const std::string& source, const std::string& target) override {
    struct stat info;
    if (stat(target.c_str(), &info) == 0) chmod(source.c_str(), info.st_mode & 07777);
    if (rename(source.c_str(), target.c_str()) != 0) return false;
    SyncFolderOf(target);
    return true;
  }

 private:
  static bool ReadInto(int fd, FileSnapshot& snapshot) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    snapshot.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    ByteHash hash;
    char chunk[65536];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      hash.Add(chunk, static_cast<std::size_t>(got));
      snapshot.size += static_cast<std::uint64_t>(got);
    }
    snapshot.hash = hash.Value();
    return true;
  }

  // The rename itself is durable only once the folder entry is on disk.
  static void SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
  }
};

}  // namespace

FileLayer& SystemFileLayer() {
  static PosixFileLayer layer;
  return layer;
}

}  // namespace quenta
