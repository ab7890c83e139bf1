#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

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

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() { close(fd_); }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

// A read lease is refused while any process has the file open for writing,
// and while it is held a writer's open waits: what the file holds cannot
// change under it. Where leases are not offered, nothing is known.
class ReadLease {
 public:
  explicit ReadLease(int fd) : fd_(fd) {
    // A writer's open breaks the lease with a signal; the default one, SIGIO,
    // would end the process. Releasing a lease forgets this, so it is set each time.
    fcntl(fd, F_SETSIG, SIGURG);
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
      held_ = true;
    } else {
      refused_ = errno == EAGAIN;
    }
  }
  ~ReadLease() {
    if (held_) fcntl(fd_, F_SETLEASE, F_UNLCK);
  }
  ReadLease(const ReadLease&) = delete;
  ReadLease& operator=(const ReadLease&) = delete;

  bool Refused() const { return refused_; }
  // False once a writer's open waits for the lease.
  bool Undisturbed() const { return !held_ || fcntl(fd_, F_GETLEASE) == F_RDLCK; }

 private:
  int fd_;
  bool held_ = false;
  bool refused_ = false;
};

class PosixFileLayer final : public FileLayer {
 public:
  FileSnapshot Snapshot(const std::string& path) override {
    FileSnapshot snapshot;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      snapshot.state = errno == ENOENT ? FileSnapshot::State::Missing : FileSnapshot::State::Unreadable;
      return snapshot;
    }
    FdCloser closer(fd);
    const ReadLease lease(fd);
    if (lease.Refused()) {
      snapshot.state = FileSnapshot::State::BeingWritten;
    } else {
      snapshot.state = ReadInto(fd, snapshot) ? FileSnapshot::State::Present : FileSnapshot::State::Unreadable;
    }
    return snapshot;
  }

  bool ReadAll(const std::string& path, std::string& bytes) override {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
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

  Replaced Replace(const std::string& source, const std::string& target, const FileSnapshot& expected) override {
    if (expected.state == FileSnapshot::State::Missing) {
      // A new profile never takes the place of one that appeared meanwhile.
      if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
        return errno == EEXIST ? Replaced::Changed : Replaced::Failed;
      SyncFolderOf(target);
      return Replaced::Done;
    }
    const int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Replaced::Changed : Replaced::Failed;
    FdCloser closer(fd);
    // From here to the end the lease keeps writers out, so what is checked stays true.
    const ReadLease lease(fd);
    FileSnapshot now;
    now.state = FileSnapshot::State::Present;
    if (lease.Refused() || !ReadInto(fd, now) || now != expected) return Replaced::Changed;
    struct stat info;
    if (fstat(fd, &info) == 0) chmod(source.c_str(), info.st_mode & 07777);
    // Exchanged, the old profile keeps a name until it is known that no one writes it.
    const bool exchanged = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0;
    if (!exchanged && ((errno != EINVAL && errno != ENOSYS) || rename(source.c_str(), target.c_str()) != 0))
      return Replaced::Failed;
    if (exchanged && !lease.Undisturbed()) {
      // A program that opened the old profile to write it just before the
      // exchange waits for the lease: its save must land under the name.
      if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        unlink(source.c_str());
        return Replaced::Changed;
      }
    }
    if (exchanged) unlink(source.c_str());
    SyncFolderOf(target);
    return Replaced::Done;
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
      if (name.compare(0, prefix.size(), prefix) != 0 || !ParseTempTail(name.substr(prefix.size()), temp) ||
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

std::string FilePathFromHostText(const std::string& hostText) { return hostText; }

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t CurrentComputerTag() {
  static const std::uint32_t tag = [] {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return ComputerTagOf(name);
  }();
  return tag;
}

bool ProcessMayBeRunning(std::uint32_t process) {
  // 0 and ids beyond pid_t would name a process group or every process.
  return process == 0 || process > INT_MAX || kill(static_cast<pid_t>(process), 0) == 0 || errno != ESRCH;
}

FileLayer& SystemFileLayer() {
  static PosixFileLayer layer;
  return layer;
}

}  // namespace quenta
