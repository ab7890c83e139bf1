// The Win32 side of the configuration dialog: moves data between the controls
// of template 4013 and PropertiesDialogModel, nothing more.
#include "config/propertiesdlg_win32.h"

#include <string>

#include "config/properties_model.h"
#include "resources/resource_ids.h"

namespace quenta {

namespace {

class Win32PropertiesView : public PropertiesView {
 public:
  Win32PropertiesView(HWND dialog, std::string caption) : dialog_(dialog), caption_(std::move(caption)) {}

  void FillList(int listId, const std::vector<std::string>& rows) override {
    SendDlgItemMessageA(dialog_, listId, CB_RESETCONTENT, 0, 0);
    for (const std::string& row : rows)
      SendDlgItemMessageA(dialog_, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
  }
  void SelectRow(int listId, int row) override { SendDlgItemMessageA(dialog_, listId, CB_SETCURSEL, row, 0); }
  int SelectedRow(int listId) override {
    const LRESULT row = SendDlgItemMessageA(dialog_, listId, CB_GETCURSEL, 0, 0);
    return row == CB_ERR ? -1 : static_cast<int>(row);
  }
  void SetEditText(int editId, const std::string& text) override { SetDlgItemTextA(dialog_, editId, text.c_str()); }
  std::string EditText(int editId) override {
    HWND edit = GetDlgItem(dialog_, editId);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
    return text;
  }
  void SetChecked(int checkId, bool checked) override {
    CheckDlgButton(dialog_, checkId, checked ? BST_CHECKED : BST_UNCHECKED);
  }
  bool IsChecked(int checkId) override { return IsDlgButtonChecked(dialog_, checkId) == BST_CHECKED; }
  void ShowMessage(const std::string& text) override {
    MessageBoxA(dialog_, text.c_str(), caption_.c_str(), MB_OK | MB_ICONEXCLAMATION);
  }
  void FocusAndSelectAll(int editId) override {
    HWND edit = GetDlgItem(dialog_, editId);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
  }

 private:
  HWND dialog_;
  std::string caption_;
};

struct DialogSession {
  std::string messageCaption;
  PendantSettings& settings;
  PropertiesDialogModel model;
};

INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<DialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      session = reinterpret_cast<DialogSession*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Win32PropertiesView view(dialog, session->messageCaption);
      session->model.Open(view, session->settings);
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (session == nullptr) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        Win32PropertiesView view(dialog, session->messageCaption);
        if (session->model.Ok(view, session->settings)) EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunPropertiesDialog(HINSTANCE module, HWND owner, const std::string& caption, PendantSettings& settings) {
  DialogSession session{caption, settings, {}};
  return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_PROPERTIES), owner, PropertiesDialogProc,
                         reinterpret_cast<LPARAM>(&session));
}

}  // namespace quenta
