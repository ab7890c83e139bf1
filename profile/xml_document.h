// The few XML document operations the profile store needs, over whichever
// DOM the platform has. Elements are named by handles that stay valid for
// the life of the document that handed them out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quenta {

struct XmlElement {
  int id = 0;  // 0 names no element
  explicit operator bool() const { return id != 0; }
};

class XmlDocument {
 public:
  virtual ~XmlDocument() = default;

  // Fills the document from the file, keeping everything it holds (comments,
  // declaration, processing instructions, white space). False when the file
  // is missing, unreadable or not one well-formed document.
  virtual bool Load(const std::string& fileName) = 0;
  virtual XmlElement DocumentElement() = 0;
  // A new, unattached element.
  virtual XmlElement CreateElement(const char* name) = 0;
  // Appends child after the last child of parent; with no parent it becomes
  // the root. Returns the appended element.
  virtual XmlElement AppendChild(XmlElement parent, XmlElement child) = 0;
  // The first direct child element of that name, in document order.
  virtual XmlElement SelectSingleNode(XmlElement parent, const char* name) = 0;
  // All text inside the element, concatenated.
  virtual std::string Text(XmlElement element) = 0;
  // Replaces the whole content of the element with one text.
  virtual void SetText(XmlElement element, const std::string& text) = 0;
  virtual XmlElement ParentNode(XmlElement element) = 0;
  virtual void RemoveChild(XmlElement parent, XmlElement child) = 0;
  // The whole document as the bytes of its file, in the encoding it was loaded in.
  virtual bool Serialize(std::string& bytes) = 0;
  // A digest of everything the document holds but its XML declaration,
  // whatever the file's encoding and layout: the same content gives the same digest.
  virtual bool ContentDigest(std::uint64_t& digest) = 0;
};

// Null when the platform cannot create a document object.
std::unique_ptr<XmlDocument> CreateXmlDocument();

}  // namespace quenta
