// The request loop driven through the fake transport: which frames are answered, and the
// replies byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "agent/host_info.h"
#include "agent/request_loop.h"
#include "agent/audit_text.h"
#include "agent/transport_start.h"
#include "fake_system.h"
#include "fake_transport.h"
#include "protocol/frames.h"

namespace {

const char kParameterKey[] = "SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
const char kGuidA[] = "{6E657476-616E-6500-0000-0000000000A1}";
const char kGuidB[] = "{6E657476-616E-6500-0000-0000000000B2}";

using Frame = std::vector<uint8_t>;

Frame MakeRequest(uint32_t code, uint32_t adapterIndex = 1, uint8_t tag = 0,
                  std::size_t length = kShortRequestLength) {
  Frame frame(length, 0);
  StoreU32(frame.data() + FrameOffset::AdapterIndex, adapterIndex);
  for (int i = 0; i < 6; ++i) frame[FrameOffset::AgentMac + i] = static_cast<uint8_t>(0x10 + i);
  StoreU32(frame.data() + FrameOffset::RequestCode, code);
  frame[FrameOffset::Reserved + 3] = tag;  // makes otherwise equal requests distinct
  return frame;
}

void SetCredentials(Frame& frame, const std::string& user, const std::string& password) {
  std::memcpy(frame.data() + FrameOffset::UserName, user.data(), user.size());
  std::memcpy(frame.data() + FrameOffset::Password, password.data(), password.size());
}

Frame Sent(int index) {
  Frame reply(kAgentBufferLength, 0);
  FakeTransportSent(index, reply.data());
  return reply;
}

// The reply the agent must build for a request: header copied with frameKind 2, then status
// and setupState, then the record if any, every other byte zero.
Frame ExpectedReply(const Frame& request, uint16_t status, uint8_t setupState,
                    const HostRecord* host = nullptr) {
  Frame reply(kAgentBufferLength, 0);
  std::memcpy(reply.data(), request.data(), kHeaderLength);
  StoreU16(reply.data() + FrameOffset::FrameKind, 2);
  StoreU16(reply.data() + FrameOffset::Status, status);
  reply[FrameOffset::SetupState] = setupState;
  if (host) EncodeHostRecord(*host, reply.data() + FrameOffset::Host, kAgentBufferLength - 27);
  return reply;
}

std::string Events() {
  char text[4096];
  FakeTransportEvents(text, sizeof text);
  return text;
}

void StopWhenIdle() { agentRunning = 0; }

class DispatcherTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    FakeTransportReset();
    FakeTransportSetIdleHook(StopWhenIdle);
    DeleteKeyTree(kParameterKey);
    DeleteKeyTree("SOFTWARE\\Orvane");

    FakeAdapter a;
    a.index = 7;
    a.guid = kGuidA;
    a.mac[0] = 0x00; a.mac[1] = 0x1B; a.mac[5] = 0x0A;
    a.ip = "198.51.100.10";
    a.mask = "255.255.255.0";
    a.gateways = {"198.51.100.1"};
    FakeAdapter b = a;
    b.index = 3;
    b.guid = kGuidB;
    b.mac[5] = 0x0B;
    b.ip = "203.0.113.20";
    b.gateways = {""};
    network_.adapters = {a, b};
    network_.dns = "198.51.100.53";
    InstallFakeNetwork(network_);
    CreateKey(InterfaceKeyPath(kGuidA));
    CreateKey(InterfaceKeyPath(kGuidB));
  }
  void TearDown() override {
    DeleteKeyTree(InterfaceKeyPath(kGuidA));
    DeleteKeyTree(InterfaceKeyPath(kGuidB));
    DeleteKeyTree(kParameterKey);
    AgentTest::TearDown();
  }

  void Queue(const Frame& frame) { FakeTransportQueueFrame(frame.data(), static_cast<uint32_t>(frame.size())); }
  void Run() {
    agentRunning = 1;
    RequestLoop(nullptr);
  }

  // The record this host must report; magicNumber as given.
  HostRecord ExpectedHost(uint32_t magicNumber) {
    HostRecord host;
    const std::string configured =
        GetStringValue("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName");
    const std::string active = GetStringValue(
        "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName");
    host.hostName.assign(configured, 32);
    host.nameChangePending = lstrcmpiA(configured.c_str(), active.c_str()) != 0;
    host.modelName.assign("TestBoard");
    host.dnsServer = 0xC6336435;  // 198.51.100.53
    host.dnsStatic = 1;
    host.magicNumber = magicNumber;
    CollectOsInfo(host.osInfo);
    host.nicCount = 2;
    host.nics.resize(2);
    // Slot 0 is interface index 3 (adapter B), slot 1 index 7 (adapter A).
    NicEntry& b = host.nics[0];
    b.mac = {0x00, 0x1B, 0, 0, 0, 0x0B};
    b.nicName.assign("NIC1");
    b.ipAddress = 0xCB007114;
    b.subnetMask = 0xFFFFFF00;
    NicEntry& a = host.nics[1];
    a.mac = {0x00, 0x1B, 0, 0, 0, 0x0A};
    a.nicName.assign("NIC2");
    a.ipAddress = 0xC633640A;
    a.subnetMask = 0xFFFFFF00;
    a.gateway = 0xC6336401;
    return host;
  }

  FakeNetwork network_;
};

uint32_t ReplyMagic(const Frame& reply) { return LoadU32(reply.data() + FrameOffset::ReplyMagicNumber); }

TEST_F(DispatcherTest, RepeatedHeaderIsDroppedUnlessAnotherRequestCameBetween) {
  const Frame a = MakeRequest(Request::Poll, 1, 1);
  const Frame b = MakeRequest(Request::Poll, 1, 2);
  Queue(a);
  Queue(a);  // dropped
  Queue(b);
  Queue(a);  // answered again: b came between
  Queue(MakeRequest(Request::Reserved8, 1, 9));
  Queue(a);  // code 8 is not remembered, so this still repeats the last answered one
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 3);
  EXPECT_EQ(Sent(0), ExpectedReply(a, 0, 0));
  EXPECT_EQ(Sent(1), ExpectedReply(b, 0, 0));
  EXPECT_EQ(Sent(2), ExpectedReply(a, 0, 0));
}

TEST_F(DispatcherTest, CodesZeroEightAndAboveNineGetNoReply) {
  for (uint32_t code : {0u, 8u, 10u, 0xFFFFFFFFu}) Queue(MakeRequest(code, 2, 5));
  // Same header as the dropped code-10 frame except the code: served.
  Queue(MakeRequest(Request::Team, 2, 5));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(LoadU32(Sent(0).data() + FrameOffset::RequestCode), Request::Team);
}

TEST_F(DispatcherTest, PollReplyIsTheHeaderWithZeroStatusSetupStateAndRecord) {
  Frame poll = MakeRequest(Request::Poll, 0x01020304, 7);
  poll[FrameOffset::FrameKind] = 0x55;  // replaced by 2
  Queue(poll);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(Sent(0), ExpectedReply(poll, 0, 0));
  EXPECT_EQ(fakeLog.logonCalls, 0);  // no setup state for a poll
}

TEST_F(DispatcherTest, DiscoverAdoptsItsRecordTimeAsMagicNumberAndRefreshDoesNot) {
  const Frame discover = MakeRequest(Request::Discover, 0, 1);
  const Frame refresh = MakeRequest(Request::Refresh, 0, 2);
  Queue(discover);
  Queue(refresh);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 2);
  const Frame first = Sent(0);
  const uint32_t magic = ReplyMagic(first);
  const HostRecord expected = ExpectedHost(magic);
  EXPECT_EQ(first, ExpectedReply(discover, 0, SetupState::DefaultPasswordAddressed, &expected));

  std::vector<uint8_t> stored;
  ASSERT_TRUE(GetRawValue(kParameterKey, "MagicNumber", stored));
  EXPECT_EQ(stored, (std::vector<uint8_t>{static_cast<uint8_t>(magic), static_cast<uint8_t>(magic >> 8),
                                          static_cast<uint8_t>(magic >> 16),
                                          static_cast<uint8_t>(magic >> 24)}));
  EXPECT_EQ(FakeTransportMagic(), magic);
  // Once at start (nothing stored: 0), once for the Discover; Refresh leaves it.
  EXPECT_EQ(FakeTransportMagicCalls(), 2);

  const Frame second = Sent(1);
  EXPECT_GE(ReplyMagic(second), magic);
  const HostRecord refreshed = ExpectedHost(ReplyMagic(second));
  EXPECT_EQ(second, ExpectedReply(refresh, 0, SetupState::DefaultPasswordAddressed, &refreshed));
  ASSERT_TRUE(GetRawValue(kParameterKey, "MagicNumber", stored));
  EXPECT_EQ(LoadU32(stored.data()), magic);
}

TEST_F(DispatcherTest, StoredMagicNumberIsHandedToTheTransportAtStart) {
  CreateKey(kParameterKey);
  SetDwordValue(kParameterKey, "MagicNumber", 0x5F000001);
  Run();
  EXPECT_EQ(FakeTransportMagic(), 0x5F000001u);
  EXPECT_EQ(Events().rfind("init,magic", 0), 0u) << Events();
}

TEST_F(DispatcherTest, RefusedApplySettingsStillCarriesAFullRecordAndChangesNothing) {
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  Frame apply = MakeRequest(Request::ApplySettings, 1, 1, 128 + 44);
  SetCredentials(apply, "admin", "wrong");
  std::memcpy(apply.data() + 80, "NEWNAME", 7);
  apply[124] = 1;                                  // nicCount
  StoreU32(apply.data() + 128 + 28, kChangeAll);   // changeMask
  StoreU32(apply.data() + 128 + 32, 0xC0A80001);   // ipAddress
  Queue(apply);
  Run();

  ASSERT_EQ(FakeTransportSentCount(), 1);
  // The default-password check is refused as well: no adapter lacks an address.
  Frame first = Sent(0);
  HostRecord expected = ExpectedHost(ReplyMagic(first));
  EXPECT_EQ(first, ExpectedReply(apply, Status::BadLogon, SetupState::AllAddressed, &expected));
  EXPECT_EQ(fakeLog.dhcp.size(), 0u);
  EXPECT_EQ(fakeLog.routes.size(), 0u);
  std::vector<uint8_t> unused;
  EXPECT_FALSE(GetRawValue(InterfaceKeyPath(kGuidB), "IPAddress", unused));
  EXPECT_FALSE(GetRawValue(InterfaceKeyPath(kGuidB), "NameServer", unused));
}

TEST_F(DispatcherTest, ChangePasswordRefusedKeepsRecordZeroButComputesSetupState) {
  fakeLog.logonToken.groups.pop_back();  // logon passes, not an administrator
  Frame change = MakeRequest(Request::ChangePassword, 1, 1, kPasswordRequestLength);
  SetCredentials(change, "clerk", "secret");
  std::memcpy(change.data() + 84, "newpass", 7);
  std::memcpy(change.data() + 100, "newpass", 7);
  Queue(change);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(Sent(0), ExpectedReply(change, Status::NotAdministrator, SetupState::AllAddressed));
  EXPECT_EQ(fakeLog.setInfoCalls + fakeLog.changeCalls, 0);
}

TEST_F(DispatcherTest, TeamAndUnteamAnswerOkWithSetupState) {
  const Frame team = MakeRequest(Request::Team, 1, 1);
  const Frame unteam = MakeRequest(Request::Unteam, 1, 2);
  Queue(team);
  Queue(unteam);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 2);
  EXPECT_EQ(Sent(0), ExpectedReply(team, 0, SetupState::DefaultPasswordAddressed));
  EXPECT_EQ(Sent(1), ExpectedReply(unteam, 0, SetupState::DefaultPasswordAddressed));
}

Frame RestartAs(const char* name, const char* password) {
  Frame restart = MakeRequest(Request::Restart, 1, 1);
  SetCredentials(restart, name, password);
  return restart;
}

TEST_F(DispatcherTest, RestartWithWrongPasswordIsRefusedAndServingGoesOn) {
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  const Frame restart = RestartAs("Administrator", "bad");
  Queue(restart);
  Queue(MakeRequest(Request::Poll, 1, 2));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 2);
  EXPECT_EQ(Sent(0), ExpectedReply(restart, Status::BadLogon, 0));
  EXPECT_EQ(fakeLog.shutdownCalls, 0);
}

// A service is not the interactive user: the restart is initiated (not ExitWindowsEx), as
// planned, with a notice naming the account, before the reply; the agent serves until the
// system stops it.
TEST_F(DispatcherTest, GrantedRestartIsInitiatedAsPlannedBeforeItsReplyAndServingGoesOn) {
  const Frame restart = RestartAs("Administrator", "right");
  Queue(restart);
  Queue(MakeRequest(Request::Poll, 1, 2));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 2);
  EXPECT_EQ(Sent(0), ExpectedReply(restart, Status::Ok, 0));
  EXPECT_EQ(Events(), "init,magic,recv,shutdown,send,recv,send");
  EXPECT_EQ(fakeLog.shutdownCalls, 1);
  EXPECT_EQ(fakeLog.shutdownMessage, L"Restart requested through Netvane by Administrator");
  EXPECT_TRUE(fakeLog.shutdownReboot);
  EXPECT_TRUE(fakeLog.shutdownForce);
  EXPECT_GT(fakeLog.shutdownTimeout, 0u) << "a zero notice could cut the reply off";
  EXPECT_EQ(fakeLog.shutdownReason, static_cast<DWORD>(SHTDN_REASON_FLAG_PLANNED |
                                                       SHTDN_REASON_MAJOR_OPERATINGSYSTEM |
                                                       SHTDN_REASON_MINOR_RECONFIG));
}

TEST_F(DispatcherTest, RestartThatWindowsRefusesIsReportedAndServingGoesOn) {
  const Frame restart = RestartAs("Administrator", "right");
  fakeLog.shutdownResult = FALSE;
  fakeLog.shutdownError = ERROR_SHUTDOWN_IN_PROGRESS;
  Queue(restart);
  Queue(MakeRequest(Request::Poll, 1, 2));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 2);
  EXPECT_EQ(Sent(0), ExpectedReply(restart, Status::RestartFailed, 0));
}

TEST_F(DispatcherTest, RestartWithoutTheShutdownPrivilegeIsNotAttempted) {
  fakeLog.privilegeHeld = false;
  Queue(RestartAs("Administrator", "right"));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(LoadU16(Sent(0).data() + FrameOffset::Status), Status::RestartFailed);
  EXPECT_EQ(fakeLog.shutdownCalls, 0);
}

// The account's name reaches the shut-down notice and the event log: control characters in
// it are shown as '?'.
TEST_F(DispatcherTest, RestartNoticeShowsNoControlCharactersOfTheName) {
  Queue(RestartAs("ad\r\nmin\x1b", "right"));
  Run();
  ASSERT_EQ(fakeLog.shutdownCalls, 1);
  EXPECT_EQ(fakeLog.shutdownMessage, L"Restart requested through Netvane by ad??min?");
}

TEST_F(DispatcherTest, TransportThatFailsIsTriedAgainUntilItStarts) {
  transportRetryMs = 1;
  FakeTransportSetInitFailures(2);
  Queue(MakeRequest(Request::Poll));
  Run();
  transportRetryMs = kCaptureRetrySeconds * 1000;
  EXPECT_EQ(Events(), "init,cleanup,init,cleanup,init,magic,recv,send");
  EXPECT_EQ(FakeTransportSentCount(), 1);
}

TEST_F(DispatcherTest, StopWhileTheTransportIsDownEndsTheThreadWithoutServing) {
  FakeTransportSetInitFailures(1000);
  Queue(MakeRequest(Request::Poll));
  std::thread stopper([] {
    while (Events().find("cleanup") == std::string::npos) Sleep(1);
    agentRunning = 0;
    WakeTransportStart();  // as the stop sequence does
  });
  Run();
  stopper.join();
  EXPECT_EQ(Events().find("recv"), std::string::npos) << Events();
  EXPECT_EQ(FakeTransportSentCount(), 0);
}

// --- Bad input -------------------------------------------------------------------------------

TEST_F(DispatcherTest, UnterminatedUserNameIsCutAtItsField) {
  Frame restart = MakeRequest(Request::Restart, 1, 1);
  std::memset(restart.data() + FrameOffset::UserName, 'A', kUserNameLength);
  std::memset(restart.data() + FrameOffset::Password, 'p', kPasswordLength);  // no terminator
  Queue(restart);
  Run();
  EXPECT_EQ(fakeLog.logonName, std::wstring(kUserNameLength, L'A'));
  // The Restart logon comes first; the 16 password bytes and nothing beyond them.
  EXPECT_EQ(fakeLog.shutdownCalls, 1);
}

TEST_F(DispatcherTest, ShortFramesReadAsZeroFilled) {
  // Only the header arrives: every code still gets its answer from zeroed fields.
  for (uint32_t code : {Request::ApplySettings, Request::ChangePassword, Request::Restart}) {
    Frame shortFrame = MakeRequest(code, 1, static_cast<uint8_t>(code), kHeaderLength);
    Queue(shortFrame);
  }
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  Queue(MakeRequest(Request::Poll, 1, 1, 12));  // shorter than a header: code reads as 0
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(LoadU16(Sent(i).data() + FrameOffset::Status), Status::BadLogon);
  // An empty name is no account: refused without a logon (only the default-password probe
  // logged on).
  EXPECT_EQ(fakeLog.logonName, L"Administrator");
}

TEST_F(DispatcherTest, ApplySettingsCountBeyondTheTableAppliesOnlyExistingSlots) {
  Frame apply = MakeRequest(Request::ApplySettings, 1, 1, kAgentBufferLength);
  SetCredentials(apply, "Administrator", "right");
  apply[120] = 1;    // dnsStatic
  apply[124] = 200;  // far beyond the two adapters and the 43 entries a frame can hold
  StoreU32(apply.data() + 116, 0xC6336435);
  const uint8_t slotMacs[2][6] = {{0x00, 0x1B, 0, 0, 0, 0x0B}, {0x00, 0x1B, 0, 0, 0, 0x0A}};
  for (int i = 0; i < 43; ++i) {
    uint8_t* nic = apply.data() + 128 + 44 * i;
    if (i < 2) std::memcpy(nic, slotMacs[i], 6);
    StoreU32(nic + 28, kChangeAddress);
    StoreU32(nic + 32, 0xC6336400u + static_cast<uint32_t>(i));
  }
  Queue(apply);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(LoadU16(Sent(0).data() + FrameOffset::Status), Status::Ok);
  ASSERT_EQ(fakeLog.dhcp.size(), 2u);
  EXPECT_EQ(GetStringValue(InterfaceKeyPath(kGuidB), "IPAddress"), "198.51.100.0");
  EXPECT_EQ(GetStringValue(InterfaceKeyPath(kGuidA), "IPAddress"), "198.51.100.1");
}

TEST_F(DispatcherTest, ReplyStaysWithinTheBufferWithManyAdapters) {
  FakeNetwork many;
  for (ULONG i = 0; i < 50; ++i) {
    FakeAdapter a;
    a.index = 100 - i;
    char guid[64];
    std::snprintf(guid, sizeof guid, "{6E657476-616E-6500-0000-0000000001%02lu}", i);
    a.guid = guid;
    a.ip = "198.51.100.9";
    a.mask = "255.255.255.0";
    many.adapters.push_back(a);
  }
  InstallFakeNetwork(many);
  Queue(MakeRequest(Request::Discover));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  const Frame reply = Sent(0);
  EXPECT_EQ(reply[FrameOffset::Host + 124], kAgentNicCapacity);
  EXPECT_EQ(ReplyLength(Request::Discover, reply[FrameOffset::Host + 124]), 2047u);
  // The last entry is filled: slot 42 is the adapter with the 43rd lowest index.
  const uint8_t* last = reply.data() + FrameOffset::Host + 128 + 44 * 42;
  EXPECT_STREQ(reinterpret_cast<const char*>(last + 8), "NIC43");
  EXPECT_EQ(reply[2047], 0);
}

// --- Attackers on the segment ---------------------------------------------------------------

using Station = std::array<uint8_t, 6>;

Station StationMac(uint32_t n) {
  return {0x02, 0xEE, static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
          static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

void QueueFrom(const Station& sender, const Frame& frame) {
  FakeTransportQueueFrameFrom(sender.data(), frame.data(), static_cast<uint32_t>(frame.size()));
}

Frame RestartFrom(const char* password, uint8_t tag) {
  Frame restart = MakeRequest(Request::Restart, 1, tag);
  SetCredentials(restart, "Administrator", password);
  return restart;
}

Frame ChangePasswordFrame(const char* password, uint8_t tag) {
  Frame change = MakeRequest(Request::ChangePassword, 1, tag, kPasswordRequestLength);
  SetCredentials(change, "Administrator", password);
  std::memcpy(change.data() + 84, "right", 5);
  std::memcpy(change.data() + 100, "right", 5);
  return change;
}

// The request's own password is the current one the change needs: the requester's password
// is changed, never reset.
TEST_F(DispatcherTest, ChangePasswordChangesWithTheRequestsPassword) {
  Queue(ChangePasswordFrame("cur-pw", 1));
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  EXPECT_EQ(LoadU16(Sent(0).data() + FrameOffset::Status), Status::Ok);
  EXPECT_EQ(fakeLog.changeUser, L"Administrator");
  EXPECT_EQ(fakeLog.changeOld, L"cur-pw");
  EXPECT_EQ(fakeLog.changeNew, L"right");
  EXPECT_EQ(fakeLog.setInfoCalls, 0);
}

int RepliesWithCode(uint32_t code) {
  int count = 0;
  for (int i = 0; i < FakeTransportSentCount(); ++i)
    count += LoadU32(Sent(i).data() + FrameOffset::RequestCode) == code;
  return count;
}

TEST_F(DispatcherTest, FloodFromOneSourceDoesNotStarveAnother) {
  for (int i = 0; i < 40; ++i) QueueFrom(StationMac(1), MakeRequest(Request::Discover, 1, static_cast<uint8_t>(i)));
  for (int i = 0; i < 5; ++i) QueueFrom(StationMac(2), MakeRequest(Request::Refresh, 1, static_cast<uint8_t>(100 + i)));
  Run();
  EXPECT_EQ(RepliesWithCode(Request::Discover), static_cast<int>(kSourceWorkRule.burst));
  EXPECT_EQ(RepliesWithCode(Request::Refresh), 5) << "the second console is served in full";
}

TEST_F(DispatcherTest, InventedSourcesRunOnlyAFewLogonsPerSecond) {
  fakeLog.logonResult = FALSE;
  fakeLog.logonError = ERROR_LOGON_FAILURE;
  for (uint32_t i = 0; i < 200; ++i) QueueFrom(StationMac(1000 + i), RestartFrom("guess", static_cast<uint8_t>(i)));
  Run();
  EXPECT_EQ(fakeLog.logonCalls, static_cast<int>(kAgentLogonRule.burst)) << "the clock stood still";
  EXPECT_EQ(FakeTransportSentCount(), fakeLog.logonCalls) << "the rest dropped unanswered";

  // Over time, and with checks that pass (so that the cap of failures does not bind): the
  // logons stay within the shared budget.
  FakeTransportReset();
  FakeTransportSetIdleHook(StopWhenIdle);
  fakeLog.logonResult = TRUE;
  fakeLog.tickStepMs = 20;
  const ULONGLONG start = fakeLog.nowMs;
  for (uint32_t i = 0; i < 250; ++i) QueueFrom(StationMac(5000 + i), ChangePasswordFrame("right", static_cast<uint8_t>(i)));
  Run();
  const double seconds = static_cast<double>(fakeLog.nowMs - start) / 1000.0;
  EXPECT_GT(fakeLog.changeCalls, 0);
  EXPECT_LE(fakeLog.changeCalls, kAgentLogonRule.burst + kAgentLogonRule.perSecond * seconds);
}

TEST_F(DispatcherTest, RepeatedFailuresBackOffWithoutCallingTheLogon) {
  fakeLog.acceptedPassword = L"right";
  // About 150 ms per request: the shared logon budget refills, the first back-off (1 s) holds.
  fakeLog.tickStepMs = 50;
  for (uint8_t i = 0; i < 6; ++i) QueueFrom(StationMac(7), RestartFrom("guess", i));
  QueueFrom(StationMac(7), RestartFrom("right", 6));  // even the right one, while backing off
  QueueFrom(StationMac(8), RestartFrom("right", 7));  // another console is not affected
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 8);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(LoadU16(Sent(i).data() + FrameOffset::Status), Status::BadLogon) << i;
  EXPECT_EQ(LoadU16(Sent(7).data() + FrameOffset::Status), Status::Ok);
  EXPECT_EQ(fakeLog.logonCalls, static_cast<int>(kFreeFailures) + 1);
  EXPECT_EQ(fakeLog.shutdownCalls, 1);
}

TEST_F(DispatcherTest, RotatingMacsDoNotLiftTheCapOfFailedChecks) {
  fakeLog.acceptedPassword = L"right";
  fakeLog.tickStepMs = 1000;  // slow enough that only the cap of failures binds
  const ULONGLONG start = fakeLog.nowMs;
  QueueFrom(StationMac(1), ChangePasswordFrame("right", 1));  // a console that proved itself
  for (uint32_t i = 0; i < 60; ++i) QueueFrom(StationMac(3000 + i), RestartFrom("guess", static_cast<uint8_t>(10 + i)));
  QueueFrom(StationMac(1), ChangePasswordFrame("right", 2));
  Run();
  const double seconds = static_cast<double>(fakeLog.nowMs - start) / 1000.0;
  ASSERT_EQ(FakeTransportSentCount(), 62) << "every guess answered, none of them dropped";
  for (int i = 1; i <= 60; ++i) EXPECT_EQ(LoadU16(Sent(i).data() + FrameOffset::Status), Status::BadLogon);
  // Each change: its check and the fresh default-password probe.
  const int guessLogons = fakeLog.logonCalls - 4;
  EXPECT_LE(guessLogons, kAgentFailureRule.burst + kAgentFailureRule.perSecond * seconds);
  EXPECT_LT(guessLogons, 30);
  EXPECT_EQ(LoadU16(Sent(61).data() + FrameOffset::Status), Status::Ok) << "the known console still gets in";
  EXPECT_EQ(fakeLog.changeCalls, 2);
}

TEST_F(DispatcherTest, ChangedPasswordIsProbedAgainAtOnce) {
  fakeLog.acceptedPassword = L"7395";  // the factory password still works
  Frame change = ChangePasswordFrame("7395", 3);
  Queue(MakeRequest(Request::Discover, 1, 1));
  Queue(MakeRequest(Request::Refresh, 1, 2));
  Queue(change);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 3);
  EXPECT_EQ(Sent(1)[FrameOffset::SetupState], SetupState::DefaultPasswordAddressed);
  // The change's reply probes afresh (the fake still accepts 7395, so the state stays) and
  // the two discoveries shared one probe: check + 2 probes.
  EXPECT_EQ(fakeLog.logonCalls, 3);
  EXPECT_EQ(Sent(2)[FrameOffset::SetupState], SetupState::DefaultPasswordAddressed);
}

TEST_F(DispatcherTest, SettingsForAShiftedSlotFailBeforeAnythingIsWritten) {
  const std::string nameBefore =
      GetStringValue("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName");
  Frame apply = MakeRequest(Request::ApplySettings, 1, 1, 128 + 44 * 2);
  SetCredentials(apply, "Administrator", "right");
  std::memcpy(apply.data() + 80, "NEWNAME", 7);
  apply[120] = 1;  // dnsStatic
  apply[124] = 2;  // nicCount
  // The console saw adapter A in slot 0; since then B took that slot (say, A was re-enabled).
  const uint8_t seen[2][6] = {{0x00, 0x1B, 0, 0, 0, 0x0A}, {0x00, 0x1B, 0, 0, 0, 0x0B}};
  for (int i = 0; i < 2; ++i) {
    uint8_t* nic = apply.data() + 128 + 44 * i;
    std::memcpy(nic, seen[i], 6);
    StoreU32(nic + 28, kChangeAll);
    StoreU32(nic + 32, 0xC0A80001u + static_cast<uint32_t>(i));
    StoreU32(nic + 36, 0xFFFFFF00u);
  }
  Queue(apply);
  Run();
  ASSERT_EQ(FakeTransportSentCount(), 1);
  const Frame reply = Sent(0);
  const HostRecord fresh = ExpectedHost(ReplyMagic(reply));
  EXPECT_EQ(reply, ExpectedReply(apply, Status::SettingFailed, SetupState::DefaultPasswordAddressed, &fresh));
  EXPECT_TRUE(fakeLog.dhcp.empty());
  EXPECT_TRUE(fakeLog.routes.empty());
  std::vector<uint8_t> unused;
  for (const char* guid : {kGuidA, kGuidB}) {
    EXPECT_FALSE(GetRawValue(InterfaceKeyPath(guid), "IPAddress", unused));
    EXPECT_FALSE(GetRawValue(InterfaceKeyPath(guid), "NameServer", unused));
  }
  EXPECT_EQ(GetStringValue("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"),
            nameBefore);
}

}  // namespace
