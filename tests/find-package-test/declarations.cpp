// A caller of the structured messages written in the plain style of older
// code: cursors of type char*, results and error structures held in raw
// pointers and deleted by hand. It must keep compiling against an installed
// Netforge; it exits with 0 when every call behaves as documented.
#include <cstdio>
#include <cstring>

#include "KQmessage/KQML.h"

static int failures = 0;

static void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "declarations: %s\n", what);
    ++failures;
  }
}

int main() {
  char text[] = "(tell :content (ask :x 1)) (reply :x 2)";
  char* cursor = text;
  TKQstructure* first = Parse(cursor);
  Check(std::strcmp(first->GetHead(), "tell") == 0, "Parse(char*&) reads the first structure");
  Check(cursor == text + 26, "Parse(char*&) leaves the cursor behind it");
  TKQstructure* second = ParseMessage(cursor);
  Check(std::strcmp(second->Get("x")->GetHead(), "2") == 0, "ParseMessage(char*&) reads the rest");
  delete first;
  delete second;

  // The catcher owns the structure an Error carries and deletes it.
  char broken[] = "(tell :x 1) extra";
  cursor = broken;
  try {
    TKQstructure* never = ParseMessage(cursor);
    delete never;
    Check(false, "a broken message throws");
  } catch (TKQstructure::Error e) {
    TKQstructure* reason = e.structure;
    Check(reason != NULL && std::strcmp(reason->GetHead(), "error") == 0, "Error::structure is the error");
    delete e.structure;
  }
  Check(cursor == broken, "a failed parse leaves the cursor");

  try {
    ToInteger("many");
    Check(false, "ToInteger throws for a word");
  } catch (TKQstructure::Error& e) {
    Check(std::strcmp(e.structure->Get("integer-expected")->GetHead(), "many") == 0, "the word is named");
    delete e.structure;
  }
  return failures == 0 ? 0 : 1;
}
