// The file operations behind the profile store's crash-safe save, behind a
// seam so that tests can make any step fail. A save writes the whole new
// document to TempPathFor(profile), durably, and then replaces the profile in
// one step, so the profile is always either the old or the new one.
#pragma once

#include <cstdint>
#include <string>

namespace quenta {

// What is known about a file at one moment, to notice a change by someone else.
struct FileSnapshot {
  enum class State { Missing, Present, Unreadable };
  State state = State::Missing;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // platform time stamp, compared only for equality
  std::uint64_t hash = 0;     // of the bytes
};

bool operator==(const FileSnapshot& a, const FileSnapshot& b);
inline bool operator!=(const FileSnapshot& a, const FileSnapshot& b) { return !(a == b); }

// A fixed name beside the profile, so that one left by a crash is found again.
std::string TempPathFor(const std::string& path);

// Fast, not cryptographic: only tells whether the bytes changed.
class ByteHash {
 public:
  void Add(const char* data, std::size_t size);
  std::uint64_t Value() const;

 private:
  std::uint64_t state_ = 0xcbf29ce484222325u;
  char pending_[8] = {};
  std::size_t pendingSize_ = 0;
  std::uint64_t total_ = 0;
};

class FileLayer {
 public:
  virtual ~FileLayer() = default;
  // Missing, or present with size, time and hash; Unreadable for anything
  // that is there but cannot be read as a regular file.
  virtual FileSnapshot Snapshot(const std::string& path) = 0;
  // An existing file the user or the host marked read-only.
  virtual bool IsReadOnly(const std::string& path) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Creates the file afresh with these bytes, on disk before it returns true.
  virtual bool WriteDurably(const std::string& path, const std::string& bytes) = 0;
  // Puts source in place of target in one step (target may be missing). A
  // failure can leave target gone from its name with source still whole.
  virtual bool Replace(const std::string& source, const std::string& target) = 0;
};

FileLayer& SystemFileLayer();

}  // namespace quenta
