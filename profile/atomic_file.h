// The file operations behind the profile store's crash-safe save, behind a
// seam so that tests can make any step fail. A save writes the whole new
// document to a temp of its own beside the profile, durably, and then
// replaces the profile in one step, so the profile is always either the old
// or the new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenta {

// What is known about a file at one moment, to notice a change by someone else.
struct FileSnapshot {
  // BeingWritten: another program has the file open for writing, so what it
  // holds now says nothing of what it will hold.
  enum class State { Missing, Present, Unreadable, BeingWritten };
  State state = State::Missing;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // platform time stamp
  std::uint64_t hash = 0;     // of the bytes
};

bool operator==(const FileSnapshot& a, const FileSnapshot& b);
inline bool operator!=(const FileSnapshot& a, const FileSnapshot& b) { return !(a == b); }

// The host's narrow text naming the profile, as the file layer takes paths:
// on Windows converted once from the ANSI code page to UTF-8, so that no
// split or later conversion depends on a code page; elsewhere unchanged.
std::string FilePathFromHostText(const std::string& hostText);

// "<profile>.quenta-save.<process>-<save>-<computer>.tmp": one name per save
// of each process on each computer, so that no two writers ever share a temp.
std::string TempPathFor(const std::string& profile, std::uint32_t process, std::uint32_t save);
// Everything a profile's temps begin with.
std::string TempPrefixFor(const std::string& profile);

std::uint32_t CurrentProcessId();
// A short tag of this computer's name, to tell its temps from those of others
// that share the profile's folder.
std::uint32_t CurrentComputerTag();
// The tag of a computer's name, letter case aside.
std::uint32_t ComputerTagOf(const std::string& name);
// False only when no process of that id runs on this machine.
bool ProcessMayBeRunning(std::uint32_t process);

// One of a profile's temps as found in its folder.
struct TempFile {
  std::string path;
  std::uint32_t process = 0;  // 0: unknown
  bool otherComputer = false;
  std::int64_t modified = 0;  // platform time stamp, later is larger
  std::int64_t ageSeconds = 0;
};

// Whether what follows the prefix names a temp of ours, and whose. The names
// of earlier versions count too, as this computer's: "<process>-<save>.tmp",
// and "tmp" with process 0 (unknown).
bool ParseTempTail(const std::string& tail, TempFile& temp);

// Fast, not cryptographic: only tells whether the bytes changed.
class ByteHash {
 public:
  void Add(const char* data, std::size_t size);
  std::uint64_t Value() const;
  std::uint64_t Size() const { return total_; }

 private:
  std::uint64_t state_ = 0xcbf29ce484222325u;
  char pending_[8] = {};
  std::size_t pendingSize_ = 0;
  std::uint64_t total_ = 0;
};

class FileLayer {
 public:
  enum class Created { Written, NameTaken, Failed };
  // Changed: the target is no longer as expected, or another program writes
  // it; the source is left as it was.
  enum class Replaced { Done, Changed, Failed };

  virtual ~FileLayer() = default;
  // Missing, or present with size, time and hash; Unreadable for anything
  // that is there but cannot be read as a regular file; BeingWritten while
  // another program has it open for writing.
  virtual FileSnapshot Snapshot(const std::string& path) = 0;
  virtual bool ReadAll(const std::string& path, std::string& bytes) = 0;
  // An existing file the user or the host marked read-only.
  virtual bool IsReadOnly(const std::string& path) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Creates the file, which must not exist yet, with these bytes, on disk
  // before it returns Written. One it could not write whole is removed; one
  // written whole but not flushed or closed stays.
  virtual Created CreateDurably(const std::string& path, const std::string& bytes) = 0;
  // Puts source in place of target in one step, provided target is still as
  // `expected` (missing included) and nobody writes it: what another program
  // saved since is never written over. A failure can leave target gone from
  // its name with source still whole.
  virtual Replaced Replace(const std::string& source, const std::string& target, const FileSnapshot& expected) = 0;
  // The profile's temps in its folder.
  virtual std::vector<TempFile> TempsOf(const std::string& profile) = 0;
  // Starts the one time budget that all the retries of a save share (or of
  // putting a temp in place when a store opens).
  virtual void StartSave() {}
};

FileLayer& SystemFileLayer();

}  // namespace quenta
