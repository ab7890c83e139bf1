#include "tests/wine_dialog/dialog_template.h"

#include <cstring>

namespace quenta::wine {

namespace {

// A cursor over the template bytes; every read stays inside the resource.
class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }

  template <typename T>
  T Read() {
    T value{};
    if (pos_ + sizeof(T) > size_) {
      ok_ = false;
      return value;
    }
    std::memcpy(&value, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  std::wstring String() {
    std::wstring text;
    for (WCHAR c = Read<WCHAR>(); ok_ && c != 0; c = Read<WCHAR>()) text += c;
    return text;
  }
  // sz_Or_Ord: 0 = none, 0xFFFF + ordinal, or a string.
  std::wstring StringOrOrdinal(int& ordinal) {
    ordinal = -1;
    const WORD first = Read<WORD>();
    if (first == 0) return {};
    if (first == 0xFFFF) {
      ordinal = Read<WORD>();
      return {};
    }
    pos_ -= sizeof(WORD);
    return String();
  }
  void AlignToDword() { pos_ = (pos_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t bytes) { pos_ += bytes; }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

std::wstring PredefinedClass(int ordinal) {
  switch (ordinal) {
    case 0x80: return L"Button";
    case 0x81: return L"Edit";
    case 0x82: return L"Static";
    case 0x83: return L"ListBox";
    case 0x84: return L"ScrollBar";
    case 0x85: return L"ComboBox";
    default: return L"#" + std::to_wstring(ordinal);
  }
}

}  // namespace

DialogTemplate ReadDialogTemplate(HMODULE module, int id) {
  DialogTemplate result;
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  if (resource == nullptr) return result;
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  if (bytes == nullptr) return result;
  Reader in(bytes, SizeofResource(module, resource));
  if (in.Read<WORD>() != 1 || in.Read<WORD>() != 0xFFFF) return result;  // not a DLGTEMPLATEEX
  in.Read<DWORD>();  // help id
  result.exStyle = in.Read<DWORD>();
  result.style = in.Read<DWORD>();
  const WORD count = in.Read<WORD>();
  result.x = in.Read<short>();
  result.y = in.Read<short>();
  result.cx = in.Read<short>();
  result.cy = in.Read<short>();
  int ordinal = -1;
  in.StringOrOrdinal(ordinal);  // menu
  in.StringOrOrdinal(ordinal);  // window class
  result.caption = in.String();
  if (result.style & (DS_SETFONT | DS_FIXEDSYS)) {
    result.pointSize = in.Read<WORD>();
    in.Read<WORD>();  // weight
    in.Read<BYTE>();  // italic
    in.Read<BYTE>();  // character set
    result.typeface = in.String();
  }
  for (WORD i = 0; i < count && in.ok(); ++i) {
    in.AlignToDword();
    TemplateItem item;
    in.Read<DWORD>();  // help id
    item.exStyle = in.Read<DWORD>();
    item.style = in.Read<DWORD>();
    item.x = in.Read<short>();
    item.y = in.Read<short>();
    item.cx = in.Read<short>();
    item.cy = in.Read<short>();
    item.id = static_cast<int>(in.Read<DWORD>());
    int classOrdinal = -1;
    item.className = in.StringOrOrdinal(classOrdinal);
    if (classOrdinal >= 0) item.className = PredefinedClass(classOrdinal);
    item.text = in.StringOrOrdinal(item.textOrdinal);
    in.Skip(in.Read<WORD>());  // creation data
    result.items.push_back(item);
  }
  result.found = in.ok();
  return result;
}

}  // namespace quenta::wine
