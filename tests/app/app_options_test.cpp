#include "linux/app/app_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelmora::app {
namespace {

AppOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "pelmora");
  return parseOptions(static_cast<int>(args.size()), args.data());
}

TEST(AppOptions, PlainRunAndDemo) {
  EXPECT_EQ(parse({}).action, AppAction::Run);
  EXPECT_FALSE(parse({}).demo);
  const AppOptions demo = parse({"--demo"});
  EXPECT_EQ(demo.action, AppAction::Run);
  EXPECT_TRUE(demo.demo);
}

TEST(AppOptions, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(parse({"--help"}).action, AppAction::Help);
  EXPECT_EQ(parse({"-h"}).action, AppAction::Help);
  EXPECT_EQ(parse({"--version"}).action, AppAction::Version);
  EXPECT_EQ(parse({"--bogus", "--help"}).action, AppAction::Help);
  EXPECT_EQ(parse({"--demo", "--version"}).action, AppAction::Version);
}

TEST(AppOptions, UnknownOptionsAndArgumentsAreRefused) {
  const AppOptions bad = parse({"--demo", "--dmeo"});
  EXPECT_EQ(bad.action, AppAction::Error);
  EXPECT_EQ(bad.error, "unrecognized option '--dmeo'");
  EXPECT_EQ(parse({"file.png"}).error, "unexpected argument 'file.png'");
  EXPECT_EQ(parse({"-"}).action, AppAction::Error);
  EXPECT_EQ(parse({""}).action, AppAction::Error);
}

TEST(AppOptions, TextsAreSingleLinesWhereTheyMustBe) {
  const std::string line = usageErrorLine("pelmora", "unrecognized option '-x'");
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(line.rfind("pelmora: unrecognized option '-x'", 0), 0u);
  EXPECT_EQ(errorLine("pelmora", "cannot open the display"), "pelmora: cannot open the display\n");
  EXPECT_EQ(versionText(), "pelmora 2026-10-17\n");
  EXPECT_NE(usageText("pelmora").find("--demo"), std::string::npos);
}

}  // namespace
}  // namespace pelmora::app
