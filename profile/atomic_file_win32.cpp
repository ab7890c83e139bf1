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

constexpr int kTries = 5;
// 100 ms in all: the save runs on the host's UI thread.
constexpr DWORD kPauses[kTries - 1] = {10, 20, 30, 40};

template <typename Call>
DWORD Retried(SaveCalls& calls, Call call) {
  DWORD error = call();
  for (int pause = 0; IsPassing(error) && pause < kTries - 1; ++pause) {
    calls.Pause(kPauses[pause]);
    error = call();
  }
  return error;
}

class Win32FileLayer final : public FileLayer {
 public:
  explicit Win32FileLayer(SaveCalls& calls) : calls_(calls) {}

  FileSnapshot Snapshot(const std::string& path) override {
    FileSnapshot snapshot;
    // Share everything: the host may hold the profile open while we look.
    const HANDLE file = CreateFileW(WideFromAnsi(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

  bool IsReadOnly(const std::string& path) override {
    DWORD attributes = 0;
    return calls_.Attributes(WideFromAnsi(path), attributes) == ERROR_SUCCESS &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool Remove(const std::string& path) override {
    const std::wstring wide = WideFromAnsi(path);
    return Retried(calls_, [&] { return calls_.Delete(wide); }) == ERROR_SUCCESS;
  }

  bool WriteDurably(const std::string& path, const std::string& bytes) override {
    const std::wstring wide = WideFromAnsi(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (Retried(calls_, [&] { return calls_.Create(wide, file); }) != ERROR_SUCCESS) return false;
    constexpr std::size_t kChunk = 1 << 20;
    DWORD error = ERROR_SUCCESS;
    for (std::size_t at = 0; error == ERROR_SUCCESS && at < bytes.size(); at += kChunk) {
      const std::size_t size = bytes.size() - at < kChunk ? bytes.size() - at : kChunk;
      error = calls_.Write(file, bytes.data() + at, static_cast<DWORD>(size));
    }
    if (error == ERROR_SUCCESS) error = calls_.Flush(file);
    const DWORD closed = calls_.Close(file);
    return error == ERROR_SUCCESS && closed == ERROR_SUCCESS;
  }

  bool Replace(const std::string& source, const std::string& target) override {
    const std::wstring from = WideFromAnsi(source);
    const std::wstring to = WideFromAnsi(target);
    return Retried(calls_, [&] { return PutInPlace(from, to); }) == ERROR_SUCCESS;
  }

 private:
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
    snapshot.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                                  info.ftLastWriteTime.dwLowDateTime);
    ByteHash hash;
    std::vector<char> chunk(65536);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) return false;
      if (got == 0) break;
      hash.Add(chunk.data(), got);
      snapshot.size += got;
    }
    snapshot.hash = hash.Value();
    return true;
  }

  SaveCalls& calls_;
};

DWORD ErrorUnless(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

DWORD SaveCalls::Attributes(const std::wstring& path, DWORD& attributes) {
  attributes = GetFileAttributesW(path.c_str());
  return ErrorUnless(attributes != INVALID_FILE_ATTRIBUTES);
}

DWORD SaveCalls::Delete(const std::wstring& path) { return ErrorUnless(DeleteFileW(path.c_str())); }

DWORD SaveCalls::Create(const std::wstring& path, HANDLE& file) {
  file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

std::unique_ptr<FileLayer> MakeWin32FileLayer(SaveCalls& calls) { return std::make_unique<Win32FileLayer>(calls); }

FileLayer& SystemFileLayer() {
  static SaveCalls calls;
  static Win32FileLayer layer(calls);
  return layer;
}

}  // namespace quenta
