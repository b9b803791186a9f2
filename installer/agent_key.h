// The agent's identity key as its transport keeps it under the service's parameter key:
// the public half in "IdentityPublicKey" (REG_BINARY, 32 bytes), the private half sealed for
// SYSTEM in "IdentityKey". TaviTool only reads the public half and deletes both: it never
// needs to unseal the key.
#pragma once

#include <array>
#include <cstdint>

constexpr const wchar_t* kAgentParameterKey =
    L"SYSTEM\\CurrentControlSet\\Services\\TaviAgent\\Parameter";
constexpr const wchar_t* kIdentityPublicKeyValue = L"IdentityPublicKey";
constexpr const wchar_t* kIdentityKeyValue = L"IdentityKey";
constexpr std::size_t kAgentPublicKeyLength = 32;

using AgentPublicKey = std::array<uint8_t, kAgentPublicKeyLength>;

// True when the value exists, is binary and holds exactly one key: anything else (missing,
// another type, cut or longer) is no key rather than a wrong fingerprint.
bool ReadAgentPublicKey(AgentPublicKey& key);

// Removes both values; missing values or a missing key are not an error. A new key pair is
// made by the agent's next first start.
void DeleteAgentKey();
