// The Win32 calls of the profile's save, one virtual function each. The
// defaults make the real calls; tests override any of them to make it fail
// with any error, as a fault-injecting file system would.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "profile/atomic_file.h"

namespace quenta {

// Each call returns ERROR_SUCCESS or the error the system reported.
class SaveCalls {
 public:
  virtual ~SaveCalls() = default;
  virtual DWORD Attributes(const std::wstring& path, DWORD& attributes);
  virtual DWORD Delete(const std::wstring& path);
  // Creates the file, which must not exist yet, for writing, shared with nobody.
  virtual DWORD Create(const std::wstring& path, HANDLE& file);
  // Opens the existing file for reading and writing, sharing reading only:
  // refused while another program writes it, and keeps others from writing.
  virtual DWORD OpenInPlace(const std::wstring& path, HANDLE& file);
  // Empties an open file.
  virtual DWORD Empty(HANDLE file);
  virtual DWORD Write(HANDLE file, const char* data, DWORD size);
  virtual DWORD Flush(HANDLE file);
  virtual DWORD Close(HANDLE file);
  // ReplaceFileW without a backup name.
  virtual DWORD Replace(const std::wstring& replaced, const std::wstring& replacement);
  // MoveFileExW to a name that is free.
  virtual DWORD Move(const std::wstring& from, const std::wstring& to);
  virtual void Pause(DWORD milliseconds);
  // Milliseconds since some fixed moment.
  virtual DWORD Now();
};

// The save's file layer over these calls.
std::unique_ptr<FileLayer> MakeWin32FileLayer(SaveCalls& calls);

}  // namespace quenta
