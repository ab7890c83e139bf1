// The plug-in boundary of the real DLL: exports, title and string ownership,
// the hidden window's life, the no-effect exports and COM self-registration.
#include <set>

#include "sim/whole_file.h"
#include "tests/wine/wine_test_fixture.h"

namespace quenta::wine {
namespace {

std::set<std::string> ExportTableNames(HMODULE module) {
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> result;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) result.insert(reinterpret_cast<const char*>(base + names[i]));
  return result;
}

TEST_F(WinePluginTest, ExportsExactlyTheHostsEntryPointsUndecorated) {
  EXPECT_EQ(driver->Dll().Missing(), "");
  const std::set<std::string> expected(std::begin(kExportNames), std::end(kExportNames));
  EXPECT_EQ(ExportTableNames(driver->Dll().Module()), expected);
}

TEST_F(WinePluginTest, TitleComesFromTheModuleNameAndTheNameStringIsReleasedOnce) {
  const int liveBefore = host.Strings().Live();
  EXPECT_EQ(Start(), "Quenta Pendant --Orbelin Ver 1.0");
  EXPECT_EQ(host.Strings().Live(), liveBefore);
  EXPECT_EQ(host.Strings().badFrees, 0);

  // A second call with a name the host still shares: one reference dropped, nothing freed.
  FrameworkString shared = host.MakeString(profilePath);
  StringData* data = StringData::FromChars(shared.chars);
  data->refs = 2;
  const int allocationsBefore = host.Strings().allocations;
  const int freesBefore = host.Strings().frees;
  EXPECT_STREQ(driver->Dll()->SetProName(shared), "Quenta Pendant --Orbelin Ver 1.0");
  EXPECT_EQ(data->refs, 1);
  EXPECT_EQ(host.Strings().frees, freesBefore);
  EXPECT_EQ(host.Strings().allocations, allocationsBefore);
  EXPECT_EQ(std::string(shared.chars, static_cast<std::size_t>(data->dataLength)), profilePath);
  data->manager->Free(data);
  EXPECT_EQ(host.Strings().badFrees, 0);
}

TEST_F(WinePluginTest, SetProNameCreatesAMissingProfileAndStartUpAddsNoSectionToIt) {
  driver->Dll()->SetProName(host.MakeString(profilePath));
  ASSERT_TRUE(GetFileAttributesA(profilePath.c_str()) != INVALID_FILE_ATTRIBUTES) << "SetProName wrote nothing";
  Start();
  const std::string text = sim::ReadWholeFile(profilePath).value_or(std::string());
  EXPECT_NE(text.find("<profile"), std::string::npos) << text;
  EXPECT_EQ(text.find("Quenta"), std::string::npos) << "start-up only reads the settings";
}

TEST_F(WinePluginTest, InitControlMakesAnInvisibleTenByTenChildWithIdOne) {
  auto& dll = driver->Dll();
  dll->InitControl(host.HostBlock1(), host.HostBlock2(), host.HostBlock3(), driver->View().FrameworkObject());
  HWND child = driver->View().PluginWindow();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), driver->View().Window());
  EXPECT_EQ(GetDlgCtrlID(child), 1);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE)), static_cast<DWORD>(WS_CHILD));
  EXPECT_FALSE(IsWindowVisible(child));
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, driver->View().Window(), reinterpret_cast<POINT*>(&rect), 2);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 10);
  EXPECT_EQ(rect.bottom - rect.top, 10);
  dll->StopPlug();
}

TEST_F(WinePluginTest, InitControlReportsSuccessEvenWithoutAWindowToParentIt) {
  EXPECT_TRUE(driver->Dll()->InitControl(nullptr, nullptr, nullptr, nullptr));
  driver->Dll()->PostInitControl();  // no window: no timer, no notification, no crash
  driver->Dll()->StopPlug();
}

TEST_F(WinePluginTest, StopPlugDestroysTheWindowAndIsSafeTwiceAndBeforeInitControl) {
  driver->Dll()->StopPlug();  // before InitControl
  Start();
  HWND child = driver->View().PluginWindow();
  ASSERT_NE(child, nullptr);
  driver->Stop();
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(driver->View().PluginWindow(), nullptr);
  EXPECT_EQ(driver->Pendants().front()->Clients(), 0);  // the pendant's handles are closed
  driver->Stop();
}

TEST_F(WinePluginTest, PostInitControlStartsThePollTimerWithOrWithoutAPendant) {
  driver->SetPendantCount(0);
  Start();
  EXPECT_TRUE(driver->TimerWasStarted());
}

TEST_F(WinePluginTest, TheSevenNoEffectExportsCallNothingAndChangeNothing) {
  host.SetLed(800, true);
  Start();
  driver->Poll();
  Calls();
  driver->TakeWritten();
  const int callbacksBefore = hostCallbacks;
  const int liveStrings = host.Strings().Live();
  const std::string status = host.StatusText();
  auto& dll = driver->Dll();
  for (void (*entry)() : {dll->DoDwell, dll->Reset, dll->JogOn, dll->JogOff, dll->Purge, dll->Probe, dll->Home})
    entry();
  EXPECT_EQ(hostCallbacks, callbacksBefore);
  EXPECT_TRUE(driver->TakeWritten().empty());
  EXPECT_EQ(host.Strings().Live(), liveStrings);
  EXPECT_EQ(host.StatusText(), status);
  EXPECT_TRUE(Calls().empty());
  // The link is untouched: the next poll reads and writes as before.
  driver->Poll();
  EXPECT_EQ(driver->TakeWritten().size(), 1u);
}

bool TypeLibraryRegistered() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "TypeLib\\{6F3C2A1E-58D4-4C0B-9A7E-2D91B4E0C713}\\1.0", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

TEST_F(WinePluginTest, SelfRegistrationRegistersAndRemovesTheTypeLibrary) {
  auto& dll = driver->Dll();
  dll->DllUnregisterServer();  // whatever an earlier run left
  ASSERT_FALSE(TypeLibraryRegistered());
  EXPECT_EQ(dll->DllRegisterServer(), S_OK);
  EXPECT_TRUE(TypeLibraryRegistered());
  EXPECT_EQ(dll->DllUnregisterServer(), S_OK);
  EXPECT_FALSE(TypeLibraryRegistered());

  void* object = &object;
  EXPECT_EQ(dll->DllGetClassObject(GUID{}, GUID{}, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll->DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace quenta::wine
