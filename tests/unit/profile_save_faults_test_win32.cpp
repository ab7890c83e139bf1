// Each Win32 call of the save made to fail, one at a time, with the errors
// the file system gives: after each, the profile under its name is whole, old
// or new, and a temp is never removed while it is the only copy.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "profile/ansi_text_win32.h"
#include "profile/atomic_file_win32.h"
#include "tests/support/profile_fixture.h"

namespace quenta {
namespace {

enum class Call { Attributes, Delete, Create, OpenInPlace, Empty, Write, Flush, Close, Replace, Move };

const char* Name(Call call) {
  static const char* const kNames[] = {"Attributes", "Delete", "Create",  "OpenInPlace", "Empty",
                                       "Write",      "Flush",  "Close",   "Replace",     "Move"};
  return kNames[static_cast<int>(call)];
}

std::wstring Wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

// The real calls; the call numbered `at` fails with `error`, and so do the
// next `times - 1` calls of its kind. Time passes only in pauses.
class FaultySaveCalls : public SaveCalls {
 public:
  explicit FaultySaveCalls(const std::string& profile) : profile_(profile) {}

  void FailAt(int at, DWORD error, int times) {
    at_ = at;
    error_ = error;
    times_ = times;
  }
  int Count(Call call) const { return static_cast<int>(std::count(made.begin(), made.end(), call)); }

  std::vector<Call> made;
  bool refuseMoves = false;
  DWORD pausedMs = 0;
  int removalsOfTheOnlyCopy = 0;
  std::function<void()> duringPause;  // once, as the host would act meanwhile

  DWORD Attributes(const std::wstring& path, DWORD& attributes) override {
    if (const DWORD error = Injected(Call::Attributes)) return error;
    return SaveCalls::Attributes(path, attributes);
  }
  DWORD Delete(const std::wstring& path) override {
    if (const DWORD error = Injected(Call::Delete)) return error;
    if (IsTheOnlyCopy(std::string(path.begin(), path.end()), profile_)) ++removalsOfTheOnlyCopy;
    return SaveCalls::Delete(path);
  }
  DWORD Create(const std::wstring& path, HANDLE& file) override {
    file = INVALID_HANDLE_VALUE;
    if (const DWORD error = Injected(Call::Create)) return error;
    return SaveCalls::Create(path, file);
  }
  DWORD OpenInPlace(const std::wstring& path, HANDLE& file) override {
    file = INVALID_HANDLE_VALUE;
    if (const DWORD error = Injected(Call::OpenInPlace)) return error;
    return SaveCalls::OpenInPlace(path, file);
  }
  DWORD Empty(HANDLE file) override {
    if (const DWORD error = Injected(Call::Empty)) return error;
    return SaveCalls::Empty(file);
  }
  DWORD Write(HANDLE file, const char* data, DWORD size) override {
    const DWORD error = Injected(Call::Write);
    if (error == ERROR_SUCCESS) return SaveCalls::Write(file, data, size);
    SaveCalls::Write(file, data, size / 2);  // the disk fills up half-way
    return error;
  }
  DWORD Flush(HANDLE file) override {
    if (const DWORD error = Injected(Call::Flush)) return error;
    return SaveCalls::Flush(file);
  }
  DWORD Close(HANDLE file) override {
    const DWORD error = Injected(Call::Close);
    const DWORD closed = SaveCalls::Close(file);
    return error != ERROR_SUCCESS ? error : closed;
  }
  DWORD Replace(const std::wstring& replaced, const std::wstring& replacement) override {
    if (const DWORD error = Injected(Call::Replace)) {
      // What ReplaceFileW leaves behind when it fails there without a backup name.
      if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) DeleteFileW(replaced.c_str());
      if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileW(replaced.c_str(), (replaced + L".moved").c_str());
      return error;
    }
    return SaveCalls::Replace(replaced, replacement);
  }
  DWORD Move(const std::wstring& from, const std::wstring& to) override {
    if (const DWORD error = Injected(Call::Move)) return error;
    if (refuseMoves) return ERROR_ACCESS_DENIED;
    return SaveCalls::Move(from, to);
  }
  void Pause(DWORD milliseconds) override {
    pausedMs += milliseconds;
    if (duringPause) std::exchange(duringPause, nullptr)();
  }
  DWORD Now() override { return pausedMs; }

 private:
  DWORD Injected(Call call) {
    const int number = static_cast<int>(made.size());
    made.push_back(call);
    if (number == at_) failing_ = call;
    if (number < at_ || call != failing_ || times_ == 0) return ERROR_SUCCESS;
    --times_;
    return error_;
  }

  std::string profile_;
  int at_ = -1;
  DWORD error_ = ERROR_SUCCESS;
  int times_ = 0;
  Call failing_ = Call::Attributes;
};

const DWORD kErrors[] = {ERROR_SHARING_VIOLATION,          ERROR_ACCESS_DENIED,
                         ERROR_LOCK_VIOLATION,             ERROR_UNABLE_TO_REMOVE_REPLACED,
                         ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
                         ERROR_FILE_NOT_FOUND,             ERROR_DISK_FULL};

constexpr char kOldProfile[] = "<profile><Host>keep</Host><S><K>1</K></S></profile>";

class ProfileSaveFaultsTest : public ProfileFixture {
 protected:
  // One store that changes K from 1 to 2, over the Win32 layer on these calls.
  bool Save(FaultySaveCalls& calls) {
    const std::unique_ptr<FileLayer> files = MakeWin32FileLayer(calls);
    TestStore store(profile_, *files);
    store.SetInt("S", "K", 2);
    return store.Save();
  }

  // A clean save's calls, in order.
  std::vector<Call> CleanCalls() {
    FaultySaveCalls calls(profile_);
    Save(calls);
    return calls.made;
  }

  void Reset(bool withProfile) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) std::filesystem::remove(entry, ignored);
    if (withProfile) WriteProfile(kOldProfile);
  }

  std::string TempText() const { return Temps().size() == 1 ? ReadFile(Temps()[0].path) : std::string(); }
};

TEST_F(ProfileSaveFaultsTest, AnyCallFailingWithAnyErrorLeavesTheOldOrTheNewProfileWhole) {
  Reset(true);
  const std::vector<Call> clean = CleanCalls();
  ASSERT_GE(clean.size(), 6u);
  for (std::size_t at = 0; at < clean.size(); ++at) {
    for (DWORD error : kErrors) {
      for (int times : {1, 1000}) {
        SCOPED_TRACE(std::string(Name(clean[at])) + " #" + std::to_string(at) + " fails with " +
                     std::to_string(error) + (times == 1 ? " once" : " every time"));
        Reset(true);
        FaultySaveCalls calls(profile_);
        calls.FailAt(static_cast<int>(at), error, times);
        Save(calls);
        const std::optional<std::string> value = KeyText("S", "K");
        ASSERT_TRUE(value == "1" || value == "2") << (value ? *value : "no profile");
        EXPECT_TRUE(Has("<Host>keep</Host>"));
        EXPECT_EQ(calls.removalsOfTheOnlyCopy, 0);
      }
    }
  }
}

TEST_F(ProfileSaveFaultsTest, AFirstSaveThatFailsAnywhereLeavesTheNewProfileOrNothingAndKeepsItsTemp) {
  Reset(false);
  const std::vector<Call> clean = CleanCalls();
  ASSERT_NE(std::find(clean.begin(), clean.end(), Call::Move), clean.end());
  for (std::size_t at = 0; at < clean.size(); ++at) {
    for (DWORD error : kErrors) {
      SCOPED_TRACE(std::string(Name(clean[at])) + " #" + std::to_string(at) + " fails with " + std::to_string(error));
      Reset(false);
      FaultySaveCalls calls(profile_);
      calls.FailAt(static_cast<int>(at), error, 1000);
      Save(calls);
      EXPECT_EQ(calls.removalsOfTheOnlyCopy, 0);
      if (FileExists(profile_)) {
        EXPECT_EQ(KeyText("S", "K"), "2");
      }
      // A new profile that could not take its name stays whole in the temp,
      // and the next store puts it in place.
      if (clean[at] == Call::Move) {
        EXPECT_NE(TempText().find("<K>2</K>"), std::string::npos);
        EXPECT_TRUE(SaveOnce(profile_));
        EXPECT_EQ(KeyText("S", "K"), "2");
      }
    }
  }
}

// Both failures of ReplaceFileW that leave the profile's name empty, and then
// the move of the temp refused as well: the temp is the only copy left.
TEST_F(ProfileSaveFaultsTest, AProfileGoneFromItsNameIsRestoredFromTheTempNowOrAtTheNextStart) {
  for (DWORD error : {ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}) {
    for (bool moveRefused : {false, true}) {
      SCOPED_TRACE(std::to_string(error) + (moveRefused ? ", then the move refused" : ""));
      Reset(true);
      const std::vector<Call> clean = CleanCalls();
      Reset(true);
      FaultySaveCalls calls(profile_);
      calls.FailAt(static_cast<int>(std::find(clean.begin(), clean.end(), Call::Replace) - clean.begin()), error, 1);
      calls.refuseMoves = moveRefused;
      Save(calls);
      EXPECT_EQ(calls.removalsOfTheOnlyCopy, 0);
      if (moveRefused) {
        EXPECT_FALSE(FileExists(profile_));
        EXPECT_NE(TempText().find("<K>2</K>"), std::string::npos);
        EXPECT_NE(TempText().find("<Host>keep</Host>"), std::string::npos);
        EXPECT_TRUE(SaveOnce(profile_));  // the next start, with the file system willing again
      }
      EXPECT_EQ(KeyText("S", "K"), "2");
      EXPECT_TRUE(Has("<Host>keep</Host>"));
      EXPECT_TRUE(Temps().empty());
    }
  }
}

// A scanner holding the new temp, then its move refused: all the waits of one
// save together stay within the budget.
TEST_F(ProfileSaveFaultsTest, AllTheRetriesOfOneSaveShareAHundredMilliseconds) {
  Reset(false);
  const std::vector<Call> clean = CleanCalls();
  Reset(false);
  FaultySaveCalls calls(profile_);
  calls.FailAt(static_cast<int>(std::find(clean.begin(), clean.end(), Call::Create) - clean.begin()),
               ERROR_SHARING_VIOLATION, 3);
  calls.refuseMoves = true;
  Save(calls);
  EXPECT_EQ(calls.Count(Call::Create), 4);
  EXPECT_EQ(calls.pausedMs, 100u);
  EXPECT_NE(TempText().find("<K>2</K>"), std::string::npos);  // no profile beside it: kept
}

// The host holds its profile open without delete sharing, as some hosts do:
// no replace gets past that, a write in place does. One cut short keeps the
// whole temp, and the next start puts it in place.
TEST_F(ProfileSaveFaultsTest, AProfileHeldWithoutDeleteSharingIsWrittenInPlace) {
  int writeInPlace = -1;  // its number among the calls, from the first round
  for (bool cutShort : {false, true}) {
    Reset(true);
    const HANDLE host = CreateFileW(Wide(profile_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    FaultySaveCalls calls(profile_);
    calls.FailAt(writeInPlace, ERROR_DISK_FULL, cutShort ? 1 : 0);
    Save(calls);
    writeInPlace = static_cast<int>(
        std::find(std::find(calls.made.begin(), calls.made.end(), Call::OpenInPlace), calls.made.end(), Call::Write) -
        calls.made.begin());
    EXPECT_EQ(calls.Count(Call::OpenInPlace), 1);
    EXPECT_EQ(calls.removalsOfTheOnlyCopy, 0);
    if (cutShort) {
      EXPECT_FALSE(KeyText("S", "K"));
      EXPECT_NE(TempText().find("<K>2</K>"), std::string::npos);
      EXPECT_TRUE(SaveOnce(profile_));
    }
    CloseHandle(host);
    EXPECT_EQ(KeyText("S", "K"), "2");
    EXPECT_TRUE(Temps().empty());
  }
}

// Each try of a refused replace looks at the profile again: a save the host
// finished during a pause, while it holds the profile open, is merged and
// written in place, never written over.
TEST_F(ProfileSaveFaultsTest, ARefusedReplaceLooksAgainBeforeEachTryAndKeepsTheHostsSave) {
  Reset(true);
  const HANDLE host = CreateFileW(Wide(profile_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  FaultySaveCalls calls(profile_);
  calls.duringPause = [&] {
    const HANDLE saving = CreateFileW(Wide(profile_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, TRUNCATE_EXISTING, 0, nullptr);
    const std::string hostsSave = "<profile><Host>v2</Host><S><K>1</K></S></profile>";
    DWORD put = 0;
    ::WriteFile(saving, hostsSave.data(), static_cast<DWORD>(hostsSave.size()), &put, nullptr);
    CloseHandle(saving);
  };
  EXPECT_TRUE(Save(calls));
  CloseHandle(host);
  EXPECT_EQ(calls.Count(Call::OpenInPlace), 1);
  EXPECT_EQ(KeyText("S", "K"), "2");
  EXPECT_TRUE(Has("<Host>v2</Host>"));
  EXPECT_TRUE(Temps().empty());
}

// The host names its profile in its ANSI code page, where the second byte of
// 表 (0x95 0x5C) is a backslash. ctest runs this case under that code page.
TEST_F(ProfileSaveFaultsTest, AProfileNamedInADoubleByteCodePageSavesAndComesBack) {
  if (GetACP() != 932) {
    if (std::getenv("QUENTA_CODE_PAGE_932") != nullptr) FAIL() << "the ANSI code page is " << GetACP();
    GTEST_SKIP() << "needs the ANSI code page 932, as unit_tests_code_page_932 runs it";
  }
  const std::string name = folder_.Path() + "\\\x95\x5C.xml";
  const std::filesystem::path profile = WideFromAnsi(name);
  ASSERT_EQ(profile.filename(), L"\x8868.xml");
  std::ofstream(std::filesystem::path(WideFromAnsi(TempPathFor(name, kGoneProcess, 1))), std::ios::binary)
      << kOldProfile;
  {
    ProfileStore store(name);
    EXPECT_EQ(store.GetInt("S", "K", 0), 1);  // put back from the temp, the only whole copy
    store.SetInt("S", "K", 2);
    EXPECT_TRUE(store.Save());
  }
  std::stringstream saved;
  saved << std::ifstream(profile, std::ios::binary).rdbuf();
  EXPECT_NE(saved.str().find("<K>2</K>"), std::string::npos) << saved.str();
  EXPECT_NE(saved.str().find("<Host>keep</Host>"), std::string::npos) << saved.str();
  EXPECT_EQ(folder_.EntryCount(), 1);
}

// A temp that another save is still writing cannot even be read: it is not
// put in the place of a missing profile, nor waited for.
TEST_F(ProfileSaveFaultsTest, ATempUnderWayIsNeitherPutInPlaceNorWaitedFor) {
  Reset(false);
  const std::string underWay = TempPathFor(profile_, CurrentProcessId(), 999);
  WriteFile(underWay, kOldProfile);
  const HANDLE writer = CreateFileW(Wide(underWay).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FaultySaveCalls calls(profile_);
  Save(calls);
  CloseHandle(writer);
  EXPECT_EQ(KeyText("S", "K"), "2");
  EXPECT_EQ(ReadFile(underWay), kOldProfile);
  EXPECT_EQ(calls.pausedMs, 0u);
}

}  // namespace
}  // namespace quenta
