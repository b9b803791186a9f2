#include "console/nvctl/host_output.h"

#include <cstdio>

#include "console/core/host_reply.h"
#include "console/core/os_names.h"
#include "console/nvctl/text_rules.h"

namespace {

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

struct OsTexts {
  std::string shortName, name, version;
};

OsTexts OsTextsOf(const HostRecord& record) {
  OsTexts os;
  os.shortName = OsShortName(record.osInfo);
  FormatOsName(os.name, os.version, record.osInfo);
  os.name = TrimRight(os.name);
  os.version = TrimRight(os.version);
  return os;
}

const char* ModeWord(const NicEntry& nic) { return nic.dhcpEnabled ? "dhcp" : "fixed"; }
const char* DnsModeWord(const HostRecord& r) { return r.dnsStatic ? "fixed" : "auto"; }

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + ' ';
}

// The "answered on" text of the dialog's IP column: address/NICn.
std::string AnsweredOn(const HostView& h) {
  return AddressColumnText(h.answering.ipAddress, h.answering.nicName.str());
}

constexpr std::size_t kTableWidths[] = {16, 16, 12, 28, 5, 17, 5, 15, 15};

std::string TableLine(const std::string (&cells)[10]) {
  std::string line;
  for (std::size_t i = 0; i < 9; ++i) line += Pad(cells[i], kTableWidths[i]);
  line += cells[9];
  return TrimRight(line) + "\n";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += CsvField(fields[i]);
  }
  return line + "\r\n";
}

const std::vector<std::string> kCsvHeader = {
    "host", "model", "os", "os_name", "os_version", "setup_state", "setup",
    "name_change_pending", "mgmt_type", "mgmt_port", "mgmt_address", "dns_server", "dns_mode",
    "console_adapter", "agent_mac", "answered_on", "nic", "mac", "mode", "address", "mask",
    "gateway"};

}  // namespace

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string OutputStart(OutputFormat format) {
  switch (format) {
    case OutputFormat::Table: {
      const std::string cells[10] = {"HOST", "MODEL", "OS", "SETUP", "NIC", "MAC",
                                     "MODE", "ADDRESS", "MASK", "GATEWAY"};
      return TableLine(cells);
    }
    case OutputFormat::Csv: return CsvLine(kCsvHeader);
    case OutputFormat::Json: return "[";
  }
  return {};
}

std::string OutputEnd(OutputFormat format) {
  return format == OutputFormat::Json ? "\n]\n" : std::string();
}

std::string FormatHost(OutputFormat format, const HostView& h, bool first) {
  const HostRecord& r = h.record;
  const OsTexts os = OsTextsOf(r);
  const std::string name = r.hostName.str();
  const std::string model = r.modelName.str();

  if (format == OutputFormat::Table) {
    std::string out;
    const std::size_t rows = r.nics.empty() ? 1 : r.nics.size();
    for (std::size_t i = 0; i < rows; ++i) {
      std::string cells[10];
      if (i == 0) {
        cells[0] = PrintableText(name);
        cells[1] = PrintableText(model);
        cells[2] = os.shortName;
        cells[3] = SetupStateWords(h.setupState);
      }
      if (i < r.nics.size()) {
        const NicEntry& n = r.nics[i];
        cells[4] = PrintableText(n.nicName.str());
        cells[5] = FormatMac(n.mac);
        cells[6] = ModeWord(n);
        cells[7] = FormatIpv4(n.ipAddress);
        cells[8] = FormatIpv4(n.subnetMask);
        cells[9] = FormatIpv4(n.gateway);
      }
      out += TableLine(cells);
    }
    return out;
  }

  if (format == OutputFormat::Csv) {
    const std::vector<std::string> hostFields = {
        PrintableText(name), PrintableText(model), os.shortName, PrintableText(os.name),
        PrintableText(os.version), std::to_string(h.setupState), SetupStateWords(h.setupState),
        std::to_string(r.nameChangePending), std::to_string(r.mgmtAgentType),
        std::to_string(r.mgmtPort), PrintableText(ManagementAddress(h)), FormatIpv4(r.dnsServer),
        DnsModeWord(r), std::to_string(h.consoleAdapter), FormatMac(h.agentMac),
        PrintableText(AnsweredOn(h))};
    std::string out;
    if (r.nics.empty()) {
      std::vector<std::string> fields = hostFields;
      fields.resize(kCsvHeader.size());
      return CsvLine(fields);
    }
    for (const NicEntry& n : r.nics) {
      std::vector<std::string> fields = hostFields;
      fields.insert(fields.end(), {PrintableText(n.nicName.str()), FormatMac(n.mac), ModeWord(n),
                                   FormatIpv4(n.ipAddress), FormatIpv4(n.subnetMask),
                                   FormatIpv4(n.gateway)});
      out += CsvLine(fields);
    }
    return out;
  }

  std::string out = first ? "\n" : ",\n";
  out += "  {\"host\": " + JsonString(name) + ", \"model\": " + JsonString(model) + ",\n";
  out += "   \"os\": {\"short\": " + JsonString(os.shortName) + ", \"name\": " +
         JsonString(os.name) + ", \"version\": " + JsonString(os.version) + "},\n";
  out += "   \"setupState\": " + std::to_string(h.setupState) + ", \"setup\": " +
         JsonString(SetupStateWords(h.setupState)) + ", \"nameChangePending\": " +
         (r.nameChangePending ? "true" : "false") + ",\n";
  out += "   \"management\": {\"type\": " + std::to_string(r.mgmtAgentType) + ", \"port\": " +
         std::to_string(r.mgmtPort) + ", \"address\": " + JsonString(ManagementAddress(h)) + "},\n";
  out += "   \"dns\": {\"server\": " + JsonString(FormatIpv4(r.dnsServer)) + ", \"mode\": " +
         JsonString(DnsModeWord(r)) + "},\n";
  out += "   \"consoleAdapter\": " + std::to_string(h.consoleAdapter) + ", \"agentMac\": " +
         JsonString(FormatMac(h.agentMac)) + ", \"answeredOn\": {\"nic\": " +
         JsonString(h.answering.nicName.str()) + ", \"address\": " +
         JsonString(FormatIpv4(h.answering.ipAddress)) + "},\n";
  out += "   \"adapters\": [";
  for (std::size_t i = 0; i < r.nics.size(); ++i) {
    const NicEntry& n = r.nics[i];
    out += i == 0 ? "\n" : ",\n";
    out += "     {\"nic\": " + JsonString(n.nicName.str()) + ", \"mac\": " +
           JsonString(FormatMac(n.mac)) + ", \"mode\": " + JsonString(ModeWord(n)) +
           ", \"address\": " + JsonString(FormatIpv4(n.ipAddress)) + ", \"mask\": " +
           JsonString(FormatIpv4(n.subnetMask)) + ", \"gateway\": " +
           JsonString(FormatIpv4(n.gateway)) + "}";
  }
  out += r.nics.empty() ? "]}" : "\n   ]}";
  return out;
}

std::string FormatHostDetails(const HostView& h) {
  const HostRecord& r = h.record;
  const OsTexts os = OsTextsOf(r);
  std::string out;
  auto line = [&out](const char* field, const std::string& value) {
    out += Pad(std::string(field) + ":", 19) + value + "\n";
  };
  line("Host", PrintableText(r.hostName.str()) +
                   (r.nameChangePending ? " (new name, restart pending)" : ""));
  line("Model", PrintableText(r.modelName.str()));
  line("OS", os.shortName + (os.name.empty() ? "" : ", " + PrintableText(os.name)));
  line("Version", PrintableText(os.version));
  line("Setup", SetupStateWords(h.setupState) + " (" + std::to_string(h.setupState) + ")");
  line("Management", r.mgmtPort == 0 ? std::string("none")
                                     : "type " + std::to_string(r.mgmtAgentType) + ", port " +
                                           std::to_string(r.mgmtPort) + ", " +
                                           PrintableText(ManagementAddress(h)));
  line("DNS", FormatIpv4(r.dnsServer) + " (" + DnsModeWord(r) + ")");
  line("Answered on", PrintableText(AnsweredOn(h)) + ", agent " + FormatMac(h.agentMac) +
                          ", console adapter " + std::to_string(h.consoleAdapter));
  out += "\n";
  const std::string header[10] = {"NIC", "MAC", "MODE", "ADDRESS", "MASK", "GATEWAY"};
  std::string head;
  const std::size_t widths[] = {5, 17, 5, 15, 15};
  for (std::size_t i = 0; i < 5; ++i) head += Pad(header[i], widths[i]);
  out += head + header[5] + "\n";
  for (const NicEntry& n : r.nics) {
    out += Pad(PrintableText(n.nicName.str()), widths[0]) + Pad(FormatMac(n.mac), widths[1]) +
           Pad(ModeWord(n), widths[2]) + Pad(FormatIpv4(n.ipAddress), widths[3]) +
           Pad(FormatIpv4(n.subnetMask), widths[4]) + FormatIpv4(n.gateway) + "\n";
  }
  return out;
}
