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
  return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Shares reading only: refused while another program has the file open for
// writing, and while it is open no one else can open it so.
HANDLE OpenUnwritten(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                     nullptr);
}

class Win32FileLayer final : public FileLayer {
 public:
  explicit Win32FileLayer(SaveCalls& calls) : calls_(calls) {}

  FileSnapshot Snapshot(const std::string& path) override { return SnapshotOf(WideFromUtf8(path)); }

  bool ReadAll(const std::string& path, std::string& bytes) override {
    bytes.clear();
    const HANDLE file = OpenToRead(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    HandleCloser closer(file);
    return ReadChunks(file, [&](const char* data, DWORD size) { bytes.append(data, size); });
  }

  bool IsReadOnly(const std::string& path) override {
    DWORD attributes = 0;
    return calls_.Attributes(WideFromUtf8(path), attributes) == ERROR_SUCCESS &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool Remove(const std::string& path) override {
    const std::wstring wide = WideFromUtf8(path);
    return Retried([&] { return calls_.Delete(wide); }) == ERROR_SUCCESS;
  }

  Created CreateDurably(const std::string& path, const std::string& bytes) override {
    const std::wstring wide = WideFromUtf8(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    const DWORD opened = Retried([&] { return calls_.Create(wide, file); });
    if (opened == ERROR_FILE_EXISTS || opened == ERROR_ALREADY_EXISTS) return Created::NameTaken;
    if (opened != ERROR_SUCCESS) return Created::Failed;
    bool cut = false;
    if (WriteAndClose(file, bytes, cut)) return Created::Written;
    if (cut) Retried([&] { return calls_.Delete(wide); });
    return Created::Failed;
  }

  Replaced Replace(const std::string& source, const std::string& target, const FileSnapshot& expected) override {
    const std::wstring from = WideFromUtf8(source);
    const std::wstring to = WideFromUtf8(target);
    const bool fresh = expected.state == FileSnapshot::State::Missing;
    bool movedAway = false;  // our own replace took the profile from its name: the temp must take it
    DWORD error = ERROR_SUCCESS;
    // Each try looks again first: a save the host finished during a pause is
    // never written over with a document made before it.
    for (DWORD pause = kFirstPauseMs;; pause *= 2) {
      if (!movedAway && SnapshotOf(to) != expected) return Replaced::Changed;
      error = fresh || movedAway ? calls_.Move(from, to) : ReplaceOrMove(from, to, movedAway);
      const DWORD left = BudgetLeft();
      if (!IsPassing(error) || left == 0) break;
      calls_.Pause(pause < left ? pause : left);
    }
    if (error == ERROR_SUCCESS) return Replaced::Done;
    if (movedAway) return Replaced::Failed;
    // A new profile meets one that appeared meanwhile; an old one vanished.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || (!fresh && error == ERROR_FILE_NOT_FOUND))
      return Replaced::Changed;
    // Still refused: the profile is held open without delete sharing, which
    // no replace gets past while it lasts; a write in place does.
    if (!fresh && (error == ERROR_SHARING_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED))
      return WriteInPlace(source, to, expected);
    return Replaced::Failed;
  }

  std::vector<TempFile> TempsOf(const std::string& profile) override {
    std::vector<TempFile> temps;
    const std::wstring prefix = WideFromUtf8(TempPrefixFor(profile));
    const std::wstring folder = prefix.substr(0, FileNameStart(prefix));
    const std::wstring namePrefix = prefix.substr(folder.size());
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((prefix + L"*").c_str(), &found);
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
          !ParseTempTail(Utf8FromWide(name.substr(namePrefix.size())), temp))
        continue;
      temp.path = Utf8FromWide(folder + name);
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

  FileSnapshot SnapshotOf(const std::wstring& path) {
    FileSnapshot snapshot;
    const HANDLE file = OpenUnwritten(path);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      snapshot.state = missing                             ? FileSnapshot::State::Missing
                       : error == ERROR_SHARING_VIOLATION ? FileSnapshot::State::BeingWritten
                                                          : FileSnapshot::State::Unreadable;
      return snapshot;
    }
    HandleCloser closer(file);
    snapshot.state = ReadInto(file, snapshot) ? FileSnapshot::State::Present : FileSnapshot::State::Unreadable;
    return snapshot;
  }

  // The temp, whole, stays the backup until the profile's new bytes are on
  // disk: a write cut short leaves a profile that the next start sees as the
  // beginning of the temp, and puts the temp in its place. The profile is
  // checked and written under one handle that keeps other writers out.
  Replaced WriteInPlace(const std::string& source, const std::wstring& to, const FileSnapshot& expected) {
    std::string bytes;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!ReadAll(source, bytes)) return Replaced::Failed;
    const DWORD opened = calls_.OpenInPlace(to, file);
    if (opened != ERROR_SUCCESS) return opened == ERROR_SHARING_VIOLATION ? Replaced::Changed : Replaced::Failed;
    FileSnapshot now;
    now.state = FileSnapshot::State::Present;
    if (!ReadInto(file, now) || now != expected) {
      calls_.Close(file);
      return Replaced::Changed;
    }
    bool cut = false;
    if (calls_.Empty(file) != ERROR_SUCCESS) {
      calls_.Close(file);
      return Replaced::Failed;
    }
    if (!WriteAndClose(file, bytes, cut)) return Replaced::Failed;
    Remove(source);
    return Replaced::Done;
  }

  // ReplaceFileW keeps the profile's attributes and security.
  DWORD ReplaceOrMove(const std::wstring& from, const std::wstring& to, bool& movedAway) {
    const DWORD error = calls_.Replace(to, from);
    // 1176 and 1177 leave the profile gone from its name (1177 keeps it under
    // another one) and the temp whole: the temp then takes the free name.
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) return error;
    movedAway = true;
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
  file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
  return ErrorUnless(file != INVALID_HANDLE_VALUE);
}

DWORD SaveCalls::Empty(HANDLE file) {
  LARGE_INTEGER start;
  start.QuadPart = 0;
  return ErrorUnless(SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file));
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

std::string FilePathFromHostText(const std::string& hostText) { return Utf8FromWide(WideFromAnsi(hostText)); }

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::uint32_t CurrentComputerTag() {
  static const std::uint32_t tag = [] {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) length = 0;
    return ComputerTagOf(Utf8FromWide(std::wstring(name, length)));
  }();
  return tag;
}

bool ProcessMayBeRunning(std::uint32_t process) {
  if (process == 0) return true;
  const HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
  CloseHandle(handle);
  return running;
}

}  // namespace quenta
