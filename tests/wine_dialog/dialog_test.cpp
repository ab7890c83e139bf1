// The configuration dialog of the real Quenta.dll under Wine: its template,
// its live controls, and Config driven as a user would drive it.
//
//   dialog_test [gtest flags]      the tests
//   dialog_test --hold-open MS     opens the dialog on a sample profile for MS
//                                  milliseconds (for a screenshot), printing its
//                                  screen rectangle, then presses Escape
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "resources/resource_ids.h"
#include "sim/counting_string_manager.h"
#include "sim/whole_file.h"
#include "tests/wine/dialog_user.h"
#include "tests/wine_dialog/dialog_template.h"

namespace quenta::wine {
namespace {

using sim::CountingStringManager;

HMODULE g_plugin = nullptr;

template <typename Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_plugin, name)));
}

std::string TempProfilePath() {
  static int counter = 0;
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "quenta-dialog-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++) + ".xml";
}

std::string ReadText(const std::string& path) { return sim::ReadWholeFile(path).value_or(std::string()); }

// The text of the first <key> element in the profile, or "absent".
std::string KeyText(const std::string& xml, const std::string& key) {
  const std::string open = "<" + key + ">";
  const std::size_t start = xml.find(open);
  if (start == std::string::npos) return "absent";
  const std::size_t from = start + open.size();
  return xml.substr(from, xml.find('<', from) - from);
}

const char* const kAllKeys[] = {"BUTTON0", "BUTTON1", "BUTTON2", "Macro1", "Macro2", "Macro3",
                                "Macro4",  "OEM1",    "OEM2",    "OEM3",   "OEM4",   "ScreenSel1",
                                "ScreenSel2", "ScreenSel3", "Xreverse", "Yreverse", "Zreverse"};

const char kSampleProfile[] =
    "<profile><Other>kept</Other>"
    "<Quenta_M1_Pendant><BUTTON0>80</BUTTON0><BUTTON1>6</BUTTON1><BUTTON2>7</BUTTON2></Quenta_M1_Pendant>"
    "<Quenta_M2_Pendant><Macro1>-12</Macro1><Macro2>2</Macro2><Macro3>3</Macro3><Macro4>4</Macro4>"
    "<OEM1>1000</OEM1><OEM2>1001</OEM2><OEM3>1002</OEM3><OEM4>65535</OEM4>"
    "<ScreenSel1>0</ScreenSel1><ScreenSel2>2</ScreenSel2><ScreenSel3>9</ScreenSel3>"
    "<Xreverse>0</Xreverse><Yreverse>5</Yreverse><Zreverse>0</Zreverse></Quenta_M2_Pendant></profile>";

// The values Config writes back for kSampleProfile when nothing is changed.
const std::map<std::string, std::string> kSampleWrittenBack = {
    {"BUTTON0", "80"}, {"BUTTON1", "6"},     {"BUTTON2", "7"},     {"Macro1", "-12"},   {"Macro2", "2"},
    {"Macro3", "3"},   {"Macro4", "4"},      {"OEM1", "1000"},     {"OEM2", "1001"},    {"OEM3", "1002"},
    {"OEM4", "-1"},    {"ScreenSel1", "0"},  {"ScreenSel2", "2"},  {"ScreenSel3", "9"}, {"Xreverse", "0"},
    {"Yreverse", "1"}, {"Zreverse", "0"}};

// A profile file named to the plug-in through SetProName, as the host does.
class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_plugin, nullptr) << "Quenta.dll did not load";
    profile_ = TempProfilePath();
    std::ofstream(profile_, std::ios::binary) << kSampleProfile;
    auto setProName = Export<const char* (*)(FrameworkString)>("SetProName");
    ASSERT_NE(setProName, nullptr);
    setProName(strings_.Make(profile_));
    EXPECT_EQ(strings_.Live(), 0) << "SetProName must release the name it takes, once";
    EXPECT_EQ(strings_.badFrees, 0);
  }
  void TearDown() override { DeleteFileA(profile_.c_str()); }

  // Runs the Config export while `user` drives the dialog.
  void Config(DialogUser& user) {
    auto config = Export<void (*)()>("Config");
    ASSERT_NE(config, nullptr);
    EXPECT_TRUE(user.Drive(config)) << "the dialog did not go through every step: " << user.Stuck();
    EXPECT_EQ(FindConfigDialog(), nullptr);
  }

  std::string Profile() const { return ReadText(profile_); }

  void ExpectSampleWrittenBack() {
    const std::string xml = Profile();
    for (const auto& [key, value] : kSampleWrittenBack) EXPECT_EQ(KeyText(xml, key), value) << key;
    EXPECT_EQ(KeyText(xml, "Other"), "kept");
  }

  CountingStringManager strings_;
  std::string profile_;
};

struct ExpectedControl {
  int id;
  const wchar_t* className;
  const wchar_t* text;  // nullptr: a picture, whose text is its bitmap's id
  int bitmap;
  short x, y, cx, cy;
  DWORD style;  // besides WS_CHILD | WS_VISIBLE
  DWORD exStyle;
};

constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kList = CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kEdit = ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kGroup = BS_GROUPBOX;
constexpr DWORD kText = SS_LEFT;
constexpr DWORD kPicture = SS_BITMAP;

const ExpectedControl kControls[] = {
    {IDOK, L"Button", L"OK", 0, 217, 230, 55, 16, kPush, 0},
    {IDC_STATIC, L"Static", nullptr, IDB_KEY_F2, 49, 139, 21, 13, kPicture, 0},
    {IDC_STATIC, L"Static", nullptr, IDB_KEY_F1, 49, 123, 21, 13, kPicture, 0},
    {IDC_STATIC, L"Static", L"Custom OEM Button #1", 0, 53, 159, 80, 8, kText, 0},
    {IDC_STATIC, L"Static", L"Custom Macro #1", 0, 170, 159, 64, 8, kText, 0},
    {IDC_STATIC, L"Static", L"M2 Pendant Configuration", 0, 82, 18, 92, 8, kText, WS_EX_TRANSPARENT},
    {IDC_STATIC, L"Static", L"Custom OEM Button #2", 0, 53, 174, 79, 8, kText, 0},
    {IDC_STATIC, L"Static", L"Custom Macro #2", 0, 170, 174, 58, 8, kText, 0},
    {IDC_FUNCTION_KEY1, L"ComboBox", L"", 0, 73, 123, 193, 200, kList, 0},
    {IDC_FUNCTION_KEY2, L"ComboBox", L"", 0, 73, 139, 193, 202, kList, 0},
    {IDC_OEM1, L"Edit", L"", 0, 135, 158, 30, 12, kEdit, 0},
    {IDC_OEM2, L"Edit", L"", 0, 135, 174, 30, 12, kEdit, 0},
    {IDC_MACRO1, L"Edit", L"", 0, 233, 158, 30, 12, kEdit, 0},
    {IDC_MACRO2, L"Edit", L"", 0, 233, 174, 30, 12, kEdit, 0},
    {IDC_STATIC, L"Button", L"", 0, 48, 115, 223, 104, kGroup, 0},
    {IDC_STATIC, L"Static", L"Quenta", 0, 53, 18, 23, 8, kText, 0},
    {IDC_XREVERSE, L"Button", L"Reverse X axis", 0, 192, 66, 63, 10, kCheck, 0},
    {IDC_YREVERSE, L"Button", L"Reverse Y axis ", 0, 192, 80, 65, 10, kCheck, 0},
    {IDC_ZREVERSE, L"Button", L"Reverse Z axis", 0, 192, 94, 63, 10, kCheck, 0},
    {IDC_STATIC, L"Static", L"Screen Selection. Select NONE to Skip", 0, 53, 47, 122, 8, kText, 0},
    {IDC_SCREEN1, L"ComboBox", L"", 0, 55, 60, 120, 83, kList, 0},
    {IDC_SCREEN2, L"ComboBox", L"", 0, 55, 76, 120, 85, kList, 0},
    {IDC_SCREEN3, L"ComboBox", L"", 0, 55, 94, 120, 84, kList, 0},
    {IDC_STATIC, L"Button", L"", 0, 50, 39, 129, 74, kGroup, 0},
    {IDC_STATIC, L"Static", L"Custom OEM Button #3", 0, 53, 190, 79, 8, kText, 0},
    {IDC_STATIC, L"Static", L"Custom OEM Button #4", 0, 53, 204, 79, 8, kText, 0},
    {IDC_OEM3, L"Edit", L"", 0, 135, 188, 30, 12, kEdit, 0},
    {IDC_OEM4, L"Edit", L"", 0, 135, 203, 30, 12, kEdit, 0},
    {IDC_STATIC, L"Static", L"Custom Macro #3", 0, 170, 190, 65, 8, kText, 0},
    {IDC_STATIC, L"Static", L"Custom Macro #4", 0, 170, 204, 64, 8, kText, 0},
    {IDC_MACRO3, L"Edit", L"", 0, 233, 188, 30, 12, kEdit, 0},
    {IDC_MACRO4, L"Edit", L"", 0, 233, 203, 30, 12, kEdit, 0},
    {IDC_STATIC, L"Button", L"", 0, 182, 56, 89, 56, kGroup, 0},
};

TEST(DialogResources, TemplateHoldsEveryControlAsSpecified) {
  const DialogTemplate dialog = ReadDialogTemplate(g_plugin, IDD_PROPERTIES);
  ASSERT_TRUE(dialog.found);
  EXPECT_EQ(dialog.caption, L"02");
  EXPECT_EQ(dialog.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFOREGROUND | DS_SETFONT));
  EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_TOPMOST));
  EXPECT_EQ(dialog.style & WS_SYSMENU, 0u) << "no system menu, so no close box";
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
  EXPECT_EQ(dialog.cx, 301);
  EXPECT_EQ(dialog.cy, 251);
  ASSERT_EQ(dialog.items.size(), std::size(kControls));
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    const ExpectedControl& want = kControls[i];
    const TemplateItem& got = dialog.items[i];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(_wcsicmp(got.className.c_str(), want.className), 0) << "class names ignore case";
    if (want.text != nullptr) {
      EXPECT_EQ(got.text, want.text);
      EXPECT_EQ(got.textOrdinal, -1);
    } else {
      EXPECT_EQ(got.textOrdinal, want.bitmap);
    }
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.style, WS_CHILD | WS_VISIBLE | want.style);
    EXPECT_EQ(got.exStyle, want.exStyle);
  }
}

TEST(DialogResources, KeyLegendBitmapsAre31By21TwentyFourBit) {
  for (int id : {IDB_KEY_F1, IDB_KEY_F2}) {
    HRSRC resource = FindResourceA(g_plugin, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    ASSERT_NE(resource, nullptr) << id;
    ASSERT_GE(SizeofResource(g_plugin, resource), sizeof(BITMAPINFOHEADER));
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(g_plugin, resource)));
    EXPECT_EQ(header->biWidth, 31) << id;
    EXPECT_EQ(header->biHeight, 21) << id;
    EXPECT_EQ(header->biBitCount, 24) << id;
    // A light key face: the middle of the top edge, inside the border, is mostly violet-white.
    const BYTE* pixels = reinterpret_cast<const BYTE*>(header) + header->biSize;
    const BYTE* face = pixels + (21 - 3) * 96 + 15 * 3;  // row 2 from the top, column 15; BGR
    EXPECT_GT(face[0], 200) << id;
    EXPECT_GT(face[2], 180) << id;
    EXPECT_GT(face[0], face[1]) << "violet: more blue than green";
  }
}

// Position and size of a child in pixels, converted from dialog units one by
// one, as the dialog manager converts them when it creates the control.
RECT ExpectedPixels(HWND dialog, const ExpectedControl& want) {
  RECT rect{want.x, want.y, want.cx, want.cy};
  MapDialogRect(dialog, &rect);
  return RECT{rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

RECT ChildRect(HWND dialog, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST_F(ConfigDialogTest, LiveDialogHasTheTemplatesControlsInTabOrder) {
  DialogUser user;
  user.Do([](HWND dialog) {
    EXPECT_EQ(WindowText(dialog), "02");
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_SYSMENU);
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT client, want{0, 0, 301, 251};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &want);
    EXPECT_EQ(client.right, want.right);
    EXPECT_EQ(client.bottom, want.bottom);

    HWND child = GetWindow(dialog, GW_CHILD);
    for (std::size_t i = 0; i < std::size(kControls); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
      const ExpectedControl& want = kControls[i];
      SCOPED_TRACE("control " + std::to_string(i + 1));
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), want.id);
      std::wstring className(64, L'\0');
      className.resize(GetClassNameW(child, className.data(), 64));
      EXPECT_EQ(_wcsicmp(className.c_str(), want.className), 0);
      const bool isList = std::wstring(want.className) == L"ComboBox";
      const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
      // An edit box may trade its plain border for a sunken edge, and a combo box
      // hands its scroll bar to its opened list; everything else stays as the template says.
      const DWORD moved = std::wstring(want.className) == L"Edit" ? WS_BORDER : isList ? WS_VSCROLL : 0;
      EXPECT_EQ(style & (want.style & ~moved), want.style & ~moved);
      if (isList) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(child, &info));
        // The scroll bar shows when the rows do not fit: in the 70-row lists.
        if (want.id == IDC_FUNCTION_KEY1 || want.id == IDC_FUNCTION_KEY2) {
          EXPECT_TRUE(GetWindowLongA(info.hwndList, GWL_STYLE) & WS_VSCROLL);
        }
        EXPECT_NE(info.hwndItem, nullptr) << "an editable text part";
      }
      EXPECT_EQ(style & 0xFFFF & ~want.style, 0u) << "no control style beyond the template's";
      if (moved == WS_BORDER) {
        EXPECT_TRUE((style & WS_BORDER) || (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
      }
      if (want.exStyle) {
        EXPECT_TRUE(GetWindowLongA(child, GWL_EXSTYLE) & want.exStyle);
      }
      EXPECT_TRUE(style & WS_VISIBLE);

      const RECT expected = ExpectedPixels(dialog, want);
      const RECT got = ChildRect(dialog, child);
      EXPECT_EQ(got.left, expected.left);
      EXPECT_EQ(got.top, expected.top);
      if (want.text == nullptr) {
        // A picture takes its bitmap's own size.
        EXPECT_EQ(got.right - got.left, 31);
        EXPECT_EQ(got.bottom - got.top, 21);
        EXPECT_NE(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
      } else if (isList) {
        // The template's height is the opened combo's, text part included; the
        // list shrinks it to a whole number of rows.
        RECT dropped;
        SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        const LONG closed = got.bottom - got.top, opened = dropped.bottom - dropped.top;
        const LONG height = expected.bottom - expected.top;
        const LONG row = static_cast<LONG>(SendMessageA(child, CB_GETITEMHEIGHT, 0, 0));
        auto fits = [&](LONG total) { return total <= height && total > height - row - 4; };
        EXPECT_EQ(got.right, expected.right);
        EXPECT_TRUE(fits(opened) || fits(closed + opened)) << closed << " + " << opened << " vs " << height;
      } else {
        EXPECT_EQ(got.right, expected.right);
        EXPECT_EQ(got.bottom, expected.bottom);
        if (std::wstring(want.className) != L"Edit") {
          std::wstring text(256, L'\0');
          text.resize(GetWindowTextW(child, text.data(), 256));
          EXPECT_EQ(text, want.text);
        }
      }
    }
    EXPECT_EQ(child, nullptr) << "no controls beyond the template's 33";
    PressEscape();
  });
  Config(user);
}

TEST_F(ConfigDialogTest, OpensWithTheProfilesSettingsAndTheFocusOnOk) {
  DialogUser user;
  user.Do([](HWND dialog) {
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
    for (int id : {IDC_FUNCTION_KEY1, IDC_FUNCTION_KEY2})
      EXPECT_EQ(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0), 70);
    for (int id : {IDC_SCREEN1, IDC_SCREEN2, IDC_SCREEN3})
      EXPECT_EQ(SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0), 7);
    // Stored 80 and 9 have no row: nothing selected, empty text part.
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_FUNCTION_KEY1, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_FUNCTION_KEY1)), "");
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_SCREEN3, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_FUNCTION_KEY2)), " Custom Macro #1");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_SCREEN1)), " NONE");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_SCREEN2)), " Screen 2 (MDI screen)");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_MACRO1)), "-12");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_OEM4)), "-1");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_OEM3)), "1002");
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_XREVERSE), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_YREVERSE), BST_CHECKED);
    ClickOk(dialog);
  });
  Config(user);
  // OK without touching anything: the unselected lists are stored as -1.
  const std::string xml = Profile();
  EXPECT_EQ(KeyText(xml, "BUTTON0"), "-1");
  EXPECT_EQ(KeyText(xml, "ScreenSel3"), "-1");
  EXPECT_EQ(KeyText(xml, "BUTTON1"), "6");
  EXPECT_EQ(KeyText(xml, "Macro1"), "-12");
  EXPECT_EQ(KeyText(xml, "Yreverse"), "1");
}

TEST_F(ConfigDialogTest, OkAppliesWhatTheUserTypedPickedAndTicked) {
  DialogUser user;
  user.Do([](HWND dialog) {
    TypeInto(dialog, IDC_MACRO1, "12abc");
    TypeInto(dialog, IDC_MACRO3, " -5");
    TypeInto(dialog, IDC_OEM1, "813");
    TypeInto(dialog, IDC_OEM2, "70000");
    TypeInto(dialog, IDC_OEM4, "-40000");
    PickRow(dialog, IDC_FUNCTION_KEY1, 54);
    PickRow(dialog, IDC_FUNCTION_KEY2, -1);
    PickRow(dialog, IDC_SCREEN3, 6);
    SetTick(dialog, IDC_XREVERSE, true);
    SetTick(dialog, IDC_YREVERSE, false);
    SetTick(dialog, IDC_ZREVERSE, true);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_FUNCTION_KEY1)), " ZeroAll");
    ClickOk(dialog);
  });
  Config(user);
  const std::string xml = Profile();
  const std::map<std::string, std::string> expected = {
      {"BUTTON0", "54"}, {"BUTTON1", "-1"},     {"BUTTON2", "7"},      {"Macro1", "12"},     {"Macro2", "2"},
      {"Macro3", "-5"},  {"Macro4", "4"},       {"OEM1", "813"},       {"OEM2", "32767"},    {"OEM3", "1002"},
      {"OEM4", "-32768"}, {"ScreenSel1", "0"},  {"ScreenSel2", "2"},   {"ScreenSel3", "6"},  {"Xreverse", "1"},
      {"Yreverse", "0"}, {"Zreverse", "1"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(KeyText(xml, key), value) << key;
}

TEST_F(ConfigDialogTest, RefusedBoxShowsTheMessageAndGetsTheFocusWithItsTextSelected) {
  DialogUser user;
  int messageBoxes = 0;
  user.Do([](HWND dialog) {
        TypeInto(dialog, IDC_MACRO3, "");
        TypeInto(dialog, IDC_OEM1, "abc");
        PickRow(dialog, IDC_FUNCTION_KEY1, 3);
        SetTick(dialog, IDC_ZREVERSE, true);
        ClickOk(dialog);
      })
      .Then([&](HWND dialog) {
        HWND box = FindMessageBox(dialog);
        if (box == nullptr) return false;
        ++messageBoxes;
        EXPECT_EQ(WindowText(box), "Quenta") << "captioned with the module's name";
        EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), "Please enter an integer.");
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr) << "an OK button alone";
        HWND icon = GetDlgItem(box, 0x0440);
        EXPECT_NE(icon, nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), LoadIcon(nullptr, IDI_EXCLAMATION));
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return true;
      })
      .Then([&](HWND dialog) {
        // A box hidden by its OK is still in its own loop for a moment, before the focus moves.
        if (FindMessageBox(dialog) != nullptr || GetFocus() == nullptr) return false;
        HWND oem1 = GetDlgItem(dialog, IDC_OEM1);
        EXPECT_EQ(GetFocus(), oem1) << "OEM1 comes before Macro3 in the reading order";
        DWORD start = 1, end = 0;
        SendMessageA(oem1, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 3u);
        PressEscape();
        return true;
      });
  Config(user);
  EXPECT_EQ(messageBoxes, 1);
  ExpectSampleWrittenBack();
}

TEST_F(ConfigDialogTest, EscapeChangesNothingButConfigStillWritesEveryKey) {
  std::ofstream(profile_, std::ios::binary | std::ios::trunc) << "<profile/>";
  DialogUser user;
  user.Do([](HWND dialog) {
    TypeInto(dialog, IDC_MACRO1, "99");
    TypeInto(dialog, IDC_OEM3, "abc");
    PickRow(dialog, IDC_SCREEN1, 5);
    SetTick(dialog, IDC_XREVERSE, true);
    PressEscape();
  });
  Config(user);
  const std::string xml = Profile();
  const std::map<std::string, std::string> defaults = {
      {"ScreenSel1", "1"}, {"ScreenSel2", "2"}, {"ScreenSel3", "3"}, {"Macro1", "0"}, {"Xreverse", "0"}};
  for (const char* key : kAllKeys) EXPECT_NE(KeyText(xml, key), "absent") << key;
  for (const auto& [key, value] : defaults) EXPECT_EQ(KeyText(xml, key), value) << key;
}

// Opens the dialog on a typical profile and holds it for a screenshot.
int HoldOpen(int milliseconds) {
  CountingStringManager strings;
  const std::string profile = TempProfilePath();
  std::ofstream(profile, std::ios::binary)
      << "<profile><Quenta_M1_Pendant><BUTTON0>6</BUTTON0><BUTTON1>55</BUTTON1></Quenta_M1_Pendant>"
         "<Quenta_M2_Pendant><Macro1>12</Macro1><Macro2>13</Macro2><Macro3>20</Macro3><Macro4>-1</Macro4>"
         "<OEM1>1000</OEM1><OEM2>1001</OEM2><OEM3>102</OEM3><OEM4>103</OEM4><ScreenSel3>0</ScreenSel3>"
         "<Yreverse>1</Yreverse></Quenta_M2_Pendant></profile>";
  Export<const char* (*)(FrameworkString)>("SetProName")(strings.Make(profile));
  DWORD openedAt = 0;
  DialogUser user;
  user.Do([](HWND dialog) {
        RECT rect;
        GetWindowRect(dialog, &rect);
        std::printf("dialog %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        std::fflush(stdout);
      })
      .Then([&](HWND) {
        if (openedAt == 0) openedAt = GetTickCount();
        if (GetTickCount() - openedAt < static_cast<DWORD>(milliseconds)) return false;
        PressEscape();
        return true;
      });
  const bool ok = user.Drive(Export<void (*)()>("Config"));
  DeleteFileA(profile.c_str());
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace quenta::wine

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the host's duty: the profile store uses COM
  std::string folder(MAX_PATH, '\0');
  folder.resize(GetModuleFileNameA(nullptr, folder.data(), MAX_PATH));
  folder.erase(folder.find_last_of('\\') + 1);
  quenta::wine::g_plugin = LoadLibraryA((folder + "Quenta.dll").c_str());
  if (argc == 3 && std::string(argv[1]) == "--hold-open") {
    if (quenta::wine::g_plugin == nullptr) return 1;
    return quenta::wine::HoldOpen(std::atoi(argv[2]));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
