// The events reach the Application log (under Wine the calls run and succeed; Wine keeps
// no log to read back), and TaviAgent.exe's message table turns each event into the text
// Event Viewer shows: every identifier is there and takes the insertion strings it is given.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "agent/audit_text.h"
#include "agent/event_log.h"

namespace {

const uint8_t kConsole[6] = {0x02, 0x00, 0x5E, 0x10, 0xA0, 0xFF};

std::wstring BesideThisProgram(const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.find_last_of(L'\\') + 1) + file;
}

class MessageTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(BesideThisProgram(L"TaviAgent.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  // The text as Event Viewer builds it: the message of the event's identifier with the
  // event's strings inserted.
  static std::wstring Shown(const AgentEvent& event) {
    std::vector<std::wstring> wide;
    for (const std::string& s : event.strings) wide.push_back(WidenEventText(s));
    std::vector<DWORD_PTR> args;
    for (const std::wstring& s : wide) args.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
            FORMAT_MESSAGE_ARGUMENT_ARRAY,
        module_, event.id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<LPWSTR>(&text), 0,
        reinterpret_cast<va_list*>(args.empty() ? nullptr : args.data()));
    std::wstring out = n != 0 ? std::wstring(text, n) : L"";
    if (text != nullptr) LocalFree(text);
    return out;
  }
  static HMODULE module_;
};
HMODULE MessageTable::module_ = nullptr;

TEST_F(MessageTable, EveryEventHasItsTextWithTheStringsInserted) {
  ASSERT_NE(module_, nullptr) << GetLastError();
  HostRecord before;
  before.hostName.assign("SRV-01");
  HostRecord after = before;
  after.hostName.assign("SRV-02");
  const AgentEvent events[] = {
      ServiceStartedEvent(),
      ServiceStoppedEvent(),
      CaptureMissingEvent({"C:\\windows\\system32\\Npcap\\wpcap.dll", "C:\\windows\\system32\\wpcap.dll"}),
      CaptureLoadedEvent("C:\\windows\\system32\\wpcap.dll"),
      TransportFailedEvent(10001),
      IdentityEvent(false, "9F3A 0C11"),
      IdentityEvent(true, "9F3A 0C11"),
      SettingsRequestEvent(kConsole, "Administrator", before, after, 0),
      PasswordRequestEvent(kConsole, "Administrator", 1, 0),
      RestartRequestEvent(kConsole, "operator", 9),
      CredentialBackOffEvent(kConsole, 4, 1000),
  };
  for (const AgentEvent& event : events) {
    SCOPED_TRACE(event.id);
    const std::wstring text = Shown(event);
    ASSERT_FALSE(text.empty()) << "no message " << event.id << ": " << GetLastError();
    // Every string shows, and no insertion is left unfilled.
    for (const std::string& s : event.strings)
      EXPECT_NE(text.find(WidenEventText(s)), std::wstring::npos);
    EXPECT_EQ(text.find(L"%"), std::wstring::npos);
  }
  EXPECT_EQ(Shown(events[9]),
            L"Restart request from console 02-00-5E-10-A0-FF, account \"operator\": status 9 (not "
            L"an administrator). With status 0 the host restarts now.\r\n");
  EXPECT_EQ(Shown(events[7]),
            L"Settings request from console 02-00-5E-10-A0-FF, account \"Administrator\": status "
            L"0 (done).\r\nChanges:\r\nhost name \"SRV-01\" -> \"SRV-02\"\r\n");
}

TEST_F(MessageTable, AnUnknownIdentifierHasNoText) {
  ASSERT_NE(module_, nullptr);
  AgentEvent unknown;
  unknown.id = 1999;
  EXPECT_TRUE(Shown(unknown).empty());
}

TEST(EventLog, ReportsOfEveryLevelSucceed) {
  EXPECT_TRUE(WriteToEventLog(ServiceStartedEvent()));
  EXPECT_TRUE(WriteToEventLog(CredentialBackOffEvent(kConsole, 4, 1000)));  // warning
  EXPECT_TRUE(WriteToEventLog(CaptureMissingEvent({"C:\\x\\wpcap.dll"})));    // error
  EXPECT_EQ(EventLogType(EventLevel::Information), EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(EventLogType(EventLevel::Warning), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(EventLogType(EventLevel::Error), EVENTLOG_ERROR_TYPE);
}

}  // namespace
