#include "Drawing/XmlCheck.h"

#include <cctype>
#include <cstdint>
#include <set>

namespace TestSupport {

namespace {

bool ValidUtf8(const std::string& s, std::size_t& bad) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 && c >= 0xC2 ? 2 : (c >> 4) == 0xE ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
      bad = i;
      return false;
    }
    std::uint32_t code = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) {
        bad = i;
        return false;
      }
      code = (code << 6) | (d & 0x3F);
    }
    const bool overlong = (n == 3 && code < 0x800) || (n == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        (code < 0x20 && code != '\t' && code != '\n' && code != '\r')) {
      bad = i;
      return false;
    }
    i += n;
  }
  return true;
}

class Reader {
 public:
  Reader(const std::string& doc, std::vector<XmlElement>& elements) : doc_(doc), elements_(elements) {}

  std::string Document() {
    std::size_t bad = 0;
    if (!ValidUtf8(doc_, bad)) return Fail(bad, "not UTF-8 or a forbidden character");
    if (doc_.compare(0, 5, "<?xml") == 0) {
      const std::size_t end = doc_.find("?>");
      if (end == std::string::npos) return Fail(0, "unfinished declaration");
      at_ = end + 2;
    }
    SkipMisc();
    if (!Fault().empty()) return Fault();
    if (at_ >= doc_.size() || doc_[at_] != '<') return Fail(at_, "no root element");
    Element();
    if (!Fault().empty()) return Fault();
    SkipMisc();
    if (!Fault().empty()) return Fault();
    if (at_ != doc_.size()) return Fail(at_, "content after the root element");
    return "";
  }

 private:
  const std::string& Fault() const { return fault_; }

  std::string Fail(std::size_t where, const std::string& message) {
    if (fault_.empty()) fault_ = "offset " + std::to_string(where) + ": " + message;
    return fault_;
  }

  bool Starts(const char* text) const { return doc_.compare(at_, std::char_traits<char>::length(text), text) == 0; }

  void SkipSpace() {
    while (at_ < doc_.size() && std::isspace(static_cast<unsigned char>(doc_[at_]))) ++at_;
  }

  void Comment() {
    const std::size_t end = doc_.find("-->", at_ + 4);
    if (end == std::string::npos) {
      Fail(at_, "unfinished comment");
      return;
    }
    at_ = end + 3;
  }

  // White space and comments outside the root element.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (!Starts("<!--")) return;
      Comment();
      if (!fault_.empty()) return;
    }
  }

  std::string Name() {
    const std::size_t start = at_;
    while (at_ < doc_.size()) {
      const unsigned char c = static_cast<unsigned char>(doc_[at_]);
      if (!(std::isalnum(c) || c == '-' || c == '_' || c == ':' || c == '.' || c >= 0x80)) break;
      ++at_;
    }
    if (at_ == start || std::isdigit(static_cast<unsigned char>(doc_[start])) || doc_[start] == '-') {
      Fail(start, "a name was expected");
      return "";
    }
    return doc_.substr(start, at_ - start);
  }

  // Character data up to (not including) |stop|, entities resolved.
  std::string CharData(char stop) {
    std::string out;
    while (at_ < doc_.size() && doc_[at_] != stop) {
      const char c = doc_[at_];
      if (c == '<') {
        Fail(at_, "\"<\" in character data");
        return out;
      }
      if (c != '&') {
        out += c;
        ++at_;
        continue;
      }
      const std::size_t end = doc_.find(';', at_);
      if (end == std::string::npos || end - at_ > 10) {
        Fail(at_, "a bare \"&\"");
        return out;
      }
      const std::string entity = doc_.substr(at_ + 1, end - at_ - 1);
      static const std::map<std::string, char> kNamed = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
      if (kNamed.count(entity) != 0) {
        out += kNamed.at(entity);
      } else if (entity.size() > 1 && entity[0] == '#') {
        out += '?';  // numeric reference; its value does not matter here
      } else {
        Fail(at_, "unknown entity &" + entity + ";");
        return out;
      }
      at_ = end + 1;
    }
    return out;
  }

  void Attributes(XmlElement& element) {
    for (;;) {
      const std::size_t before = at_;
      SkipSpace();
      if (at_ >= doc_.size()) {
        Fail(at_, "unfinished start tag");
        return;
      }
      if (doc_[at_] == '>' || doc_[at_] == '/') return;
      if (at_ == before) {
        Fail(at_, "attributes must be apart by white space");
        return;
      }
      const std::size_t nameAt = at_;
      const std::string name = Name();
      if (!fault_.empty()) return;
      SkipSpace();
      if (at_ >= doc_.size() || doc_[at_] != '=') {
        Fail(at_, "\"=\" expected");
        return;
      }
      ++at_;
      SkipSpace();
      if (at_ >= doc_.size() || (doc_[at_] != '"' && doc_[at_] != '\'')) {
        Fail(at_, "a quoted value expected");
        return;
      }
      const char quote = doc_[at_++];
      const std::string value = CharData(quote);
      if (!fault_.empty()) return;
      if (at_ >= doc_.size()) {
        Fail(at_, "unfinished attribute value");
        return;
      }
      ++at_;
      if (!element.attributes.emplace(name, value).second) {
        Fail(nameAt, "attribute " + name + " given twice");
        return;
      }
    }
  }

  void Element() {
    ++at_;  // '<'
    XmlElement element;
    element.name = Name();
    if (!fault_.empty()) return;
    Attributes(element);
    if (!fault_.empty()) return;
    const std::size_t index = elements_.size();
    elements_.push_back(element);
    if (Starts("/>")) {
      at_ += 2;
      return;
    }
    ++at_;  // '>'
    Content(index);
  }

  void Content(std::size_t index) {
    for (;;) {
      const std::string text = CharData('<');
      if (!fault_.empty()) return;
      elements_[index].text += text;
      if (at_ >= doc_.size()) {
        Fail(at_, "element " + elements_[index].name + " never ends");
        return;
      }
      if (Starts("<!--")) {
        Comment();
      } else if (Starts("</")) {
        at_ += 2;
        const std::size_t nameAt = at_;
        const std::string name = Name();
        if (!fault_.empty()) return;
        if (name != elements_[index].name) {
          Fail(nameAt, "end tag " + name + " does not match " + elements_[index].name);
          return;
        }
        SkipSpace();
        if (at_ >= doc_.size() || doc_[at_] != '>') {
          Fail(at_, "\">\" expected");
          return;
        }
        ++at_;
        return;
      } else {
        Element();
      }
      if (!fault_.empty()) return;
    }
  }

  const std::string& doc_;
  std::vector<XmlElement>& elements_;
  std::size_t at_ = 0;
  std::string fault_;
};

}  // namespace

std::string CheckXml(const std::string& document, std::vector<XmlElement>& elements) {
  elements.clear();
  Reader reader(document, elements);
  return reader.Document();
}

int CountElements(const std::vector<XmlElement>& elements, const std::string& name, const std::string& cls) {
  int n = 0;
  for (const XmlElement& e : elements) {
    const auto found = e.attributes.find("class");
    if (e.name == name && found != e.attributes.end() && found->second == cls) ++n;
  }
  return n;
}

int CountClass(const std::vector<XmlElement>& elements, const std::string& cls) {
  int n = 0;
  for (const XmlElement& e : elements) {
    const auto found = e.attributes.find("class");
    if (found != e.attributes.end() && found->second == cls) ++n;
  }
  return n;
}

}  // namespace TestSupport
