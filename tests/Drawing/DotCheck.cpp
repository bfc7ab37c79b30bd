#include "Drawing/DotCheck.h"

#include <cctype>

namespace TestSupport {

namespace {

class DotReader {
 public:
  DotReader(const std::string& text, DotGraph& graph) : text_(text), graph_(graph) {}

  std::string Graph() {
    if (Word() != "digraph") return Fail("\"digraph\" expected");
    graph_.name = Word();
    if (graph_.name.empty()) return Fail("a graph name expected");
    if (!Body(true)) return fault_;
    SkipSpace();
    if (at_ != text_.size()) return Fail("text after the graph");
    return "";
  }

 private:
  std::string Fail(const std::string& message) {
    if (fault_.empty()) fault_ = "offset " + std::to_string(at_) + ": " + message;
    return fault_;
  }

  void SkipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }

  bool Take(const char* symbol) {
    SkipSpace();
    const std::size_t n = std::char_traits<char>::length(symbol);
    if (text_.compare(at_, n, symbol) != 0) return false;
    at_ += n;
    return true;
  }

  // An identifier: a word, a number or a quoted string (returned unquoted);
  // "" when none stands here.
  std::string Word() {
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == '"') return Quoted();
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_' || text_[at_] == '.' ||
            (text_[at_] == '-' && at_ == start))) {
      ++at_;
    }
    return text_.substr(start, at_ - start);
  }

  std::string Quoted() {
    std::string value;
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
      if (text_[at_] == '\n') {
        Fail("a line end inside a quoted string");
        return "";
      }
      if (text_[at_] == '\\' && at_ + 1 < text_.size()) value += text_[at_++];
      value += text_[at_];
    }
    if (at_ >= text_.size()) {
      Fail("unfinished quoted string");
      return "";
    }
    ++at_;
    // An empty quoted string stands as two quotes, as "" means no identifier.
    return value.empty() ? std::string("\"\"") : value;
  }

  bool Attributes(DotAttributes& attributes) {
    if (!Take("[")) return true;
    while (!Take("]")) {
      const std::string name = Word();
      if (name.empty() || !Take("=")) return Fail("name = value expected in an attribute list").empty();
      const std::string value = Word();
      if (value.empty() || !fault_.empty()) return Fail("a value expected").empty();
      attributes[name] = value;
      Take(",");
    }
    return true;
  }

  bool Statement(bool top) {
    const std::string first = Word();
    if (first.empty() || !fault_.empty()) return Fail("a statement expected").empty();
    if (first == "subgraph") {
      const std::string name = Word();
      if (name.empty()) return Fail("a subgraph name expected").empty();
      graph_.subgraphs.push_back(name);
      return Body(false);
    }
    DotAttributes attributes;
    if (first == "graph" || first == "node" || first == "edge") {
      if (!Attributes(attributes)) return false;
      if (first == "graph" && top) graph_.graphAttributes = attributes;
    } else if (Take("->")) {
      DotEdge edge{first, Word(), {}};
      if (edge.to.empty() || !Attributes(edge.attributes)) return Fail("an edge target expected").empty();
      if (graph_.nodes.count(edge.from) == 0 || graph_.nodes.count(edge.to) == 0) {
        return Fail("edge " + edge.from + " -> " + edge.to + " joins an undeclared node").empty();
      }
      graph_.edges.push_back(edge);
    } else if (Take("=")) {
      if (Word().empty()) return Fail("a value expected").empty();
    } else {
      if (!Attributes(attributes)) return false;
      if (!graph_.nodes.emplace(first, attributes).second) return Fail("node " + first + " declared twice").empty();
    }
    if (!Take(";")) return Fail("\";\" expected").empty();
    return true;
  }

  bool Body(bool top) {
    if (!Take("{")) return Fail("\"{\" expected").empty();
    while (!Take("}")) {
      if (at_ >= text_.size()) return Fail("unfinished graph").empty();
      if (!Statement(top)) return false;
    }
    return true;
  }

  const std::string& text_;
  DotGraph& graph_;
  std::size_t at_ = 0;
  std::string fault_;
};

}  // namespace

std::string ParseDot(const std::string& text, DotGraph& graph) {
  graph = DotGraph{};
  DotReader reader(text, graph);
  return reader.Graph();
}

}  // namespace TestSupport
