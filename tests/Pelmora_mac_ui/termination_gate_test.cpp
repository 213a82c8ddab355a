// When the program may end after the user asked to quit.
#include <gtest/gtest.h>

#include "Pelmora_mac/ui/termination_gate.h"

namespace pelmora::mac {
namespace {

TEST(TerminationGate, AnswersAtOnceWhenEveryWorkerHasFinished) {
  TerminationGate gate;
  EXPECT_TRUE(gate.mayOpenWindow());
  ASSERT_TRUE(gate.beginTermination(1000));
  EXPECT_EQ(gate.firstReply(true), TerminateReply::Now);
  EXPECT_FALSE(gate.replyDue(1001, true));  // answered once only
  EXPECT_FALSE(gate.mayOpenWindow());
}

TEST(TerminationGate, DefersUntilTheWorkersFinishAndIgnoresFurtherRequests) {
  TerminationGate gate;
  ASSERT_TRUE(gate.beginTermination(1000));
  EXPECT_EQ(gate.firstReply(false), TerminateReply::Later);
  EXPECT_TRUE(gate.terminating());
  EXPECT_FALSE(gate.mayOpenWindow());
  // A second request while waiting is deferred and does not restart the clock.
  EXPECT_FALSE(gate.beginTermination(1500));
  EXPECT_FALSE(gate.replyDue(1016, false));
  EXPECT_TRUE(gate.replyDue(1033, true));
  EXPECT_FALSE(gate.replyDue(1050, true));
}

TEST(TerminationGate, EndsAfterTheGracePeriodWhenAWorkerIsStuck) {
  TerminationGate gate;
  ASSERT_TRUE(gate.beginTermination(5000));
  EXPECT_EQ(gate.firstReply(false), TerminateReply::Later);
  EXPECT_FALSE(gate.beginTermination(6000));
  EXPECT_FALSE(gate.replyDue(5000 + kTerminationGraceMs - 1, false));
  EXPECT_TRUE(gate.replyDue(5000 + kTerminationGraceMs, false));
  EXPECT_FALSE(gate.replyDue(9000, false));
  // A clock that stepped back does not count as time passed.
  TerminationGate back;
  ASSERT_TRUE(back.beginTermination(5000));
  EXPECT_EQ(back.firstReply(false), TerminateReply::Later);
  EXPECT_FALSE(back.replyDue(100, false));
}

TEST(TerminationGate, NothingIsDueBeforeTermination) {
  TerminationGate gate;
  EXPECT_FALSE(gate.replyDue(100000, true));
  EXPECT_FALSE(gate.terminating());
}

}  // namespace
}  // namespace pelmora::mac
