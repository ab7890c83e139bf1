#include <windows.h>

#include <vector>

#include "profile/ansi_text_win32.h"
#include "profile/atomic_file_win32.h"

namespace quenta {

namespace {

class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  HANDLE handle_;
};

// Antivirus, indexers and the host itself open the profile and the temp file
// briefly; a save that meets one of them tries again a little later.
bool IsPassing(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// The save runs on the host's UI thread, which polls the pendant: all the
// waits of one save together stay within this.
constexpr DWORD kSaveBudgetMs = 100;
constexpr DWORD kFirstPauseMs = 5;

std::int64_t Stamp(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// Hands the file's bytes to `take` chunk by chunk.
template <typename Take>
bool ReadChunks(HANDLE file, Take take) {
  std::vector<char> chunk(65536);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) return false;
    if (got == 0) return true;
    take(chunk.data(), got);
  }
}

// Shares everything: the host may hold the file open while we look.
HANDLE OpenToRead(const std::string& path) {
  return CreateFileW(WideFromAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

class Win32FileLayer final : public FileLayer {
 public:
  explicit Win32FileLayer(SaveCalls& calls) : calls_(calls) {}

  FileSnapshot Snapshot(const std::string& path) override {
    FileSnapshot snapshot;
    const HANDLE file = OpenToRead(path);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      snapshot.state = missing ? FileSnapshot::State::Missing : FileSnapshot::State::Unreadable;
      return snapshot;
    }
    HandleCloser closer(file);
    snapshot.state = ReadInto(file, snapshot) ? FileSnapshot::State::Present : FileSnapshot::State::Unreadable;
    return snapshot;
  }

  bool ReadAll(const std::string& path, std::string& bytes) override {
    bytes.clear();
    const HANDLE file = OpenToRead(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    HandleCloser closer(file);
    return ReadChunks(file, [&](const char* data, DWORD size) { bytes.append(data, size); });
  }

  bool IsReadOnly(const std::string& path) override {
    DWORD attributes = 0;
    return calls_.Attributes(WideFromAnsi(path), attributes) == ERROR_SUCCESS &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool Remove(const std::string& path) override {
    const std::wstring wide = WideFromAnsi(path);
    return Retried([&] { return calls_.Delete(wide); }) == ERROR_SUCCESS;
  }

  Created CreateDurably(const std::string& path, const std::string& bytes) override {
    const std::wstring wide = WideFromAnsi(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    const DWORD opened = Retried([&] { return calls_.Create(wide, file); });
    if (opened == ERROR_FILE_EXISTS || opened == ERROR_ALREADY_EXISTS) return Created::NameTaken;
    if (opened != ERROR_SUCCESS) return Created::Failed;
    bool cut = false;
    if (WriteAndClose(file, bytes, cut)) return Created::Written;
    if (cut) Retried([&] { return calls_.Delete(wide); });
    return Created::Failed;
  }

  bool Replace(const std::string& source, const std::string& target) override {
    const std::wstring from = WideFromAnsi(source);
    const std::wstring to = WideFromAnsi(target);
    const DWORD error = Retried([&] { return PutInPlace(from, to); });
    if (error == ERROR_SUCCESS) return true;
    // Still refused: the profile is held open without delete sharing, which
    // no replace gets past while it lasts; a write in place does.
    return (error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED) &&
           WriteInPlace(source, to);
  }

  std::vector<TempFile> TempsOf(const std::string& profile) override {
    std::vector<TempFile> temps;
    const std::string prefix = TempPrefixFor(profile);
    const std::string folder = prefix.substr(0, prefix.find_last_of("\\/:") + 1);
    const std::wstring namePrefix = WideFromAnsi(prefix.substr(folder.size()));
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(WideFromAnsi(prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return temps;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    do {
      const std::wstring name = found.cFileName;
      const int prefixLength = static_cast<int>(namePrefix.size());
      TempFile temp;
      // The pattern also matches short names, and names match without regard to case.
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.size() <= namePrefix.size() ||
          CompareStringOrdinal(name.c_str(), prefixLength, namePrefix.c_str(), prefixLength, TRUE) != CSTR_EQUAL ||
          !ParseTempTail(AnsiFromWide(name.c_str() + prefixLength, static_cast<int>(name.size()) - prefixLength),
                         temp.process))
        continue;
      temp.path = folder + AnsiFromWide(name.c_str(), static_cast<int>(name.size()));
      temp.modified = Stamp(found.ftLastWriteTime);
      temp.ageSeconds = (Stamp(now) - temp.modified) / 10000000;
      temps.push_back(temp);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return temps;
  }

  void StartSave() override { saveStarted_ = calls_.Now(); }

 private:
  DWORD BudgetLeft() {
    const DWORD spent = calls_.Now() - saveStarted_;
    return spent < kSaveBudgetMs ? kSaveBudgetMs - spent : 0;
  }

  template <typename Call>
  DWORD Retried(Call call) {
    DWORD error = call();
    for (DWORD pause = kFirstPauseMs; IsPassing(error); pause *= 2) {
      const DWORD left = BudgetLeft();
      if (left == 0) break;
      calls_.Pause(pause < left ? pause : left);
      error = call();
    }
    return error;
  }

  // Writes and flushes the bytes, then closes the file in any case; `cut`
  // tells a write that stopped short.
  bool WriteAndClose(HANDLE file, const std::string& bytes, bool& cut) {
    constexpr std::size_t kChunk = 1 << 20;
    DWORD error = ERROR_SUCCESS;
    for (std::size_t at = 0; error == ERROR_SUCCESS && at < bytes.size(); at += kChunk) {
      const std::size_t size = bytes.size() - at < kChunk ? bytes.size() - at : kChunk;
      error = calls_.Write(file, bytes.data() + at, static_cast<DWORD>(size));
    }
    cut = error != ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) error = calls_.Flush(file);
    const DWORD closed = calls_.Close(file);
    return error == ERROR_SUCCESS && closed == ERROR_SUCCESS;
  }

  // The temp, whole, stays the backup until the profile's new bytes are on
  // disk: a write cut short leaves a profile that the next start sees as the
  // beginning of the temp, and puts the temp in its place.
  bool WriteInPlace(const std::string& source, const std::wstring& to) {
    std::string bytes;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool cut = false;
    if (!ReadAll(source, bytes) || calls_.OpenInPlace(to, file) != ERROR_SUCCESS || !WriteAndClose(file, bytes, cut))
      return false;
    Remove(source);
    return true;
  }

  // ReplaceFileW keeps the profile's attributes and security; it needs an existing target.
  DWORD PutInPlace(const std::wstring& from, const std::wstring& to) {
    DWORD attributes = 0;
    if (calls_.Attributes(to, attributes) != ERROR_FILE_NOT_FOUND) {
      const DWORD error = calls_.Replace(to, from);
      // 1176 and 1177 leave the profile gone from its name (1177 keeps it
      // under another one) and the temp whole; so does a profile that vanished
      // since the look-up. The temp then takes the free name.
      if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
          error != ERROR_FILE_NOT_FOUND)
        return error;
    }
    return calls_.Move(from, to);
  }

  static bool ReadInto(HANDLE file, FileSnapshot& snapshot) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    snapshot.modified = Stamp(info.ftLastWriteTime);
    ByteHash hash;
    if (!ReadChunks(file, [&](const char* data, DWORD size) { hash.Add(data, size); })) return false;
    snapshot.size = hash.Size();
    snapshot.hash = hash.Value();
    return true;
  }

  SaveCalls& calls_;
  DWORD saveStarted_ = 0;
};

DWORD ErrorUnless(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

DWORD SaveCalls::Attributes(const std::wstring& path, DWORD& attributes) {
  attributes = GetFileAttributesW(path.c_str());
  return ErrorUnless(attributes != INVALID_FILE_ATTRIBUTES);
}

DWORD SaveCalls::Delete(const std::wstring& path) { return ErrorUnless(DeleteFileW(path.c_str())); }

DWORD SaveCalls::Create(const std::wstring& path, HANDLE& file) {
  file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  return ErrorUnless(file != INVALID_HANDLE_VALUE);
}

DWORD SaveCalls::OpenInPlace(const std::wstring& path, HANDLE& file) {
  file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, TRUNCATE_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
  return ErrorUnless(file != INVALID_HANDLE_VALUE);
}

DWORD SaveCalls::Write(HANDLE file, const char* data, DWORD size) {
  DWORD put = 0;
  if (!WriteFile(file, data, size, &put, nullptr)) return GetLastError();
  return put == size ? ERROR_SUCCESS : ERROR_HANDLE_DISK_FULL;
}

DWORD SaveCalls::Flush(HANDLE file) { return ErrorUnless(FlushFileBuffers(file)); }

DWORD SaveCalls::Close(HANDLE file) { return ErrorUnless(CloseHandle(file)); }

DWORD SaveCalls::Replace(const std::wstring& replaced, const std::wstring& replacement) {
  return ErrorUnless(ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                  nullptr, nullptr));
}

DWORD SaveCalls::Move(const std::wstring& from, const std::wstring& to) {
  return ErrorUnless(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH));
}

void SaveCalls::Pause(DWORD milliseconds) { Sleep(milliseconds); }

DWORD SaveCalls::Now() { return GetTickCount(); }

std::unique_ptr<FileLayer> MakeWin32FileLayer(SaveCalls& calls) { return std::make_unique<Win32FileLayer>(calls); }

FileLayer& SystemFileLayer() {
  static SaveCalls calls;
  static Win32FileLayer layer(calls);
  return layer;
}

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessMayBeRunning(std::uint32_t process) {
  if (process == 0) return true;
  const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
  CloseHandle(handle);
  return running;
}

}  // namespace quenta
