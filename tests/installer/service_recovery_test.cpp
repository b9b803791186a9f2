// The agent's recovery table: Wine's control manager acknowledges failure actions without
// keeping them, so their content is checked here.
#include <gtest/gtest.h>

#include "installer/agent_service.h"

namespace {

TEST(AgentRecovery, RestartsAfterEveryFailureAndForgetsAfterADay) {
  SC_ACTION actions[kAgentRestartCount];
  const SERVICE_FAILURE_ACTIONSW failure = AgentFailureActions(actions);
  EXPECT_EQ(failure.dwResetPeriod, 86400u);
  ASSERT_EQ(failure.cActions, 3u);
  EXPECT_EQ(failure.lpsaActions, actions);
  // No reboot and no command: a restart needs neither a privilege nor a program to run.
  EXPECT_EQ(failure.lpRebootMsg, nullptr);
  EXPECT_EQ(failure.lpCommand, nullptr);
  const DWORD delays[] = {5000, 5000, 60000};
  for (int i = 0; i < kAgentRestartCount; ++i) {
    EXPECT_EQ(actions[i].Type, SC_ACTION_RESTART);
    EXPECT_EQ(actions[i].Delay, delays[i]);
  }
  EXPECT_NE(std::wstring(AgentDescription()).find(L"Netvane"), std::wstring::npos);
}

}  // namespace
