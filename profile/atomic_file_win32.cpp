#include <windows.h>

#include <vector>

#include "profile/ansi_text_win32.h"
#include "profile/atomic_file.h"

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

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Win32FileLayer final : public FileLayer {
 public:
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
    const DWORD attributes = GetFileAttributesW(WideFromAnsi(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool Remove(const std::string& path) override { return DeleteFileW(WideFromAnsi(path).c_str()) != 0; }

  bool Flush(const std::string& path) override {
    const HANDLE file =
        CreateFileW(WideFromAnsi(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    HandleCloser closer(file);
    return FlushFileBuffers(file) != 0;
  }

  bool Replace(const std::string& source, const std::string& target) override {
    const std::wstring from = WideFromAnsi(source);
    const std::wstring to = WideFromAnsi(target);
    // ReplaceFileW keeps the profile's attributes and security; it needs an existing target.
    if (Exists(to)) {
      return ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

 private:
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
};

}  // namespace

FileLayer& SystemFileLayer() {
  static Win32FileLayer layer;
  return layer;
}

}  // namespace quenta
