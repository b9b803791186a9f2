#include "console/nvctl/settings_change.h"

#include <algorithm>

#include "console/nvctl/text_rules.h"

namespace {

std::optional<unsigned> ParseDecimal(std::string_view text, unsigned max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > max) return std::nullopt;
  return static_cast<unsigned>(value);
}

uint32_t PrefixMask(unsigned prefix) {
  return prefix == 0 ? 0 : static_cast<uint32_t>(0xFFFFFFFFull << (32 - prefix));
}

bool Fail(ChangeError& error, ChangeField field, std::string message) {
  error.field = field;
  error.message = std::move(message);
  return false;
}

// An address a host can carry: not 0.0.0.0, not a broadcast, not multicast or above.
bool IsHostAddress(uint32_t address) {
  return address != 0 && (address >> 24) != 0 && (address >> 24) != 127 && address < 0xE0000000u;
}

}  // namespace

std::optional<uint32_t> ParseDottedQuad(std::string_view text) {
  uint32_t value = 0;
  std::size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    std::size_t end = pos;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    const std::string_view digits = text.substr(pos, end - pos);
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0'))
      return std::nullopt;
    const auto octet = ParseDecimal(digits, 255);
    if (!octet) return std::nullopt;
    value = (value << 8) | *octet;
    pos = end;
  }
  if (pos != text.size()) return std::nullopt;
  return value;
}

std::optional<uint32_t> ParseMaskOrPrefix(std::string_view text) {
  if (!text.empty() && text[0] == '/') text.remove_prefix(1);
  if (text.find('.') == std::string_view::npos) {
    const auto prefix = ParseDecimal(text, 32);
    if (!prefix || *prefix == 0) return std::nullopt;
    return PrefixMask(*prefix);
  }
  const auto mask = ParseDottedQuad(text);
  if (!mask || *mask == 0) return std::nullopt;
  // Contiguous ones: the inverted mask plus one is a power of two.
  const uint32_t inverted = ~*mask;
  if ((inverted & (inverted + 1)) != 0) return std::nullopt;
  return mask;
}

bool ParseChange(const ChangeText& text, SettingsChange& out, ChangeError& error) {
  SettingsChange change;
  if (!text.nic.empty() && !text.mac.empty())
    return Fail(error, ChangeField::Nic, "give the adapter by number or by MAC, not both");
  if (!text.nic.empty()) {
    std::string_view n = text.nic;
    if (n.size() > 3 && EqualsNoCase(n.substr(0, 3), "NIC")) n.remove_prefix(3);
    const auto number = ParseDecimal(n, 255);
    if (!number || *number == 0)
      return Fail(error, ChangeField::Nic, "'" + text.nic + "' is not an adapter number (1, 2, ... or NIC1, ...)");
    change.slot = static_cast<int>(*number) - 1;
  }
  if (!text.mac.empty()) {
    change.mac = ParseMac(text.mac);
    if (!change.mac) return Fail(error, ChangeField::NicMac, "'" + text.mac + "' is not a MAC address");
  }

  if (EqualsNoCase(text.mode, "dhcp")) change.mode = SettingsChange::Mode::Dhcp;
  else if (EqualsNoCase(text.mode, "static")) change.mode = SettingsChange::Mode::Static;
  else if (!text.mode.empty())
    return Fail(error, ChangeField::Mode, "'" + text.mode + "' is neither dhcp nor static");

  if (change.mode == SettingsChange::Mode::Static) {
    std::string_view address = text.address;
    std::string_view prefix;
    if (const std::size_t slash = address.find('/'); slash != std::string_view::npos) {
      prefix = address.substr(slash);
      address = address.substr(0, slash);
    }
    if (address.empty()) return Fail(error, ChangeField::Address, "a fixed address needs an address");
    const auto parsed = ParseDottedQuad(address);
    if (!parsed || !IsHostAddress(*parsed))
      return Fail(error, ChangeField::Address, "'" + std::string(address) + "' is not a host address");
    change.address = *parsed;
    if (!prefix.empty() && !text.mask.empty())
      return Fail(error, ChangeField::Mask, "give a prefix or a mask, not both");
    const std::string maskText = !prefix.empty() ? std::string(prefix) : text.mask;
    if (maskText.empty())
      return Fail(error, ChangeField::Mask, "a fixed address needs a prefix (ADDRESS/PREFIX) or a mask");
    const auto mask = ParseMaskOrPrefix(maskText);
    if (!mask) return Fail(error, ChangeField::Mask, "'" + maskText + "' is neither a prefix 1..32 nor a mask");
    change.mask = *mask;
    if (!text.gateway.empty()) {
      const auto gateway = ParseDottedQuad(text.gateway);
      if (!gateway || (*gateway != 0 && !IsHostAddress(*gateway)))
        return Fail(error, ChangeField::Gateway, "'" + text.gateway + "' is not an address");
      change.gateway = *gateway;
    }
  } else {
    if (!text.address.empty()) return Fail(error, ChangeField::Address, "an address needs a fixed address mode (static)");
    if (!text.mask.empty()) return Fail(error, ChangeField::Mask, "a mask needs a fixed address mode (static)");
    if (!text.gateway.empty()) return Fail(error, ChangeField::Gateway, "a gateway needs a fixed address mode (static)");
  }

  if (EqualsNoCase(text.dns, "auto")) {
    change.dns = SettingsChange::Dns::Auto;
  } else if (!text.dns.empty()) {
    const auto dns = ParseDottedQuad(text.dns);
    if (!dns || !IsHostAddress(*dns))
      return Fail(error, ChangeField::Dns, "'" + text.dns + "' is neither an address nor auto");
    change.dns = SettingsChange::Dns::Static;
    change.dnsServer = *dns;
  }

  if (!text.name.empty()) {
    if (text.name.size() < 2) return Fail(error, ChangeField::Name, "a host name has at least 2 characters");
    if (text.name.size() > kHostNameMaxChars)
      return Fail(error, ChangeField::Name, "a host name has at most 32 characters");
    for (char c : text.name) {
      const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
      if (!ok) return Fail(error, ChangeField::Name, "'" + text.name + "': letters, digits and hyphens only");
    }
    change.newName = text.name;
  }
  if (change.Empty()) return Fail(error, ChangeField::Whole, "nothing to change");
  out = std::move(change);
  return true;
}

bool ApplyChangeToRecord(const HostRecord& stored, const NicEntry& answering,
                         const SettingsChange& change, HostRecord& edited, std::string& error) {
  HostRecord record = stored;
  const std::size_t count = std::min<std::size_t>(record.nicCount, record.nics.size());
  if (record.nics.size() > count) record.nics.resize(count);

  if (change.ChangesAdapter()) {
    std::optional<std::size_t> slot;
    if (change.slot) {
      if (static_cast<std::size_t>(*change.slot) >= count) {
        error = "the host has no adapter NIC" + std::to_string(*change.slot + 1) + " (it has " +
                std::to_string(count) + ")";
        return false;
      }
      slot = static_cast<std::size_t>(*change.slot);
    } else if (change.mac) {
      for (std::size_t i = 0; i < count && !slot; ++i)
        if (record.nics[i].mac == *change.mac) slot = i;
      if (!slot) {
        error = "the host has no adapter with that MAC";
        return false;
      }
    } else if (count == 1) {
      slot = 0;
    } else {
      // Several adapters: the one the host answered on, when the record names it.
      for (std::size_t i = 0; i < count && !slot; ++i)
        if (record.nics[i].mac == answering.mac) slot = i;
      if (!slot) {
        error = "the host has " + std::to_string(count) + " adapters: say which one (--nic or --mac)";
        return false;
      }
    }
    NicEntry& nic = record.nics[*slot];
    if (change.mode == SettingsChange::Mode::Dhcp) {
      // Address fields stay as last received, as the panel sends them.
      nic.dhcpEnabled = 1;
    } else {
      nic.dhcpEnabled = 0;
      nic.ipAddress = change.address;
      nic.subnetMask = change.mask;
      if (change.gateway) nic.gateway = *change.gateway;
    }
  }

  if (change.dns == SettingsChange::Dns::Static) {
    record.dnsStatic = 1;
    record.dnsServer = change.dnsServer;
  } else if (change.dns == SettingsChange::Dns::Auto) {
    const bool anyDhcp = std::any_of(record.nics.begin(), record.nics.end(),
                                     [](const NicEntry& n) { return n.dhcpEnabled != 0; });
    if (!anyDhcp) {
      error = "automatic DNS needs an adapter on DHCP";
      return false;
    }
    record.dnsStatic = 0;
  }
  if (!change.newName.empty()) record.hostName.assign(change.newName, kHostNameMaxChars);
  edited = std::move(record);
  return true;
}

std::string ChangeMaskWords(uint32_t mask) {
  static constexpr struct {
    uint32_t bit;
    const char* word;
  } kWords[] = {{kChangeMode, "mode"}, {kChangeAddress, "address"}, {kChangeMask, "mask"},
                {kChangeGateway, "gateway"}};
  std::string words;
  for (const auto& w : kWords) {
    if ((mask & w.bit) == 0) continue;
    if (!words.empty()) words += ", ";
    words += w.word;
  }
  return words.empty() ? "none" : words;
}
