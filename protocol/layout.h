// Byte offsets inside the host record, its OsInfo and NicEntry parts, and the request bodies.
// Frame-level offsets (header, reply fields, credentials) are in FrameOffset of frames.h.
#pragma once

#include <cstddef>

// From the start of a HostRecord (frame offset 27 in a reply).
namespace RecordOffset {
constexpr std::size_t HostName = 0;           // char[36]
constexpr std::size_t ModelName = 36;         // char[16]
constexpr std::size_t NameChangePending = 56;  // 52..55 reserved
constexpr std::size_t MgmtAgentType = 57;
constexpr std::size_t MgmtPort = 58;
constexpr std::size_t MgmtLaunchString = 60;  // char[36]
constexpr std::size_t DnsServer = 96;
constexpr std::size_t DnsStatic = 100;
constexpr std::size_t MagicNumber = 104;
constexpr std::size_t OsInfo = 108;
constexpr std::size_t NicCount = 124;
constexpr std::size_t Nics = 128;
}  // namespace RecordOffset

// From the start of the 16-byte OsInfo.
namespace OsInfoOffset {
constexpr std::size_t OsValid = 0;
constexpr std::size_t OsFamily = 1;
constexpr std::size_t OsPlatform = 4;
constexpr std::size_t OsEdition = 5;
constexpr std::size_t OsMajor = 6;
constexpr std::size_t OsMinor = 7;
constexpr std::size_t OsBuild = 8;
constexpr std::size_t ServicePack = 12;
constexpr std::size_t OsVariant = 13;
}  // namespace OsInfoOffset

// From the start of a 44-byte NicEntry.
namespace NicOffset {
constexpr std::size_t Mac = 0;
constexpr std::size_t DhcpEnabled = 7;
constexpr std::size_t NicName = 8;  // char[20]
constexpr std::size_t ChangeMask = 28;
constexpr std::size_t IpAddress = 32;
constexpr std::size_t SubnetMask = 36;
constexpr std::size_t Gateway = 40;
}  // namespace NicOffset

// Request bodies, from the first byte of the frame.
namespace SettingsOffset {
constexpr std::size_t NewHostName = 80;  // char[36]
constexpr std::size_t DnsServer = 116;
constexpr std::size_t DnsStatic = 120;
constexpr std::size_t NicCount = 124;
constexpr std::size_t Nics = 128;
}  // namespace SettingsOffset

namespace PasswordOffset {
constexpr std::size_t Account = 80;
constexpr std::size_t NewPassword = 84;      // char[16]
constexpr std::size_t ConfirmPassword = 100;  // char[16]
}  // namespace PasswordOffset
