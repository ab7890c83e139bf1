#include "sim/profile_file.h"

#include <cstdint>
#include <vector>

#include "sim/whole_file.h"

namespace quenta::sim {

namespace {

struct Element {
  std::string name;
  std::size_t contentStart = 0;  // just after the start tag's '>'
  std::size_t contentEnd = 0;    // at the end tag's '<' (contentStart when self-closing)
  bool selfClosing = false;
  std::string text;              // decoded text of the content, descendants included
  std::vector<Element> children;
};

struct XmlError {
  std::string message;
};

constexpr int kMaxDepth = 256;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(const std::string& xml) : xml_(xml) {}

  // The root element, if the document has one.
  std::optional<Element> Document() {
    if (xml_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
    SkipMisc();
    std::optional<Element> root;
    if (at_ < xml_.size()) {
      if (xml_[at_] != '<') Throw("text outside the root element");
      root = ParseElement(0);
      SkipMisc();
      if (at_ < xml_.size()) Throw("content after the root element");
    }
    return root;
  }

 private:
  [[noreturn]] void Throw(const std::string& what) {
    throw XmlError{what + " at byte " + std::to_string(at_)};
  }

  bool At(const char* literal) const { return xml_.compare(at_, std::char_traits<char>::length(literal), literal) == 0; }

  void SkipPast(const char* terminator) {
    const std::size_t found = xml_.find(terminator, at_);
    if (found == std::string::npos) Throw(std::string("missing '") + terminator + "'");
    at_ = found + std::char_traits<char>::length(terminator);
  }

  // Blanks, comments, processing instructions and a document type, between the top-level parts.
  void SkipMisc() {
    for (;;) {
      while (at_ < xml_.size() && IsSpace(xml_[at_])) ++at_;
      if (At("<?")) SkipPast("?>");
      else if (At("<!--")) SkipPast("-->");
      else if (At("<!DOCTYPE")) SkipDoctype();
      else return;
    }
  }

  void SkipDoctype() {
    int brackets = 0;
    for (; at_ < xml_.size(); ++at_) {
      const char c = xml_[at_];
      if (c == '[') ++brackets;
      else if (c == ']') --brackets;
      else if (c == '>' && brackets <= 0) {
        ++at_;
        return;
      }
    }
    Throw("unterminated document type");
  }

  std::string Name() {
    const std::size_t start = at_;
    while (at_ < xml_.size() && !IsSpace(xml_[at_]) && xml_[at_] != '/' && xml_[at_] != '>' && xml_[at_] != '=')
      ++at_;
    if (at_ == start) Throw("missing element name");
    return xml_.substr(start, at_ - start);
  }

  Element ParseElement(int depth) {
    if (depth > kMaxDepth) Throw("elements nested too deeply");
    ++at_;  // '<'
    Element element;
    element.name = Name();
    SkipAttributes();
    if (At("/>")) {
      at_ += 2;
      element.selfClosing = true;
      element.contentStart = element.contentEnd = at_;
      return element;
    }
    ++at_;  // '>'
    element.contentStart = at_;
    ParseContent(element, depth);
    return element;
  }

  void SkipAttributes() {
    while (at_ < xml_.size() && xml_[at_] != '>' && !At("/>")) {
      const char c = xml_[at_];
      if (c == '"' || c == '\'') {
        const std::size_t close = xml_.find(c, at_ + 1);
        if (close == std::string::npos) Throw("unterminated attribute value");
        at_ = close + 1;
      } else if (c == '<') {
        Throw("'<' inside a tag");
      } else {
        ++at_;
      }
    }
    if (at_ >= xml_.size()) Throw("unterminated tag");
  }

  void ParseContent(Element& element, int depth) {
    for (;;) {
      if (at_ >= xml_.size()) Throw("missing end tag of '" + element.name + "'");
      if (At("</")) {
        element.contentEnd = at_;
        at_ += 2;
        if (Name() != element.name) Throw("end tag does not match '" + element.name + "'");
        while (at_ < xml_.size() && IsSpace(xml_[at_])) ++at_;
        if (at_ >= xml_.size() || xml_[at_] != '>') Throw("bad end tag");
        ++at_;
        return;
      }
      if (At("<!--")) {
        SkipPast("-->");
      } else if (At("<![CDATA[")) {
        at_ += 9;
        const std::size_t close = xml_.find("]]>", at_);
        if (close == std::string::npos) Throw("unterminated CDATA section");
        element.text += xml_.substr(at_, close - at_);
        at_ = close + 3;
      } else if (At("<?")) {
        SkipPast("?>");
      } else if (xml_[at_] == '<') {
        element.children.push_back(ParseElement(depth + 1));
        element.text += element.children.back().text;
      } else if (xml_[at_] == '&') {
        element.text += Entity();
      } else {
        element.text += xml_[at_++];
      }
    }
  }

  std::string Entity() {
    const std::size_t semicolon = xml_.find(';', at_);
    if (semicolon == std::string::npos || semicolon - at_ > 12) Throw("bad entity");
    const std::string name = xml_.substr(at_ + 1, semicolon - at_ - 1);
    at_ = semicolon + 1;
    if (name == "lt") return "<";
    if (name == "gt") return ">";
    if (name == "amp") return "&";
    if (name == "quot") return "\"";
    if (name == "apos") return "'";
    if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      const std::string digits = name.substr(hex ? 2 : 1);
      if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        Throw("bad character reference");
      const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
      if (code == 0 || code > 0x10FFFF) Throw("bad character reference");
      std::string out;
      AppendUtf8(out, static_cast<std::uint32_t>(code));
      return out;
    }
    Throw("unknown entity '&" + name + ";'");
  }

  const std::string& xml_;
  std::size_t at_ = 0;
};

const Element* FirstChild(const Element& parent, const std::string& name) {
  for (const Element& child : parent.children)
    if (child.name == name) return &child;
  return nullptr;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else out += c;
  }
  return out;
}

std::string KeyElement(const std::string& key, const std::string& value) {
  return "<" + key + ">" + Escape(value) + "</" + key + ">";
}

// Appends `inside` as the element's last content, opening a self-closing tag up.
std::string AppendInside(const std::string& xml, const Element& element, const std::string& inside) {
  if (!element.selfClosing) return xml.substr(0, element.contentEnd) + inside + xml.substr(element.contentEnd);
  const std::size_t slash = element.contentStart - 2;  // the "/>" that closes the tag
  return xml.substr(0, slash) + ">" + inside + "</" + element.name + ">" + xml.substr(element.contentStart);
}

std::optional<Element> ParseRoot(const std::string& xml, std::string& error) {
  try {
    std::optional<Element> root = Reader(xml).Document();
    error.clear();
    return root;
  } catch (const XmlError& bad) {
    error = bad.message;
    return std::nullopt;
  }
}

}  // namespace

ProfileRead ReadProfileText(const std::string& xml, const std::string& section, const std::string& key) {
  ProfileRead read;
  const std::optional<Element> root = ParseRoot(xml, read.error);
  if (!read.error.empty()) {
    read.wellFormed = false;
    return read;
  }
  const Element* sectionElement = root ? FirstChild(*root, section) : nullptr;
  const Element* keyElement = sectionElement ? FirstChild(*sectionElement, key) : nullptr;
  if (keyElement != nullptr) read.text = keyElement->text;
  return read;
}

std::optional<std::string> SetProfileText(const std::string& xml, const std::string& section, const std::string& key,
                                          const std::string& value, std::string& error) {
  const std::optional<Element> root = ParseRoot(xml, error);
  if (!error.empty()) return std::nullopt;
  const std::string sectionElement = "<" + section + ">" + KeyElement(key, value) + "</" + section + ">";
  if (!root) {
    const bool blank = xml.find_first_not_of(" \t\r\n") == std::string::npos;
    return (blank ? std::string("<?xml version=\"1.0\"?>\n") : xml) + "<profile>" + sectionElement + "</profile>\n";
  }
  const Element* existingSection = FirstChild(*root, section);
  if (existingSection == nullptr) return AppendInside(xml, *root, sectionElement);
  const Element* existingKey = FirstChild(*existingSection, key);
  if (existingKey == nullptr) return AppendInside(xml, *existingSection, KeyElement(key, value));
  if (existingKey->selfClosing) return AppendInside(xml, *existingKey, Escape(value));
  return xml.substr(0, existingKey->contentStart) + Escape(value) + xml.substr(existingKey->contentEnd);
}

ProfileRead ReadProfileFile(const std::string& path, const std::string& section, const std::string& key) {
  const std::optional<std::string> xml = ReadWholeFile(path);
  return ReadProfileText(xml.value_or(std::string()), section, key);
}

bool SetProfileFile(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value, std::string& error) {
  const std::optional<std::string> edited =
      SetProfileText(ReadWholeFile(path).value_or(std::string()), section, key, value, error);
  if (!edited) return false;
  if (WriteWholeFile(path, *edited)) return true;
  error = "cannot write " + path;
  return false;
}

}  // namespace quenta::sim
