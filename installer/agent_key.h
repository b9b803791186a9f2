// The agent's identity key as its transport keeps it (transport/core/identity_location.h):
// the public half in "IdentityPublicKey" (REG_BINARY, 32 bytes), the private half sealed for
// SYSTEM in "IdentityKey". TaviTool only reads the public half and deletes both: it never
// needs to unseal the key.
#pragma once

#include <array>
#include <cstdint>

#include "transport/core/identity_location.h"

// The service's own values (MagicNumber, the driver record) stay under its parameter key,
// where earlier versions kept the identity too.
constexpr const wchar_t* kAgentParameterKey = tavi::kLegacyIdentityKey;
constexpr std::size_t kAgentPublicKeyLength = 32;

using AgentPublicKey = std::array<uint8_t, kAgentPublicKeyLength>;

// True when the value exists, is binary and holds exactly one key: anything else (missing,
// another type, cut or longer) is no key rather than a wrong fingerprint. Read from the
// identity key, or where an earlier version kept it if the agent has not moved it yet.
bool ReadAgentPublicKey(AgentPublicKey& key);

// Removes both values, from both places, and the identity key with the keys above it that
// held nothing else; missing values or keys are not an error. A new key pair is made by the
// agent's next first start.
void DeleteAgentKey();
