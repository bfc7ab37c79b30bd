// A small checker of well-formed XML for the tests of the drawings: it reads
// a document the way a strict XML parser would and lists its elements, so
// that tests can both reject broken documents and count what they hold.
//
// It checks: valid UTF-8 throughout; an optional XML declaration; exactly
// one root element; start and end tags that match and nest; attributes with
// quoted values, each name once per element, without "<" or a bare "&";
// text without "<" or a bare "&" (only the five named entities and numeric
// character references); comments. It does not know DTDs, CDATA sections or
// namespaces, which the drawings never write.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace TestSupport {

struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;  // values with entities resolved
  std::string text;  // the element's own character data, entities resolved
};

// Returns "" when |document| is well-formed, filling |elements| in document
// order; otherwise a message with the byte offset of the fault.
std::string CheckXml(const std::string& document, std::vector<XmlElement>& elements);

// Elements named |name| whose class attribute is exactly |cls|.
int CountElements(const std::vector<XmlElement>& elements, const std::string& name, const std::string& cls);
// Elements of any name whose class attribute is exactly |cls|.
int CountClass(const std::vector<XmlElement>& elements, const std::string& cls);

}  // namespace TestSupport
