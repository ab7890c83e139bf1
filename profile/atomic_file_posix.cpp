#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "profile/atomic_file.h"

namespace quenta {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Hands the file's bytes to `take` chunk by chunk.
template <typename Take>
bool ReadChunks(int fd, Take take) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    take(chunk, static_cast<std::size_t>(got));
  }
}

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

  bool ReadAll(const std::string& path, std::string& bytes) override {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool read = ReadChunks(fd, [&](const char* data, std::size_t size) { bytes.append(data, size); });
    close(fd);
    return read;
  }

  bool IsReadOnly(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    // Write bits count even for a privileged user who could ignore them.
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
  }

  bool Remove(const std::string& path) override { return unlink(path.c_str()) == 0; }

  Created CreateDurably(const std::string& path, const std::string& bytes) override {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? Created::NameTaken : Created::Failed;
    bool written = true;
    for (std::size_t at = 0; written && at < bytes.size();) {
      const ssize_t put = write(fd, bytes.data() + at, bytes.size() - at);
      if (put < 0 && errno == EINTR) continue;
      written = put > 0;
      if (written) at += static_cast<std::size_t>(put);
    }
    const bool cut = !written;
    written = written && fsync(fd) == 0;
    if (close(fd) == 0 && written) return Created::Written;
    if (cut) unlink(path.c_str());
    return Created::Failed;
  }

  bool Replace(const std::string& source, const std::string& target) override {
    struct stat info;
    if (stat(target.c_str(), &info) == 0) chmod(source.c_str(), info.st_mode & 07777);
    if (rename(source.c_str(), target.c_str()) != 0) return false;
    SyncFolderOf(target);
    return true;
  }

  std::vector<TempFile> TempsOf(const std::string& profile) override {
    std::vector<TempFile> temps;
    const std::string folder = FolderOf(profile);
    const std::string prefix = TempPrefixFor(profile.substr(profile.find_last_of('/') + 1));
    DIR* entries = opendir(folder.c_str());
    if (entries == nullptr) return temps;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    while (const dirent* entry = readdir(entries)) {
      const std::string name = entry->d_name;
      TempFile temp;
      struct stat info;
      temp.path = folder + "/" + name;
      if (name.compare(0, prefix.size(), prefix) != 0 || !ParseTempTail(name.substr(prefix.size()), temp.process) ||
          lstat(temp.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        continue;
      temp.modified = Nanoseconds(info.st_mtim);
      temp.ageSeconds = now.tv_sec - info.st_mtim.tv_sec;
      temps.push_back(temp);
    }
    closedir(entries);
    return temps;
  }

 private:
  static bool ReadInto(int fd, FileSnapshot& snapshot) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    snapshot.modified = Nanoseconds(info.st_mtim);
    ByteHash hash;
    if (!ReadChunks(fd, [&](const char* data, std::size_t size) { hash.Add(data, size); })) return false;
    snapshot.size = hash.Size();
    snapshot.hash = hash.Value();
    return true;
  }

  // The rename itself is durable only once the folder entry is on disk.
  static void SyncFolderOf(const std::string& path) {
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
  }
};

}  // namespace

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

bool ProcessMayBeRunning(std::uint32_t process) {
  // 0 and ids beyond pid_t would name a process group or every process.
  return process == 0 || process > INT_MAX || kill(static_cast<pid_t>(process), 0) == 0 || errno != ESRCH;
}

FileLayer& SystemFileLayer() {
  static PosixFileLayer layer;
  return layer;
}

}  // namespace quenta
