#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <pugixml.hpp>
#include <string_view>
#include <vector>

#include "profile/atomic_file.h"
#include "profile/xml_document.h"

namespace quenta {

namespace {

// Keep everything the host wrote, white space included, so it is saved back
// as it was. Doctypes are kept as text; pugixml never resolves entities.
constexpr unsigned kParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

bool StartsWithByteOrderMark(const std::string& bytes) {
  static const char* const kMarks[] = {"\xEF\xBB\xBF", "\xFE\xFF", "\xFF\xFE", "\0\0\xFE\xFF"};
  static const std::size_t kLengths[] = {3, 2, 2, 4};
  for (std::size_t i = 0; i < 4; ++i) {
    if (bytes.size() >= kLengths[i] && std::memcmp(bytes.data(), kMarks[i], kLengths[i]) == 0) return true;
  }
  return false;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
  }
  return true;
}

// A file that declares a 16- or 32-bit encoding but is stored in 8 bits is not
// what it claims; saving it back would hand the host a file it cannot read.
bool DeclarationMatches(const pugi::xml_document& document, pugi::xml_encoding found) {
  const pugi::xml_node declaration = document.first_child();
  if (declaration.type() != pugi::node_declaration) return true;
  const char* declared = declaration.attribute("encoding").value();
  const bool wide = StartsWithNoCase(declared, "utf-16") || StartsWithNoCase(declared, "utf-32") ||
                    StartsWithNoCase(declared, "ucs");
  return !wide || (found != pugi::encoding_utf8 && found != pugi::encoding_latin1);
}

int ElementChildren(const pugi::xml_node& node) {
  int count = 0;
  for (pugi::xml_node child : node.children()) count += child.type() == pugi::node_element;
  return count;
}

// pugixml walks the subtree without recursion: a profile may nest deeper than the stack allows.
struct TextCollector : pugi::xml_tree_walker {
  std::string text;
  bool for_each(pugi::xml_node& node) override {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
    return true;
  }
};

bool Contains(const pugi::xml_node& ancestor, pugi::xml_node node) {
  for (; node; node = node.parent()) {
    if (node == ancestor) return true;
  }
  return false;
}

// pugixml keeps a reference to a declared entity as plain text and would save
// it escaped, changing the host's content: such a profile is left alone.
bool DeclaresEntities(const pugi::xml_document& document) {
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_doctype && std::strstr(child.value(), "<!ENTITY") != nullptr) return true;
  }
  return false;
}

// pugixml frees a removed subtree recursively, so a deep one is taken apart
// from its leaves up first: a profile may nest deeper than the stack allows.
void RemoveSubtree(pugi::xml_node parent, pugi::xml_node subtree) {
  pugi::xml_node current = subtree;
  for (;;) {
    while (current.first_child()) current = current.first_child();
    if (current == subtree) break;
    pugi::xml_node above = current.parent();
    above.remove_child(current);
    current = above;
  }
  parent.remove_child(subtree);
}

// Every node but the declaration, by its place in the tree, kind, name, value and attributes.
struct ContentHash : pugi::xml_tree_walker {
  std::uint64_t value = 0;
  void Add(std::uint64_t word) { value = (value ^ word) * 0x9E3779B97F4A7C15u + 0x632BE59BD9B4E019u; }
  void Add(const char* text) { Add(std::hash<std::string_view>()(text)); }
  bool for_each(pugi::xml_node& node) override {
    if (node.type() == pugi::node_declaration) return true;
    Add(static_cast<std::uint64_t>(depth()) << 8 | static_cast<std::uint64_t>(node.type()));
    Add(node.name());
    Add(node.value());
    for (const pugi::xml_attribute attribute : node.attributes()) {
      Add(attribute.name());
      Add(attribute.value());
    }
    return true;
  }
};

struct StringWriter : pugi::xml_writer {
  explicit StringWriter(std::string& out) : bytes(out) {}
  void write(const void* data, std::size_t size) override { bytes.append(static_cast<const char*>(data), size); }
  std::string& bytes;
};

class PugiDocument final : public XmlDocument {
 public:
  bool Load(const std::string& fileName) override {
    Clear();
    if (!SystemFileLayer().ReadAll(fileName, source_)) return false;
    const pugi::xml_parse_result result = document_.load_buffer_inplace(&source_[0], source_.size(), kParseOptions);
    // pugixml accepts several top-level elements; a profile has exactly one.
    if (!result || ElementChildren(document_) != 1 || !DeclarationMatches(document_, result.encoding) ||
        DeclaresEntities(document_)) {
      Clear();
      return false;
    }
    encoding_ = result.encoding;
    byteOrderMark_ = StartsWithByteOrderMark(source_);
    return true;
  }

  XmlElement DocumentElement() override { return Register(document_.document_element()); }

  XmlElement CreateElement(const char* name) override {
    // pugixml has no unattached nodes: the element comes to life when appended.
    entries_.push_back({pugi::xml_node(), name});
    return XmlElement{static_cast<int>(entries_.size())};
  }

  XmlElement AppendChild(XmlElement parent, XmlElement child) override {
    if (!child || child.id > static_cast<int>(entries_.size())) return {};
    pugi::xml_node target = parent ? Node(parent) : pugi::xml_node(document_);
    Entry& entry = entries_[child.id - 1];
    if (!target) return {};
    entry.node = entry.node ? target.append_move(entry.node) : target.append_child(entry.pendingName.c_str());
    entry.pendingName.clear();
    return entry.node ? child : XmlElement{};
  }

  XmlElement SelectSingleNode(XmlElement parent, const char* name) override {
    for (pugi::xml_node child : Node(parent).children()) {
      if (child.type() == pugi::node_element && std::strcmp(child.name(), name) == 0) return Register(child);
    }
    return {};
  }

  std::string Text(XmlElement element) override {
    TextCollector collector;
    Node(element).traverse(collector);
    return collector.text;
  }

  void SetText(XmlElement element, const std::string& text) override {
    pugi::xml_node node = Node(element);
    if (!node) return;
    ForgetInside(node, false);
    while (node.first_child()) RemoveSubtree(node, node.first_child());
    if (!text.empty()) node.append_child(pugi::node_pcdata).set_value(text.c_str());
  }

  XmlElement ParentNode(XmlElement element) override {
    const pugi::xml_node parent = Node(element).parent();
    return parent.type() == pugi::node_element ? Register(parent) : XmlElement{};
  }

  void RemoveChild(XmlElement parent, XmlElement child) override {
    pugi::xml_node node = Node(child);
    if (!node || node.parent() != Node(parent)) return;
    ForgetInside(node, true);
    RemoveSubtree(Node(parent), node);
  }

  bool Serialize(std::string& bytes) override {
    // A profile keeps its own layout; a new one gets none, so that it reads
    // back as the very content it was made of.
    unsigned flags = pugi::format_raw;
    if (byteOrderMark_) flags |= pugi::format_write_bom;
    StringWriter writer{bytes};
    bytes.clear();
    document_.save(writer, "", flags, encoding_);
    return true;
  }

  bool ContentDigest(std::uint64_t& digest) override {
    ContentHash hash;
    document_.traverse(hash);
    digest = hash.value;
    return true;
  }

 private:
  struct Entry {
    pugi::xml_node node;
    std::string pendingName;
  };

  pugi::xml_node Node(XmlElement element) const {
    return element.id > 0 && element.id <= static_cast<int>(entries_.size()) ? entries_[element.id - 1].node
                                                                              : pugi::xml_node();
  }

  XmlElement Register(const pugi::xml_node& node) {
    if (!node) return {};
    entries_.push_back({node, {}});
    return XmlElement{static_cast<int>(entries_.size())};
  }

  // Handles to nodes that are about to be freed must not reach them later.
  void ForgetInside(const pugi::xml_node& subtree, bool includingItself) {
    for (Entry& entry : entries_) {
      if (entry.node && (includingItself || entry.node != subtree) && Contains(subtree, entry.node)) entry.node = {};
    }
  }

  void Clear() {
    entries_.clear();
    document_.reset();
    source_.clear();
    encoding_ = pugi::encoding_utf8;
    byteOrderMark_ = false;
  }

  std::string source_;  // the parsed file; the document points into it
  pugi::xml_document document_;
  std::vector<Entry> entries_;
  pugi::xml_encoding encoding_ = pugi::encoding_utf8;
  bool byteOrderMark_ = false;
};

}  // namespace

std::unique_ptr<XmlDocument> CreateXmlDocument() { return std::make_unique<PugiDocument>(); }

}  // namespace quenta
