// The audit trail from the request loop: which authenticated requests give which event,
// with the console's MAC and the account, never a password; the back-off told once; and
// checks the flood guard refused without a logon not told one by one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/audit_text.h"
#include "agent/request_loop.h"
#include "fake_system.h"
#include "protocol/frames.h"

namespace {

const uint8_t kConsole[6] = {0x02, 0x00, 0x5E, 0x10, 0xA0, 0x01};
const char kPassword[] = "Sup3rSecret!";

std::vector<AgentEvent> recorded;
void Record(const AgentEvent& event) { recorded.push_back(event); }

std::vector<uint8_t> Request(uint32_t code, uint8_t tag, const char* user, const char* password) {
  std::vector<uint8_t> frame(kAgentBufferLength, 0);
  StoreU32(frame.data() + FrameOffset::AdapterIndex, 1);
  StoreU32(frame.data() + FrameOffset::RequestCode, code);
  frame[FrameOffset::Reserved + 3] = tag;
  std::memcpy(frame.data() + FrameOffset::UserName, user, std::strlen(user));
  std::memcpy(frame.data() + FrameOffset::Password, password, std::strlen(password));
  return frame;
}

class RequestAuditTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeAdapter a;
    a.index = 7;
    a.guid = "{6E657476-616E-6500-0000-0000000000A1}";
    a.mac[1] = 0x1B;
    a.mac[5] = 0x0A;
    a.ip = "198.51.100.10";
    a.mask = "255.255.255.0";
    a.gateways = {"198.51.100.1"};
    FakeNetwork network;
    network.adapters = {a};
    network.dns = "198.51.100.53";
    InstallFakeNetwork(network);
    InitRequestLoopState(state_);
    std::memcpy(state_.sender, kConsole, 6);
    recorded.clear();
    agentEventSink = Record;
  }
  void TearDown() override {
    agentEventSink = nullptr;
    AgentTest::TearDown();
  }
  void Handle(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> reply(kAgentBufferLength, 0);
    HandleRequest(state_, request.data(), reply.data());
  }
  RequestLoopState state_;
};

TEST_F(RequestAuditTest, EachAuthenticatedRequestIsOneEventWithConsoleAndAccount) {
  Handle(Request(Request::Restart, 1, "Administrator", kPassword));
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  Handle(Request(Request::ApplySettings, 2, "guest", kPassword));
  Handle(Request(Request::ChangePassword, 3, "Administrator", kPassword));
  // Requests without credentials are no audit matter.
  Handle(Request(Request::Discover, 4, "", ""));
  Handle(Request(Request::Poll, 5, "", ""));
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded[0].id, EventId::RestartRequest);
  EXPECT_EQ(recorded[0].strings,
            (std::vector<std::string>{"02-00-5E-10-A0-01", "\"Administrator\"", "0 (done)"}));
  EXPECT_EQ(recorded[1].id, EventId::SettingsRequest);
  EXPECT_EQ(recorded[1].level, EventLevel::Warning);
  EXPECT_EQ(recorded[1].strings[1], "\"guest\"");
  EXPECT_EQ(recorded[1].strings[2], "1 (logon refused)");
  EXPECT_EQ(recorded[1].strings[3], "no change");  // refused: nothing was applied
  EXPECT_EQ(recorded[2].id, EventId::PasswordRequest);
  EXPECT_EQ(recorded[2].strings[2], "1 (logon refused)");
}

TEST_F(RequestAuditTest, NoPasswordEverReachesAnEvent) {
  // The attacker's view of the log: whatever was typed as a password, current or new.
  std::vector<uint8_t> change = Request(Request::ChangePassword, 1, "Administrator", kPassword);
  PasswordBody body;
  body.newPassword.assign("N3wSecret#1");
  body.confirmPassword.assign("N3wSecret#1");
  EncodePasswordBody(body, change.data(), change.size());
  Handle(change);
  Handle(Request(Request::ApplySettings, 2, "Administrator", kPassword));
  Handle(Request(Request::Restart, 3, kPassword, kPassword));  // a password typed as the name
  ASSERT_EQ(recorded.size(), 3u);
  for (const AgentEvent& event : recorded)
    for (const std::string& s : event.strings) {
      EXPECT_EQ(s.find("N3wSecret"), std::string::npos) << s;
      if (&event != &recorded[2]) {
        EXPECT_EQ(s.find(kPassword), std::string::npos) << s;
      }
    }
}

TEST_F(RequestAuditTest, BackOffIsToldOnceAndRefusedChecksAreNotLoggedOneByOne) {
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  // A guesser: failures up to the free ones, the one that starts the back-off, then checks
  // the guard refuses without a logon.
  for (uint8_t tag = 1; tag <= kFreeFailures + 5; ++tag)
    Handle(Request(Request::Restart, tag, "Administrator", "guess"));
  uint32_t first = 1;  // the failure that starts the back-off
  while (BackOffMs(first) == 0) ++first;
  const int logons = fakeLog.logonCalls;
  EXPECT_EQ(logons, static_cast<int>(first));
  int requests = 0, backOffs = 0;
  for (const AgentEvent& event : recorded) {
    if (event.id == EventId::RestartRequest) ++requests;
    if (event.id == EventId::CredentialBackOff) {
      ++backOffs;
      EXPECT_EQ(event.strings,
                (std::vector<std::string>{"02-00-5E-10-A0-01", std::to_string(first),
                                          std::to_string(BackOffMs(first) / 1000)}));
    }
  }
  EXPECT_EQ(requests, logons);  // one event per logon that ran, none for the refused ones
  EXPECT_EQ(backOffs, 1);
}

}  // namespace
