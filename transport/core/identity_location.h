// Where the agent keeps its identity under HKEY_LOCAL_MACHINE, read by the agent's transport,
// the agent (to report a new key) and TaviTool (to print the fingerprint and to delete it).
// A key of its own outside the service's key: Windows deletes a service's key with the
// service, and the identity must outlive an uninstall so that a reinstalled host keeps the
// fingerprint consoles pinned; only `TaviTool -delete` removes it.
#pragma once

namespace tavi {

constexpr const wchar_t* kAgentIdentityKey = L"SOFTWARE\\Orvane\\Netvane Agent\\Identity";
// Where versions up to 1.8 kept it, the service's parameter key: moved from there on the
// agent's first start.
constexpr const wchar_t* kLegacyIdentityKey =
    L"SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
constexpr const wchar_t* kIdentityPublicKeyValue = L"IdentityPublicKey";  // REG_BINARY, 32 bytes
constexpr const wchar_t* kIdentityKeyValue = L"IdentityKey";  // REG_BINARY, sealed seed

}  // namespace tavi
