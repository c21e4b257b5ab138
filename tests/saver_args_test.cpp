// The screensaver's command line as Windows writes it, in all its spellings.
#include <gtest/gtest.h>

#include <vector>

#include "cli/saver_args.h"

namespace squarefield {
namespace {

SaverArgs Parse(std::vector<const char*> args, bool named_scr = true) {
  args.insert(args.begin(), "squarefield.scr");
  return ParseSaverArgs(static_cast<int>(args.size()), args.data(), named_scr);
}

TEST(SaverArgs, FullScreenSettingsAndPreviewInEverySpelling) {
  for (const char* s : {"/s", "/S", "-s", "-S"}) EXPECT_EQ(Parse({s}).mode, SaverArgs::Mode::Full) << s;
  for (const auto& args : std::vector<std::vector<const char*>>{{"/p", "1234"}, {"/p:1234"}, {"/P1234"}, {"-p", "1234"}, {"/p 1234"}}) {
    const SaverArgs a = Parse(args);
    EXPECT_EQ(a.mode, SaverArgs::Mode::Preview) << args[0];
    EXPECT_EQ(a.window, 1234u) << args[0];
    EXPECT_TRUE(a.problem.empty());
  }
  EXPECT_EQ(Parse({"/c"}).mode, SaverArgs::Mode::Settings);
  EXPECT_FALSE(Parse({"/c"}).window);
  EXPECT_EQ(Parse({"/c:5678"}).window, 5678u);
  EXPECT_EQ(Parse({}).mode, SaverArgs::Mode::Settings);  // an .scr opened as it is
}

TEST(SaverArgs, OtherCommandLinesAreTheProgramsOwn) {
  EXPECT_EQ(Parse({}, false).mode, SaverArgs::Mode::None);  // the .exe with no arguments
  EXPECT_EQ(Parse({"--headless"}).mode, SaverArgs::Mode::None);
  EXPECT_EQ(Parse({"--fps", "60"}).mode, SaverArgs::Mode::None);
  EXPECT_EQ(Parse({"/x"}).mode, SaverArgs::Mode::None);
  EXPECT_EQ(Parse({"/sx"}).mode, SaverArgs::Mode::None);
}

TEST(SaverArgs, APreviewWithoutAHandleIsAProblem) {
  EXPECT_FALSE(Parse({"/p"}).problem.empty());
  EXPECT_FALSE(Parse({"/p", "abc"}).problem.empty());
  EXPECT_FALSE(Parse({"/p:0"}).problem.empty());
  // Past 2^64: refused, not wrapped round into another handle.
  EXPECT_FALSE(Parse({"/p", "99999999999999999999"}).problem.empty());
  EXPECT_FALSE(Parse({"/p18446744073709551616"}).problem.empty());
  EXPECT_TRUE(Parse({"/p18446744073709551615"}).problem.empty());
}

}  // namespace
}  // namespace squarefield
