// Reads an extended dialog template (DLGTEMPLATEEX) out of a module's
// resources, so the test can compare it with what the dialog must be.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quenta::wine {

struct TemplateItem {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::wstring className;  // "Button", "Edit", "Static", "ComboBox" for the predefined ordinals
  std::wstring text;       // empty when the text is an ordinal
  int textOrdinal = -1;    // the resource id of a picture, -1 for a text
};

struct DialogTemplate {
  bool found = false;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  int pointSize = 0;
  std::wstring typeface;
  std::vector<TemplateItem> items;
};

DialogTemplate ReadDialogTemplate(HMODULE module, int id);

}  // namespace quenta::wine
