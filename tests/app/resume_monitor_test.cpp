#include "linux/app/resume_monitor.h"

#include <gtest/gtest.h>

#include <functional>

namespace pelmora::app {
namespace {

constexpr const char* kLoginName = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kLoginManager = "org.freedesktop.login1.Manager";
constexpr gint64 kPatienceUs = 2 * G_USEC_PER_SEC;
constexpr gint64 kSettleUs = G_USEC_PER_SEC / 2;

// Runs the default main context until `done` or the patience ran out.
bool spinUntil(const std::function<bool()>& done, gint64 patienceUs = kPatienceUs) {
  const gint64 deadline = g_get_monotonic_time() + patienceUs;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

// Lets everything already sent arrive.
void settle() { spinUntil([] { return false; }, kSettleUs); }

// A private session bus stands in for the system bus; one connection on it
// plays the login manager, another a stranger sending the same signal.
class ResumeMonitorTest : public ::testing::Test {
 protected:
  static GTestDBus*& bus() {
    static GTestDBus* instance = nullptr;
    return instance;
  }

  static void SetUpTestSuite() {
    gchar* daemon = g_find_program_in_path("dbus-daemon");
    if (!daemon) return;
    g_free(daemon);
    bus() = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus());
  }

  static void TearDownTestSuite() {
    if (!bus()) return;
    g_test_dbus_down(bus());
    g_object_unref(bus());
    bus() = nullptr;
  }

  void SetUp() override {
    if (!bus()) GTEST_SKIP() << "no dbus-daemon";
    login_ = connect();
    stranger_ = connect();
    GVariant* reply = g_dbus_connection_call_sync(
        login_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", kLoginName, 0u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
  }

  void TearDown() override {
    if (login_) g_object_unref(login_);
    if (stranger_) g_object_unref(stranger_);
  }

  static GDBusConnection* connect() {
    return g_dbus_connection_new_for_address_sync(
        g_test_dbus_get_bus_address(bus()),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
  }

  static void emit(GDBusConnection* from, GVariant* parameters) {
    g_dbus_connection_emit_signal(from, nullptr, kLoginPath, kLoginManager, "PrepareForSleep", parameters,
                                  nullptr);
    g_dbus_connection_flush_sync(from, nullptr, nullptr);
  }

  GDBusConnection* login_ = nullptr;
  GDBusConnection* stranger_ = nullptr;
};

TEST_F(ResumeMonitorTest, OnlyTheLoginManagersWakeUpCounts) {
  int resumes = 0;
  ResumeMonitor monitor([&resumes] { ++resumes; }, G_BUS_TYPE_SESSION);
  ASSERT_TRUE(spinUntil([&monitor] { return monitor.listening(); }));

  emit(login_, g_variant_new("(b)", TRUE));        // going to sleep
  emit(stranger_, g_variant_new("(b)", FALSE));    // not the login manager
  emit(login_, g_variant_new("(s)", "false"));     // malformed
  emit(login_, g_variant_new("(b)", FALSE));       // the real wake-up
  ASSERT_TRUE(spinUntil([&resumes] { return resumes > 0; }));
  // Anything wrongly accepted above would have arrived before the wake-up.
  settle();
  EXPECT_EQ(resumes, 1);
}

TEST_F(ResumeMonitorTest, GoingAwayBeforeTheBusAnswersIsSafe) {
  int resumes = 0;
  { ResumeMonitor monitor([&resumes] { ++resumes; }, G_BUS_TYPE_SESSION); }
  // The pending answer arrives now; it must not reach the dead monitor.
  settle();
  emit(login_, g_variant_new("(b)", FALSE));
  settle();
  EXPECT_EQ(resumes, 0);
}

}  // namespace
}  // namespace pelmora::app
