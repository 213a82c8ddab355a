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

TEST(AppOptions, StartOptionsDeviceChoiceAndCaptures) {
  const AppOptions o = parse({"--scale", "3", "--on-top", "--serial=SN 1", "--record", "out.cap"});
  EXPECT_EQ(o.action, AppAction::Run) << o.error;
  EXPECT_EQ(o.scale, 3);
  EXPECT_TRUE(o.onTop);
  EXPECT_EQ(o.serial, "SN 1");
  EXPECT_EQ(o.record, "out.cap");
  EXPECT_EQ(parse({"--replay=in.cap", "--scale=6"}).replay, "in.cap");
  EXPECT_TRUE(parse({"--print", "--replay", "in.trace"}).print);
  EXPECT_EQ(parse({"--demo", "--record", "demo.cap"}).action, AppAction::Run);
  EXPECT_EQ(parse({"--list", "--serial", "SN1"}).action, AppAction::List);
  EXPECT_EQ(parse({"--list", "--bogus"}).action, AppAction::Error);
}

TEST(AppOptions, BadValuesAndClashingSourcesAreRefused) {
  const struct {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{"--scale", "0"}, "invalid scale '0' (1 to 6)"},
      {{"--scale=12"}, "invalid scale '12' (1 to 6)"},
      {{"--scale"}, "option '--scale' needs a value"},
      {{"--serial="}, "option '--serial' needs a non-empty value"},
      {{"--replay", "a.cap", "--demo"}, "--replay and --demo each replace the device; choose one"},
      {{"--replay", "a.cap", "--record", "b.cap"}, "--record needs a device (or --demo), not --replay"},
      {{"--demo", "--serial", "SN1"},
       "--serial chooses a real synthesizer; it does not go with --demo or --replay"},
      {{"--print"}, "--print goes with --replay FILE"},
      {{"--scale", "9", "--bogus"}, "invalid scale '9' (1 to 6)"},  // the first problem is named
  };
  for (const auto& c : cases) {
    const AppOptions o = parse(c.args);
    EXPECT_EQ(o.action, AppAction::Error) << c.error;
    EXPECT_EQ(o.error, c.error);
  }
}

TEST(AppOptions, TextsAreSingleLinesWhereTheyMustBe) {
  const std::string line = usageErrorLine("pelmora", "unrecognized option '-x'");
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(line.rfind("pelmora: unrecognized option '-x'", 0), 0u);
  EXPECT_EQ(errorLine("pelmora", "cannot open the display"), "pelmora: cannot open the display\n");
  EXPECT_EQ(versionText(), "pelmora 2026-10-17\n");
  for (const char* option : {"--demo", "--scale N", "--on-top", "--serial SERIAL", "--list", "--record FILE",
                             "--replay FILE", "--print", "Exit status"}) {
    EXPECT_NE(usageText("pelmora").find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace pelmora::app
