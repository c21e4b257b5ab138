// Start-up, the main loop and shut-down, seen through the calls they make.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/program.h"
#include "rig.h"
#include "shell/run.h"

namespace squarefield::testing {
namespace {

HeadlessScript EscapeFromPoll(std::int64_t poll) {
  HeadlessScript script;
  script.escape_from_poll = poll;
  return script;
}

// The call names in order, with runs of the same call folded: "FillRect x802".
std::vector<std::string> Outline(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  std::string last;
  int run = 0;
  auto flush = [&] {
    if (run > 0) out.push_back(run == 1 ? last : last + " x" + std::to_string(run));
  };
  for (const auto& line : lines) {
    const std::string name = line.substr(0, line.find(' '));
    if (name == last) {
      ++run;
    } else {
      flush();
      last = name;
      run = 1;
    }
  }
  flush();
  return out;
}

TEST(Lifecycle, EscapeHeldAtStartDrawsExactlyOneFrameInTheStartUpOrder) {
  Rig rig(1024, 768, EscapeFromPoll(1));
  ASSERT_FALSE(rig.Run());
  const auto lines = rig.Lines();
  // Start-up ends at Show; what comes after is the loop and shut-down.
  const auto show = std::find(lines.begin(), lines.end(), "Show");
  ASSERT_NE(show, lines.end());
  const std::vector<std::string> startup(lines.begin(), show), loop(show, lines.end());
  std::vector<std::string> names;
  for (const auto& line : startup) names.push_back(line.substr(0, line.find(' ')));
  // The start-up, then 401 spawns of Rnd, Timer, Randomize, Rnd, Rnd.
  const std::vector<std::string> head = {"SetWindowPos",     "GetDesktopWindow", "GetWindowDC", "ShowCursor",
                                         "CreateSolidBrush", "CreateSolidBrush", "Randomize"};
  ASSERT_EQ(names.size(), head.size() + 5 * 401);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 7), head);
  for (std::size_t i = head.size(); i < names.size(); i += 5) {
    const std::vector<std::string> spawn(names.begin() + i, names.begin() + i + 5);
    ASSERT_EQ(spawn, (std::vector<std::string>{"Rnd", "Timer", "Randomize", "Rnd", "Rnd"}));
  }
  // One frame; spawns that start outside the field respawn in it.
  std::vector<std::string> frame;
  for (const auto& line : Outline(loop))
    if (line.rfind("Rnd", 0) != 0 && line.rfind("Timer", 0) != 0 && line.rfind("Randomize", 0) != 0) frame.push_back(line);
  EXPECT_EQ(rig.Calls("FillRect").size(), 802u);
  EXPECT_EQ(frame.front(), "Show");
  EXPECT_EQ(frame[1], "GetAsyncKeyState");
  const std::vector<std::string> tail = {"DoEvents", "Unload", "ShowCursor", "DeleteObject x2"};
  EXPECT_EQ(std::vector<std::string>(frame.end() - 4, frame.end()), tail);

  EXPECT_EQ(lines[0], "SetWindowPos 1 -1 0 0 1024 768 0x0050");
  EXPECT_EQ(lines[2], "GetWindowDC 2 -> 3");
  EXPECT_EQ(lines[3], "ShowCursor 0 -> -1");
  EXPECT_EQ(lines[4], "CreateSolidBrush 0x000000 -> 4");
  EXPECT_EQ(lines[5], "CreateSolidBrush 0xFFFFFF -> 5");
  EXPECT_EQ(rig.Calls("GetAsyncKeyState")[0], "GetAsyncKeyState 27 -> -32767");
  const auto end = rig.Calls("ShowCursor");
  EXPECT_EQ(end, (std::vector<std::string>{"ShowCursor 0 -> -1", "ShowCursor 1 -> 0"}));
  EXPECT_EQ(rig.Calls("DeleteObject"), (std::vector<std::string>{"DeleteObject 4", "DeleteObject 5"}));
  EXPECT_TRUE(rig.screen.Topmost());
  EXPECT_TRUE(rig.screen.Visible());  // shown by the placement call itself
  EXPECT_FALSE(rig.window.Loaded());
  EXPECT_EQ(rig.screen.LiveBrushes(), 0);
  EXPECT_EQ(rig.form.Counter, 401);
}

TEST(Lifecycle, EscapeAtTheNthPollDrawsNFrames) {
  Rig rig(320, 200, EscapeFromPoll(5));
  ASSERT_FALSE(rig.Run());
  EXPECT_EQ(rig.Calls("FillRect").size(), 5u * 802);
  EXPECT_EQ(rig.Calls("DoEvents").size(), 5u);
  const auto polls = rig.Calls("GetAsyncKeyState");
  ASSERT_EQ(polls.size(), 5u);
  EXPECT_EQ(polls[3], "GetAsyncKeyState 27 -> 0");
  // Something is on the screen after a few frames.
  int lit = 0;
  for (auto pixel : rig.fb.Picture()) lit += pixel != 0;
  EXPECT_GT(lit, 100);
}

TEST(Lifecycle, FailedDeviceContextAndBrushesStillRunUntilEscape) {
  HeadlessScript script = EscapeFromPoll(3);
  script.fail_get_window_dc = true;
  script.fail_create_brush = true;
  Rig rig(320, 200, script);
  ASSERT_FALSE(rig.Run());
  EXPECT_EQ(rig.Calls("DoEvents").size(), 3u);
  for (auto pixel : rig.fb.Picture()) ASSERT_EQ(pixel, 0u);
  EXPECT_EQ(rig.screen.CursorCount(), 0);
}

TEST(Lifecycle, RuntimeErrorEndsTheRunAndTheHostRestoresTheCursorAndBrushes) {
  // S = 40000 pixels: some spawn distance overflows 16 bits during start-up.
  Rig rig(40000, 4, EscapeFromPoll(1));
  rig.runtime.rnd = {0.9f};
  const auto error = rig.Run();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Report(), "Run-time error 6: Overflow (in ReDimVar)");
  EXPECT_EQ(rig.screen.CursorCount(), -1);  // the form itself gave nothing back
}

// The shell's own run gives them back on that path, with nobody's help.
TEST(Lifecycle, TheShellRestoresTheCursorAndBrushesAfterARuntimeError) {
  auto host = MakeHeadlessHost(40000, 8);
  RunConfig config;
  config.frames = 500;
  config.seed = 1;
  std::FILE* trace = std::tmpfile();
  const auto failure = RunForm(*host, config, Recording{trace, {}});
  ASSERT_TRUE(failure && failure->kind == Failure::Kind::RuntimeError);
  EXPECT_EQ(failure->lines, std::vector<std::string>{"Run-time error 6: Overflow (in ReDimVar)"});
  EXPECT_EQ(host->drawing().CursorCount(), 0);
  EXPECT_EQ(host->drawing().LiveBrushes(), 0);
  // Through the traced calls, so the trace says so too.
  std::rewind(trace);
  std::string last_cursor;
  int deletes = 0;
  char line[256];
  while (std::fgets(line, sizeof line, trace)) {
    const std::string text(line);
    if (text.rfind("ShowCursor", 0) == 0) last_cursor = text;
    deletes += text.rfind("DeleteObject", 0) == 0;
  }
  std::fclose(trace);
  EXPECT_EQ(last_cursor, "ShowCursor 1 -> 0\n");
  EXPECT_EQ(deletes, 2);
}

}  // namespace
}  // namespace squarefield::testing
