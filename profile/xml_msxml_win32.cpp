#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <vector>

#include "profile/ansi_text_win32.h"
#include "profile/xml_document.h"

namespace quenta {

namespace {

// DOMDocument and its IXMLDOMDocument interface.
const CLSID kDomDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kDomDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kDomDocument2Interface = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* owned) : pointer_(owned) {}
  ~ComRef() { Reset(); }
  ComRef(ComRef&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = other.pointer_;
      other.pointer_ = nullptr;
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T** Out() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  T* pointer_ = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& narrow) {
    const std::wstring wide = WideFromAnsi(narrow);
    text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return text_; }
  BSTR* Out() {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  std::string Narrow() const { return AnsiFromWide(text_, static_cast<int>(SysStringLen(text_))); }

 private:
  BSTR text_ = nullptr;
};

// The DOM reads a file name to load as an address ("%20" is a blank, "#"
// starts a fragment), so the file is opened here and handed over as a stream.
ComRef<IStream> OpenFileStream(const std::string& fileName) {
  const HANDLE file = CreateFileW(WideFromAnsi(fileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  LARGE_INTEGER size;
  HGLOBAL memory = nullptr;
  bool read = GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF &&
              (memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size.QuadPart) + 1)) != nullptr;
  if (read) {
    DWORD got = 0;
    read = ReadFile(file, GlobalLock(memory), static_cast<DWORD>(size.QuadPart), &got, nullptr) && got == size.QuadPart;
    GlobalUnlock(memory);
  }
  CloseHandle(file);
  IStream* stream = nullptr;
  if (!read || FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    if (memory != nullptr) GlobalFree(memory);
    return {};
  }
  ComRef<IStream> owned(stream);
  ULARGE_INTEGER exact;
  exact.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
  if (FAILED(owned->SetSize(exact))) return {};  // the block may be larger than the file
  return owned;
}

class MsxmlDocument final : public XmlDocument {
 public:
  explicit MsxmlDocument(IXMLDOMDocument* document) : document_(document) {}

  bool Load(const std::string& fileName) override {
    nodes_.clear();
    ComRef<IStream> stream = OpenFileStream(fileName);
    if (stream.Get() == nullptr) return false;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = stream.Get();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    return document_->load(source, &loaded) == S_OK && loaded == VARIANT_TRUE;
  }

  XmlElement DocumentElement() override {
    IXMLDOMElement* root = nullptr;
    if (document_->get_documentElement(&root) != S_OK) return {};
    return Register(root);
  }

  XmlElement CreateElement(const char* name) override {
    IXMLDOMElement* element = nullptr;
    if (document_->createElement(Bstr(name).Get(), &element) != S_OK) return {};
    return Register(element);
  }

  XmlElement AppendChild(XmlElement parent, XmlElement child) override {
    IXMLDOMNode* target = parent ? Node(parent) : document_.Get();
    IXMLDOMNode* appended = nullptr;
    if (target == nullptr || Node(child) == nullptr || target->appendChild(Node(child), &appended) != S_OK) return {};
    return Register(appended);
  }

  XmlElement SelectSingleNode(XmlElement parent, const char* name) override {
    IXMLDOMNode* found = nullptr;
    if (Node(parent) == nullptr || Node(parent)->selectSingleNode(Bstr(name).Get(), &found) != S_OK) return {};
    return Register(found);
  }

  std::string Text(XmlElement element) override {
    Bstr text;
    if (Node(element) == nullptr || Node(element)->get_text(text.Out()) != S_OK) return std::string();
    return text.Narrow();
  }

  void SetText(XmlElement element, const std::string& text) override {
    IXMLDOMNode* node = Node(element);
    if (node == nullptr) return;
    // Detach the old content first: some DOMs free it under put_text even
    // while a handle to it is still held.
    ComRef<IXMLDOMNode> child;
    while (node->get_firstChild(child.Out()) == S_OK && child.Get() != nullptr) {
      ComRef<IXMLDOMNode> removed;
      if (node->removeChild(child.Get(), removed.Out()) != S_OK) break;
    }
    node->put_text(Bstr(text).Get());
  }

  XmlElement ParentNode(XmlElement element) override {
    IXMLDOMNode* parent = nullptr;
    if (Node(element) == nullptr || Node(element)->get_parentNode(&parent) != S_OK) return {};
    return Register(parent);
  }

  void RemoveChild(XmlElement parent, XmlElement child) override {
    ComRef<IXMLDOMNode> removed;
    if (Node(parent) != nullptr && Node(child) != nullptr) Node(parent)->removeChild(Node(child), removed.Out());
  }

  bool Serialize(std::string& bytes) override {
    IStream* created = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &created))) return false;
    ComRef<IStream> stream(created);
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_UNKNOWN;
    target.punkVal = stream.Get();
    STATSTG status;
    HGLOBAL memory = nullptr;
    if (document_->save(target) != S_OK || FAILED(stream->Stat(&status, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(stream.Get(), &memory))) {
      return false;
    }
    const auto* data = static_cast<const char*>(GlobalLock(memory));
    if (data == nullptr) return false;
    bytes.assign(data, static_cast<std::size_t>(status.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
  }

 private:
  IXMLDOMNode* Node(XmlElement element) const {
    return element.id > 0 && element.id <= static_cast<int>(nodes_.size()) ? nodes_[element.id - 1].Get() : nullptr;
  }

  // Takes the reference; only elements get a handle.
  XmlElement Register(IXMLDOMNode* owned) {
    ComRef<IXMLDOMNode> node(owned);
    DOMNodeType type = NODE_INVALID;
    if (node.Get() == nullptr || node->get_nodeType(&type) != S_OK || type != NODE_ELEMENT) return {};
    nodes_.push_back(std::move(node));
    return XmlElement{static_cast<int>(nodes_.size())};
  }

  ComRef<IXMLDOMDocument> document_;
  std::vector<ComRef<IXMLDOMNode>> nodes_;
};

}  // namespace

std::unique_ptr<XmlDocument> CreateXmlDocument() {
  IXMLDOMDocument* document = nullptr;
  // COM belongs to the host's thread; without it there is no document.
  if (FAILED(CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, kDomDocumentInterface,
                              reinterpret_cast<void**>(&document))) ||
      document == nullptr) {
    return nullptr;
  }
  // Load synchronously, fetch nothing from outside, and keep the host's layout.
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  // Plain names select the same children in either language; XPath is the faster.
  IXMLDOMDocument2* withProperties = nullptr;
  if (SUCCEEDED(document->QueryInterface(kDomDocument2Interface, reinterpret_cast<void**>(&withProperties)))) {
    const Bstr property("SelectionLanguage");
    Bstr language("XPath");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = language.Get();
    withProperties->setProperty(property.Get(), value);
    withProperties->Release();
  }
  return std::make_unique<MsxmlDocument>(document);
}

}  // namespace quenta
