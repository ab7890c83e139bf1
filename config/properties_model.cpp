#include "config/properties_model.h"

#include <algorithm>
#include <limits>

#include "config/choice_lists.h"
#include "profile/leading_integer.h"
#include "resources/resource_ids.h"

namespace quenta {

const char* const kEnterIntegerMessage = "Please enter an integer.";

namespace {

template <std::size_t N>
std::vector<std::string> DisplayRows(const char* const (&list)[N]) {
  std::vector<std::string> rows;
  rows.reserve(N);
  for (const char* row : list) rows.push_back(DisplayText(row));
  return rows;
}

// A stored position without a row in the list opens with nothing selected.
int RowOrNone(int position, int rowCount) { return position >= 0 && position < rowCount ? position : -1; }

void FillAndSelect(PropertiesView& view, int listId, const std::vector<std::string>& rows, int position) {
  view.FillList(listId, rows);
  view.SelectRow(listId, RowOrNone(position, static_cast<int>(rows.size())));
}

}  // namespace

std::optional<std::int16_t> ParseEditNumber(const std::string& text) {
  const LeadingInteger number = ParseLeadingInteger(text.c_str());
  if (!number.found) return std::nullopt;
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(number.value, std::numeric_limits<std::int16_t>::min(),
                                                            std::numeric_limits<std::int16_t>::max()));
}

void PropertiesDialogModel::Open(PropertiesView& view, const PendantSettings& settings) {
  macro1_ = settings.Macro1;
  macro2_ = settings.Macro2;
  macro3_ = settings.Macro3;
  macro4_ = settings.Macro4;
  oem1_ = settings.OEM1;
  oem2_ = settings.OEM2;
  oem3_ = settings.OEM3;
  oem4_ = settings.OEM4;
  xreverse_ = settings.Xreverse ? 1 : 0;
  yreverse_ = settings.Yreverse ? 1 : 0;
  zreverse_ = settings.Zreverse ? 1 : 0;
  refusedEditId_ = 0;

  const std::vector<std::string> functions = DisplayRows(FunctionList);
  const std::vector<std::string> screens = DisplayRows(ScreenList);
  FillAndSelect(view, IDC_FUNCTION_KEY1, functions, settings.BUTTON[0]);
  FillAndSelect(view, IDC_FUNCTION_KEY2, functions, settings.BUTTON[1]);
  FillAndSelect(view, IDC_SCREEN1, screens, settings.ScreenSel1);
  FillAndSelect(view, IDC_SCREEN2, screens, settings.ScreenSel2);
  FillAndSelect(view, IDC_SCREEN3, screens, settings.ScreenSel3);

  const std::pair<int, std::int16_t> boxes[] = {
      {IDC_MACRO1, macro1_}, {IDC_MACRO2, macro2_}, {IDC_MACRO3, macro3_}, {IDC_MACRO4, macro4_},
      {IDC_OEM1, oem1_},     {IDC_OEM2, oem2_},     {IDC_OEM3, oem3_},     {IDC_OEM4, oem4_}};
  for (const auto& [id, value] : boxes) view.SetEditText(id, std::to_string(value));
  view.SetChecked(IDC_XREVERSE, xreverse_ == 1);
  view.SetChecked(IDC_YREVERSE, yreverse_ == 1);
  view.SetChecked(IDC_ZREVERSE, zreverse_ == 1);
}

bool PropertiesDialogModel::ReadEditBoxes(PropertiesView& view) {
  // The reading order of the dialog's data exchange; the first refused box stops it.
  auto read = [&](int id, std::int16_t& field) {
    const std::optional<std::int16_t> value = ParseEditNumber(view.EditText(id));
    if (!value) {
      refusedEditId_ = id;
      return false;
    }
    field = *value;
    return true;
  };
  if (!read(IDC_MACRO1, macro1_) || !read(IDC_MACRO2, macro2_) || !read(IDC_OEM1, oem1_) || !read(IDC_OEM2, oem2_))
    return false;
  xreverse_ = view.IsChecked(IDC_XREVERSE) ? 1 : 0;
  yreverse_ = view.IsChecked(IDC_YREVERSE) ? 1 : 0;
  zreverse_ = view.IsChecked(IDC_ZREVERSE) ? 1 : 0;
  return read(IDC_OEM3, oem3_) && read(IDC_OEM4, oem4_) && read(IDC_MACRO3, macro3_) && read(IDC_MACRO4, macro4_);
}

bool PropertiesDialogModel::Ok(PropertiesView& view, PendantSettings& settings) {
  refusedEditId_ = 0;
  if (!ReadEditBoxes(view)) {
    view.ShowMessage(kEnterIntegerMessage);
    view.FocusAndSelectAll(refusedEditId_);
    return false;
  }
  settings.Macro1 = macro1_;
  settings.Macro2 = macro2_;
  settings.Macro3 = macro3_;
  settings.Macro4 = macro4_;
  settings.OEM1 = oem1_;
  settings.OEM2 = oem2_;
  settings.OEM3 = oem3_;
  settings.OEM4 = oem4_;
  settings.Xreverse = xreverse_ != 0;
  settings.Yreverse = yreverse_ != 0;
  settings.Zreverse = zreverse_ != 0;
  // Only the selected row counts: text typed into a list's edit part is never read.
  settings.BUTTON[0] = static_cast<std::int16_t>(view.SelectedRow(IDC_FUNCTION_KEY1));
  settings.BUTTON[1] = static_cast<std::int16_t>(view.SelectedRow(IDC_FUNCTION_KEY2));
  settings.ScreenSel1 = static_cast<std::int16_t>(view.SelectedRow(IDC_SCREEN1));
  settings.ScreenSel2 = static_cast<std::int16_t>(view.SelectedRow(IDC_SCREEN2));
  settings.ScreenSel3 = static_cast<std::int16_t>(view.SelectedRow(IDC_SCREEN3));
  return true;
}

}  // namespace quenta
