#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "profile/ansi_text_win32.h"
#include "profile/atomic_file.h"
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
  T* Release() {
    T* owned = pointer_;
    pointer_ = nullptr;
    return owned;
  }
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
  std::wstring Wide() const { return std::wstring(text_, SysStringLen(text_)); }

 private:
  BSTR text_ = nullptr;
};

ComRef<IStream> StreamOn(HGLOBAL memory, ULONGLONG size) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return {};
  }
  ComRef<IStream> owned(stream);
  ULARGE_INTEGER exact;
  exact.QuadPart = size;
  if (FAILED(owned->SetSize(exact))) return {};  // the block may be larger than the file
  return owned;
}

ComRef<IStream> StreamOf(const std::string& bytes) {
  const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
  if (memory == nullptr) return {};
  std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
  GlobalUnlock(memory);
  return StreamOn(memory, bytes.size());
}

// The DOM reads a file name to load as an address ("%20" is a blank, "#"
// starts a fragment), so the file is opened here and handed over as a stream.
ComRef<IStream> OpenFileStream(const std::string& fileName) {
  const HANDLE file = CreateFileW(WideFromUtf8(fileName).c_str(), GENERIC_READ,
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
  if (!read) {
    if (memory != nullptr) GlobalFree(memory);
    return {};
  }
  return StreamOn(memory, static_cast<ULONGLONG>(size.QuadPart));
}

// The code page an XML encoding name stands for; 0 for UTF-8 and for names not known here.
UINT CodePageOf(std::string name) {
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const auto number = [&](std::size_t from) {
    return static_cast<UINT>(std::strtoul(name.c_str() + from, nullptr, 10));
  };
  if (name == "utf-16" || name == "unicode" || name == "ucs-2" || name == "utf-16le") return 1200;
  if (name.rfind("windows-", 0) == 0) return number(8);
  if (name.rfind("cp", 0) == 0) return number(2);
  if (name.rfind("iso-8859-", 0) == 0) return 28590 + number(9);
  static const struct {
    const char* name;
    UINT codePage;
  } kNamed[] = {{"us-ascii", 20127}, {"shift_jis", 932}, {"gb2312", 936}, {"gbk", 936},
                {"big5", 950},       {"euc-kr", 949},    {"koi8-r", 20866}};
  for (const auto& named : kNamed) {
    if (name == named.name) return named.codePage;
  }
  return 0;
}

// The encoding named in the declaration at the start of 8-bit XML text.
std::string DeclaredEncoding(const std::string& bytes) {
  const std::size_t end = bytes.find("?>");
  if (bytes.rfind("<?xml", 0) != 0 || end == std::string::npos) return std::string();
  const std::size_t name = bytes.find("encoding", 5);
  const std::size_t quote = name < end ? bytes.find_first_of("\"'", name) : std::string::npos;
  const std::size_t close = quote < end ? bytes.find(bytes[quote], quote + 1) : std::string::npos;
  return close < end ? bytes.substr(quote + 1, close - quote - 1) : std::string();
}

// UTF-8 text encoded as its declaration says; unchanged when it names UTF-8,
// an encoding not known here, or one that cannot hold every character.
std::string AsDeclared(const std::string& utf8) {
  const UINT codePage = CodePageOf(DeclaredEncoding(utf8));
  if (codePage == 0 || codePage == CP_UTF8) return utf8;
  const int length = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (size <= 0) return utf8;
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], size);
  if (codePage == 1200) {
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  }
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr, &lost);
  if (bytes <= 0 || lost) return utf8;
  std::string encoded(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, &encoded[0], bytes, nullptr, &lost);
  return encoded;
}

ComRef<IXMLDOMDocument> NewDomDocument();

class MsxmlDocument final : public XmlDocument {
 public:
  explicit MsxmlDocument(IXMLDOMDocument* document) : document_(document) {}

  bool Load(const std::string& fileName) override { return LoadStream(OpenFileStream(fileName)); }

  bool LoadStream(const ComRef<IStream>& stream) {
    nodes_.clear();
    if (stream.Get() == nullptr || document_.Get() == nullptr) return false;
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
    if (!SaveAsTheDomDoes(bytes)) return false;
    if (WritesUtf8Always()) bytes = AsDeclared(bytes);
    return true;
  }

  bool ContentDigest(std::uint64_t& digest) override {
    ComRef<IXMLDOMNodeList> children;
    long count = 0;
    if (document_->get_childNodes(children.Out()) != S_OK || children->get_length(&count) != S_OK) return false;
    ByteHash hash;
    const auto add = [&](const Bstr& text) {
      hash.Add(reinterpret_cast<const char*>(text.Get()), SysStringByteLen(text.Get()));
    };
    bool root = false;
    for (long at = 0; at < count; ++at) {
      ComRef<IXMLDOMNode> child;
      DOMNodeType type = NODE_INVALID;
      Bstr name, xml;
      if (children->get_item(at, child.Out()) != S_OK || child->get_nodeType(&type) != S_OK ||
          child->get_nodeName(name.Out()) != S_OK)
        return false;
      // Blanks between the top-level nodes are layout, which some DOMs keep and some do not.
      if (type == NODE_TEXT || (type == NODE_PROCESSING_INSTRUCTION && name.Wide() == L"xml")) continue;
      root = root || type == NODE_ELEMENT;
      add(name);
      // Some DOMs (Wine's) cannot write a doctype alone: its name stands for it.
      if (child->get_xml(xml.Out()) == S_OK) {
        add(xml);
      } else if (type != NODE_DOCUMENT_TYPE) {
        return false;
      }
    }
    digest = hash.Value();
    return root;
  }

  // Some DOMs (Wine's) write UTF-8 whatever encoding the declaration names,
  // which their next load misreads: asked once, with a small document.
  static bool WritesUtf8Always() {
    static const bool always = [] {
      MsxmlDocument probe(NewDomDocument().Release());
      std::string bytes;
      return probe.LoadStream(StreamOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>")) &&
             probe.SaveAsTheDomDoes(bytes) && bytes.find("\xC3\xA9") != std::string::npos;
    }();
    return always;
  }

 private:
  bool SaveAsTheDomDoes(std::string& bytes) {
    if (document_.Get() == nullptr) return false;
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

ComRef<IXMLDOMDocument> NewDomDocument() {
  IXMLDOMDocument* document = nullptr;
  // COM belongs to the host's thread; without it there is no document.
  if (FAILED(CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, kDomDocumentInterface,
                              reinterpret_cast<void**>(&document))) ||
      document == nullptr) {
    return {};
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
  return ComRef<IXMLDOMDocument>(document);
}

}  // namespace

std::unique_ptr<XmlDocument> CreateXmlDocument() {
  ComRef<IXMLDOMDocument> document = NewDomDocument();
  if (document.Get() == nullptr) return nullptr;
  return std::make_unique<MsxmlDocument>(document.Release());
}

}  // namespace quenta
