#include "ProgressLine.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "Common/NumberText.h"

ProgressLine::ProgressLine() : enabled_(isatty(2) == 1), start_(Clock::now()), lastDrawn_(start_) {}

void ProgressLine::Update(long long done, long long total) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < std::chrono::seconds(1)) return;
  if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100) && done != total) return;
  std::string text = "\r";
  Netforge::AppendLong(text, static_cast<long>(done));
  text += '/';
  Netforge::AppendLong(text, static_cast<long>(total));
  text += " rows";
  std::fputs(text.c_str(), stderr);
  shown_ = true;
  lastDrawn_ = now;
}

void ProgressLine::Finish() {
  if (shown_) std::fputs("\n", stderr);
  shown_ = false;
}
