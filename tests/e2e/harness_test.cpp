// The parts of the end-to-end harness that need no Wine: reading the driver's output and
// running host commands. A mistake here would show up as baffling end-to-end failures. They
// run real processes against real deadlines, so they are end-to-end tests by label.
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

TEST(ParseRecords, FieldsTitlesAndBareWords) {
  struct Case {
    const char* out;
    std::vector<Record> want;
  };
  const Case cases[] = {
      {"exit=0xFFFFFFFF\n", {{{"exit", "0xFFFFFFFF"}}}},
      {"hwnd=0x1 visible=0 title=ミルテナ x=1 y\n",
       {{{"hwnd", "0x1"}, {"visible", "0"}, {"title", "ミルテナ x=1 y"}}}},
      {"class=Edit text=a\\\\b\\r\\nc\r\n", {{{"class", "Edit"}, {"text", "a\\b\r\nc"}}}},
      {"text=\n", {{{"text", ""}}}},
      {"none\n\nhex=00 size=2", {{{"none", ""}}, {{"hex", "00"}, {"size", "2"}}}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseRecords(c.out), c.want) << c.out;
}

TEST(ParseNumbers, HexAndDecimal) {
  EXPECT_EQ(Number("0x80000"), 0x80000);
  EXPECT_EQ(Number("0xFFFFFFFF"), 0xFFFFFFFFll);
  EXPECT_EQ(Number("552"), 552);
  EXPECT_EQ(Number("-1"), -1);
}

TEST(RunCommand, CapturesOutputAndStatus) {
  CommandResult r = RunCommand({"sh", "-c", "echo out; echo err >&2; exit 3"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.err, "err\n");
  EXPECT_FALSE(r.timedOut);

  CommandResult in = RunCommand({"cat"}, 5s, std::string("abc"));
  EXPECT_EQ(in.out, "abc");
}

TEST(RunCommand, KillsAtTheDeadline) {
  CommandResult r = RunCommand({"sleep", "30"}, 100ms);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(r.signal, 9);
}

// A child that leaves a grandchild holding its output open still counts as finished.
TEST(RunCommand, DoesNotWaitForGrandchildrenHoldingTheOutput) {
  auto start = std::chrono::steady_clock::now();
  CommandResult r = RunCommand({"sh", "-c", "sleep 30 & echo $!"}, 10s);
  EXPECT_FALSE(r.timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  pid_t grandchild = static_cast<pid_t>(Number(r.out));
  ASSERT_GT(grandchild, 0) << r.out;
  kill(grandchild, SIGKILL);
}

TEST(Process, ReportsRunningAndKill) {
  Process p = Process::Start({"sleep", "30"}, false);
  EXPECT_TRUE(p.Running());
  p.Kill();
  EXPECT_FALSE(p.Running());
}

TEST(RunCommand, MissingProgram) {
  CommandResult r = RunCommand({"no-such-program-here"});
  EXPECT_EQ(r.exitCode, 127);
}

}  // namespace
}  // namespace e2e
