// The command line: what is accepted, and what is refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/options.h"

namespace squarefield {
namespace {

std::optional<int> Parse(std::vector<const char*> args, Options& options) {
  args.insert(args.begin(), "squarefield");
  return ParseOptions(static_cast<int>(args.size()), args.data(), options);
}

TEST(Options, DefaultsAndValues) {
  Options o;
  EXPECT_FALSE(Parse({}, o));
  EXPECT_FALSE(o.headless);
  EXPECT_EQ(o.width, 1024);
  EXPECT_EQ(o.height, 768);
  Options p;
  EXPECT_FALSE(Parse({"--headless", "--size", "1920x1080", "--frames", "3", "--seed", "7"}, p));
  EXPECT_EQ(p.width, 1920);
  EXPECT_EQ(p.height, 1080);
  EXPECT_EQ(p.frames, 3);
  EXPECT_EQ(p.seed, 7u);
}

TEST(Options, BadValuesAreUsageErrors) {
  const std::vector<std::vector<const char*>> bad = {
      {"--headless", "--size", "0x768"},      {"--headless", "--size", "1024"},
      {"--headless", "--size", "x"},          {"--headless", "--size", "10x-5"},
      {"--headless", "--size", "99999x99999"}, {"--headless", "--frames", "0"},
      {"--headless", "--frames", "many"},     {"--headless", "--seed", "-1"},
      {"--bogus"},                            {"--png", "x.png"},
      {"--headless", "--trace", "/nonexistent-dir/t.txt"},
      {"--headless", "--png", "/"},
  };
  for (const auto& args : bad) {
    Options o;
    EXPECT_EQ(Parse(args, o), 2) << args.back();
  }
}

TEST(Options, CheckingAnOutputLeavesNoFileBehind) {
  const auto path = std::filesystem::temp_directory_path() / "squarefield-options-test.png";
  std::filesystem::remove(path);
  Options o;
  const std::string p = path.string();
  EXPECT_FALSE(Parse({"--headless", "--png", p.c_str()}, o));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace squarefield
