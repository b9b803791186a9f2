// Console-agent frames: the 24-byte header, request and status codes, the request bodies,
// the reply fields and the host information record, with explicit little-endian access.
//
// Every decoder takes a pointer and a length and never reads past that length; every
// encoder takes a capacity and never writes past it. Received bytes are never cast to
// structures: the structures below are plain values filled field by field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/byte_order.h"
#include "protocol/fixed_text.h"
#include "protocol/ipv4.h"
#include "protocol/layout.h"
#include "protocol/mac.h"

namespace Request {
constexpr uint32_t Discover = 1;
constexpr uint32_t ApplySettings = 2;
constexpr uint32_t ChangePassword = 3;
constexpr uint32_t Team = 4;
constexpr uint32_t Unteam = 5;
constexpr uint32_t Poll = 6;
constexpr uint32_t Restart = 7;
constexpr uint32_t Reserved8 = 8;  // never sent; the agent drops it
constexpr uint32_t Refresh = 9;
}  // namespace Request

namespace Status {
constexpr uint16_t Ok = 0;
constexpr uint16_t BadLogon = 1;
constexpr uint16_t SettingFailed = 2;
constexpr uint16_t ResponseTimeout = 3;
constexpr uint16_t IpConflict = 4;
constexpr uint16_t PasswordTooShort = 7;
constexpr uint16_t ManagementRestartFailed = 8;
constexpr uint16_t NotAdministrator = 9;
constexpr uint16_t OutOfMemory = 17;
constexpr uint16_t AccountLockedOut = 18;  // the logon was refused: the account is locked out
// Logon refusals Windows tells apart (the logon itself failed; nothing was changed).
constexpr uint16_t AccountDisabled = 19;
constexpr uint16_t PasswordExpired = 20;       // expired, or must be changed at the next logon
constexpr uint16_t LogonTypeNotGranted = 21;   // the account lacks the batch logon right
constexpr uint16_t AccountRestricted = 22;     // blank password off the console, logon hours, workstations
// Password change refusals.
constexpr uint16_t PasswordPolicyRefused = 23; // length, complexity, history or minimum age
constexpr uint16_t AccessDenied = 24;
constexpr uint16_t AccountNotFound = 25;
// Rename refusals, decided before anything is written.
constexpr uint16_t RenameRefusedDomainController = 26;
constexpr uint16_t RenameRefusedDomainMember = 27;
constexpr uint16_t InvalidHostName = 28;
constexpr uint16_t RestartFailed = 29;         // the restart was not initiated; the agent serves on
// Console-local codes, shown through the same message table; no agent sends one.
constexpr uint16_t FirstConsoleCode = 10001;
constexpr uint16_t DriverLoadFailed = 10001;
constexpr uint16_t NoServerFound = 10002;
constexpr uint16_t HostNameTooShort = 10003;
constexpr uint16_t AdapterOpenFailed = 10004;
constexpr uint16_t NicChanged = 10005;
// Written by the client transport when it refused an authenticated request before sending it.
constexpr uint16_t HostKeyChanged = 10006;     // the host presents another key than the pinned one
constexpr uint16_t HostKeyNotTrusted = 10007;  // no key of this host is pinned yet
constexpr uint16_t LaunchRefused = 10008;
constexpr uint16_t TooManyHosts = 10009;  // discovery stopped listing at its host limit
constexpr uint16_t SegmentFlooded = 10010;  // discovery replies that could not be checked
// The console's trust store: the transport refuses authenticated requests (10011) and pins
// (10011..10013) with these.
constexpr uint16_t TrustStoreUnreadable = 10011;      // exists, but cannot be read or has a bad line
constexpr uint16_t HostKeyChangedSinceShown = 10012;  // another key arrived while the user decided
constexpr uint16_t TrustStoreNotWritten = 10013;      // the pin could not be written
}  // namespace Status

// setupState: default password accepted or not, and how many adapters have an address.
namespace SetupState {
constexpr uint8_t DefaultPasswordNoAddress = 0;
constexpr uint8_t DefaultPasswordAddressed = 1;
constexpr uint8_t PartlyAddressed = 2;
constexpr uint8_t AllAddressed = 4;
}  // namespace SetupState

// Lengths in bytes, capacities in entries.
constexpr std::size_t kHeaderLength = 24;
constexpr std::size_t kReplyBaseLength = 27;            // header, status, setupState
constexpr std::size_t kHostRecordBaseLength = 128;      // record without NIC entries
constexpr std::size_t kNicEntryLength = 44;
constexpr std::size_t kOsInfoLength = 16;
// Which code has which length: RequestFactsOf.
constexpr std::size_t kShortRequestLength = 84;
constexpr std::size_t kPasswordRequestLength = 116;
constexpr std::size_t kSettingsRequestBaseLength = 128; // without NIC entries
constexpr std::size_t kConsoleReplyBufferLength = 596;  // replies that hold a host record
constexpr std::size_t kConsoleShortReplyLength = 32;
constexpr std::size_t kAgentBufferLength = 2048;
constexpr std::size_t kConsoleNicCapacity = 10;   // (596 - 155) / 44
constexpr std::size_t kAgentNicCapacity = 43;     // (2048 - 155) / 44
constexpr std::size_t kAppliedNicCapacity = 16;   // entries of a SettingsBody the agent applies

// Frame offsets.
namespace FrameOffset {
constexpr std::size_t AdapterIndex = 0;
constexpr std::size_t AgentMac = 4;
constexpr std::size_t FrameKind = 10;
constexpr std::size_t RequestCode = 12;
constexpr std::size_t Reserved = 16;
constexpr std::size_t Status = 24;
constexpr std::size_t SetupState = 26;
constexpr std::size_t Host = 27;
constexpr std::size_t UserName = 24;
constexpr std::size_t Password = 60;
constexpr std::size_t MagicNumber = 76;
constexpr std::size_t Body = 80;
// Where a Refresh reply's host.magicNumber lands: 27 + 104.
constexpr std::size_t ReplyMagicNumber = Host + 104;
}  // namespace FrameOffset

constexpr uint16_t kReplyFrameKind = 2;
constexpr std::size_t kUserNameLength = 36;
constexpr std::size_t kPasswordLength = 16;
constexpr std::size_t kHostNameFieldLength = 36;
constexpr std::size_t kHostNameMaxChars = 32;

struct FrameHeader {
  uint32_t adapterIndex = 0;
  Mac agentMac{};
  uint16_t frameKind = 0;
  uint32_t requestCode = 0;
  std::array<uint8_t, 8> reserved{};
};

struct OsInfo {
  uint8_t osValid = 0;
  uint8_t osFamily = 0;  // 1 Windows, 2 Linux
  uint8_t osPlatform = 0;
  uint8_t osEdition = 0;
  uint8_t osMajor = 0;
  uint8_t osMinor = 0;
  uint32_t osBuild = 0;
  uint8_t servicePack = 0;
  uint8_t osVariant = 0;
};

struct NicEntry {
  Mac mac{};
  uint8_t dhcpEnabled = 0;
  FixedText<20> nicName;
  uint32_t changeMask = 0;
  uint32_t ipAddress = 0;
  uint32_t subnetMask = 0;
  uint32_t gateway = 0;
};

// NicEntry.changeMask in a host record: adapter flags for the console.
constexpr uint32_t kNicCanTeam = 0x10;
constexpr uint32_t kNicIsTeamed = 0x20;
// NicEntry.changeMask in a SettingsBody: what changed.
constexpr uint32_t kChangeMode = 0x1;
constexpr uint32_t kChangeAddress = 0x2;
constexpr uint32_t kChangeMask = 0x4;
constexpr uint32_t kChangeGateway = 0x8;
constexpr uint32_t kChangeAll = 0xF;

struct HostRecord {
  FixedText<36> hostName;
  FixedText<16> modelName;
  uint8_t nameChangePending = 0;
  uint8_t mgmtAgentType = 0;
  uint16_t mgmtPort = 0;
  FixedText<36> mgmtLaunchString;
  uint32_t dnsServer = 0;
  uint8_t dnsStatic = 0;
  uint32_t magicNumber = 0;
  OsInfo osInfo;
  // nicCount is the value on the wire; nics holds the entries that were present in the
  // decoded bytes (at most nicCount) or that are to be encoded.
  uint8_t nicCount = 0;
  std::vector<NicEntry> nics;
};

struct SettingsBody {
  FixedText<36> newHostName;
  uint32_t dnsServer = 0;
  uint8_t dnsStatic = 0;
  uint8_t nicCount = 0;
  std::vector<NicEntry> nics;
};

struct PasswordBody {
  uint8_t account = 0;  // 0 the account in userName, 1 the management account
  FixedText<16> newPassword;
  FixedText<16> confirmPassword;
};

// --- Request codes and sizes -----------------------------------------------------------

// How a request and its reply travel on the authenticated channel.
enum class Carriage : uint8_t {
  None,      // a code the agent drops (0, 8, 10 and above): never answered
  Readable,  // no secrets: readable under a nonce, the reply signed by the agent
  Sealed,    // credentials: a signed hello first, then request and reply sealed
};

// What one request code is; every rule that depends on the code reads it from here.
struct RequestFacts {
  Carriage carriage = Carriage::None;
  bool credentials = false;            // the console fills userName, password, magicNumber
  std::size_t requestLength = 0;       // for ApplySettings without its NIC entries
  bool requestHasNics = false;         // ApplySettings: 44 bytes more per entry
  std::size_t consoleReplyLength = 0;  // the console's reply buffer; 0 for Discover, whose
                                       // replies the transport hands over one by one
  bool replyHoldsRecord = false;       // a host record follows status and setupState
};

// The facts of a code; Carriage::None and zeros for a code the agent drops.
const RequestFacts& RequestFactsOf(uint32_t requestCode);

// Bytes of a request as the console allocates it; 0 for a dropped code.
std::size_t RequestLength(uint32_t requestCode, uint8_t nicCount);
// Bytes of the agent's reply: 27, plus 128 + 44 * nicCount when it holds a host record; 0 for
// a dropped code.
std::size_t ReplyLength(uint32_t requestCode, uint8_t nicCount);
// The console's reply buffer for a code (RequestFacts::consoleReplyLength).
std::size_t ConsoleReplyBufferLength(uint32_t requestCode);
// The record length for a NIC count: 128 + 44 * nicCount.
constexpr std::size_t HostRecordLength(std::size_t nicCount) {
  return kHostRecordBaseLength + kNicEntryLength * nicCount;
}

// --- Field codecs --------------------------------------------------------------------------
// Decoders return false, leaving `out` untouched, when fewer bytes are given than needed.
// Text fields keep their bytes exactly, terminated or not (FixedText::str() stops at the
// field's end). Counts are never trusted to size a read: a nicCount larger than the whole
// entries present keeps its wire value in `nicCount`, and `nics` holds only the entries that
// are really there. Consumers iterate over `nics`, never up to `nicCount`. Clamping to a
// capacity (10 in the console, 16 applied by the agent) is the consumer's decision.
// Encoders write every byte of their fixed part, reserved and padding bytes as zero.

bool DecodeHeader(const uint8_t* frame, std::size_t length, FrameHeader& out);

void EncodeOsInfo(const OsInfo& info, uint8_t* out /* 16 bytes */);
OsInfo DecodeOsInfo(const uint8_t* in /* 16 bytes */);

void EncodeNicEntry(const NicEntry& nic, uint8_t* out /* 44 bytes */);
NicEntry DecodeNicEntry(const uint8_t* in /* 44 bytes */);

// Writes the record with nics.size() entries and nicCount as stored in the record.
// Returns the bytes written, or 0 (nothing written) when they do not fit in `capacity`.
std::size_t EncodeHostRecord(const HostRecord& record, uint8_t* out, std::size_t capacity);
// Needs at least 128 bytes. Decodes min(nicCount, whole entries present) NIC entries: a
// record cut by a short buffer keeps its wire nicCount but only the entries that fit.
bool DecodeHostRecord(const uint8_t* in, std::size_t length, HostRecord& out);

// The body starts at frame offset 80. Encoding writes nics.size() entries (and nicCount as
// stored); returns false when the frame is too short. Decoding needs the 48 fixed bytes and
// takes at most min(nicCount, whole entries present) entries.
bool EncodeSettingsBody(const SettingsBody& body, uint8_t* frame, std::size_t frameLength);
bool DecodeSettingsBody(const uint8_t* frame, std::size_t frameLength, SettingsBody& out);

// Needs a frame of at least 116 bytes.
bool EncodePasswordBody(const PasswordBody& body, uint8_t* frame, std::size_t frameLength);
bool DecodePasswordBody(const uint8_t* frame, std::size_t frameLength, PasswordBody& out);

// --- Reply fields ----------------------------------------------------------------------------

uint16_t ReplyStatus(const uint8_t* reply, std::size_t length);   // 3 (timeout) when too short
uint8_t ReplySetupState(const uint8_t* reply, std::size_t length);  // 0 when too short
// Decodes the host record of a reply; false when the reply has no room for one.
bool ReplyHostRecord(const uint8_t* reply, std::size_t length, HostRecord& out);

// --- Building requests (console) ------------------------------------------------------------

// A zero-filled Discover request for one console adapter: 84 bytes, agentMac all 0xFF.
std::vector<uint8_t> BuildDiscoverRequest(uint32_t adapterIndex);

// A zero-filled request of the code's length whose adapterIndex and agentMac are copied from
// the stored reply of the target host. nicCount sizes a code-2 request. Empty when the stored
// reply is shorter than a header or the code has no request length.
std::vector<uint8_t> BuildTargetedRequest(uint32_t requestCode, const uint8_t* storedReply,
                                          std::size_t storedLength, uint8_t nicCount = 0);

// Fills userName (only for osFamily 1, NUL included, cut to 35 characters; otherwise all 36
// bytes zero), the 16 password bytes and the stored record's magicNumber into an
// authenticated request. Does nothing to a request shorter than 80 bytes.
void SetCredentials(std::vector<uint8_t>& request, const HostRecord& storedRecord,
                    std::string_view userName, const FixedText<16>& password);

// Code 9: the stored magicNumber goes to frame offset 131 of the fresh reply buffer. Does
// nothing to a buffer shorter than 135 bytes.
void PresetRefreshReply(uint8_t* reply, std::size_t replyLength, uint32_t storedMagicNumber);

// The change bits of one NIC entry of a SettingsBody; "old" is the stored record, "new" the
// edited copy. dhcpEnabled and both dnsStatic values count as set when non-zero, so a stored
// dnsStatic byte other than 0 or 1 is no change by itself.
uint32_t ComputeChangeMask(const NicEntry& oldNic, uint8_t oldDnsStatic, const NicEntry& newNic,
                           uint8_t newDnsStatic);

// The body of an ApplySettings request from the stored and the edited record: newHostName
// only when the name differs (case-sensitive, up to its terminator; sent with one), dnsStatic
// as 0/1, the edited entries with their change
// bits. The body carries min(edited.nicCount, edited.nics.size()) entries and says so in its
// nicCount, so a request sized by it never holds zero entries the agent would apply. An
// entry without a stored counterpart gets kChangeAll: there is nothing to compare it with.
void BuildSettingsBody(const HostRecord& stored, const HostRecord& edited, SettingsBody& out);
