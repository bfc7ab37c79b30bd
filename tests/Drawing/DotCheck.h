// A small reader of the Graphviz DOT subset the drawings write, for tests:
// "digraph NAME { ... }" with attribute statements (graph, node, edge),
// node statements, edge statements "A -> B", "name = value" statements and
// nested "subgraph NAME { ... }", each statement ending in ";". Identifiers
// are words of letters, digits and "_", numbers, or double-quoted strings
// with backslash escapes. Edges must join nodes declared before them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace TestSupport {

using DotAttributes = std::map<std::string, std::string>;  // quoted values unquoted, escapes kept

struct DotEdge {
  std::string from;
  std::string to;
  DotAttributes attributes;
};

struct DotGraph {
  std::string name;
  DotAttributes graphAttributes;             // of the top-level "graph [...]"
  std::map<std::string, DotAttributes> nodes;  // every declared node
  std::vector<std::string> subgraphs;
  std::vector<DotEdge> edges;
};

// Returns "" and fills |graph| when |text| reads as such a graph; otherwise
// a message with the byte offset of the fault.
std::string ParseDot(const std::string& text, DotGraph& graph);

}  // namespace TestSupport
