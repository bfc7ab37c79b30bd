#include "Common/Console.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "KQmessage/KQML.h"
#include "Support/ConsoleRecorder.h"

namespace {

using Netforge::ConsoleStream;

// By default each text goes to its own standard stream, unchanged. (The one
// place where the tests capture the process's streams: everything else
// records through a sink.)
TEST(Console, DefaultsToTheStandardStreams) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Netforge::WriteConsole(ConsoleStream::Output, "Frozen\n");
  Netforge::WriteConsole(ConsoleStream::Error, "special character unexpected\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "special character unexpected\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Frozen\n");
}

TEST(Console, ASinkReceivesEveryTextUntilItIsReplaced) {
  std::vector<std::string> seen;
  Netforge::ConsoleSink previous = Netforge::SetConsoleSink([&](ConsoleStream stream, std::string_view text) {
    seen.push_back((stream == ConsoleStream::Output ? "out:" : "err:") + std::string(text));
  });
  EXPECT_FALSE(previous);  // the standard streams were in force
  EXPECT_FALSE(CheckToken(':'));  // a library text, through the sink
  Netforge::WriteConsole(ConsoleStream::Output, "word\n");
  Netforge::ConsoleSink mine = Netforge::SetConsoleSink(nullptr);
  EXPECT_TRUE(mine);
  EXPECT_EQ(seen, (std::vector<std::string>{"err:special character unexpected\n", "out:word\n"}));

  testing::internal::CaptureStderr();
  EXPECT_FALSE(CheckToken(':'));  // standard error again
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "special character unexpected\n");
  EXPECT_EQ(seen.size(), 2u);
}

TEST(Console, ScopedSinksNestAndRestore) {
  TestSupport::ConsoleRecorder outer;
  {
    TestSupport::ConsoleRecorder inner;
    Netforge::WriteConsole(ConsoleStream::Error, "a\n");
    EXPECT_EQ(inner.TakeError(), "a\n");
  }
  Netforge::WriteConsole(ConsoleStream::Error, "b\n");
  EXPECT_EQ(outer.TakeError(), "b\n");
  EXPECT_EQ(outer.TakeOutput(), "");
}

// A sink may write or replace the sink itself, and texts may come from
// several threads while the sink is replaced: none is lost or torn.
TEST(Console, SinksMayBeUsedAndReplacedFromSeveralThreads) {
  TestSupport::ConsoleRecorder recorder;
  std::atomic<int> inner{0};
  {
    Netforge::ScopedConsoleSink reentrant([&](ConsoleStream stream, std::string_view text) {
      ++inner;
      Netforge::ScopedConsoleSink nested([](ConsoleStream, std::string_view) {});
      Netforge::WriteConsole(stream, text);  // goes to the nested sink
    });
    Netforge::WriteConsole(ConsoleStream::Output, "x\n");
  }
  EXPECT_EQ(inner.load(), 1);
  EXPECT_EQ(recorder.TakeOutput(), "");

  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([] {
      for (int k = 0; k < 1000; ++k) Netforge::WriteConsole(ConsoleStream::Error, "line\n");
    });
  }
  for (std::thread& writer : writers) writer.join();
  const std::string all = recorder.TakeError();
  EXPECT_EQ(all.size(), 4u * 1000u * 5u);
  EXPECT_EQ(all.find("lline"), std::string::npos);
}

}  // namespace
