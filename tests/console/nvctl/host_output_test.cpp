// The output formats on a fixed set of hosts: a Windows host with two adapters and a Linux
// host whose record carries hostile text (quote, comma, an escape sequence, a non-ASCII byte).
#include "console/nvctl/host_output.h"

#include <gtest/gtest.h>

#include "console/nvctl/csv_reader.h"
#include "console/nvctl/host_view.h"
#include "tests/protocol/sample_records.h"

namespace {

HostView MakeHost(const HostRecord& record, uint8_t setupState, std::size_t answeringSlot,
                  uint32_t consoleAdapter) {
  std::vector<uint8_t> reply = SampleReply(record);
  reply[FrameOffset::SetupState] = setupState;
  reply[FrameOffset::AdapterIndex] = static_cast<uint8_t>(consoleAdapter);
  std::copy(record.nics[answeringSlot].mac.begin(), record.nics[answeringSlot].mac.end(),
            reply.begin() + FrameOffset::AgentMac);
  auto host = MakeHostView(reply.data(), reply.size());
  EXPECT_TRUE(host.has_value());
  return *host;
}

std::vector<HostView> SampleHosts() {
  HostRecord windows = SampleRecord(2);
  windows.nics[1].dhcpEnabled = 1;
  windows.osInfo.osEdition = 2;
  windows.osInfo.servicePack = 2;

  HostRecord linux = SampleRecord(1);
  linux.hostName.assign("ev\"il,\x1b[2J\xe9");
  linux.modelName.assign("Box");
  linux.mgmtAgentType = 2;
  linux.mgmtPort = 8080;
  linux.mgmtLaunchString.assign("https://%A:%P/a,b");
  linux.dnsStatic = 0;
  linux.nameChangePending = 1;
  linux.osInfo = OsInfo{};
  linux.osInfo.osValid = 1;
  linux.osInfo.osFamily = 2;
  linux.osInfo.osPlatform = 1;
  linux.osInfo.osMajor = 9;
  linux.osInfo.osBuild = 0x08140402;  // 2.4.20-8
  linux.osInfo.servicePack = 2;
  linux.nics[0].mac = {0x02, 0, 0, 0, 0, 0x07};
  linux.nics[0].ipAddress = 0x0A000007;
  return {MakeHost(windows, 4, 0, 0), MakeHost(linux, 0, 0, 1)};
}

// Checked by hand once: every field of the records above, CSV quoting where a field holds a
// comma or quote, the hostile name's escape byte as '?' (table, CSV) or \u001b (JSON).
const char* const kGoldenCsv =
    "host,model,os,os_name,os_version,setup_state,setup,name_change_pending,mgmt_type,mgmt_port,mgmt_address,dns_server,dns_mode,console_adapter,agent_mac,answered_on,nic,mac,mode,address,mask,gateway\r\n"
    "SRV-ALPHA,Unknown,\"Win2003 \"\"R2\"\"\",\"Windows Server 2003 \"\"R2\"\", Enterprise Edition SP2\",3790,4,configured,0,1,2623,http://192.168.0.10:2623/,192.168.0.1,fixed,0,00:1B:21:3C:4D:50,192.168.0.10/NIC1,NIC1,00:1B:21:3C:4D:50,fixed,192.168.0.10,255.255.255.0,192.168.0.1\r\n"
    "SRV-ALPHA,Unknown,\"Win2003 \"\"R2\"\"\",\"Windows Server 2003 \"\"R2\"\", Enterprise Edition SP2\",3790,4,configured,0,1,2623,http://192.168.0.10:2623/,192.168.0.1,fixed,0,00:1B:21:3C:4D:50,192.168.0.10/NIC1,NIC2,00:1B:21:3C:4D:51,dhcp,192.168.0.11,255.255.255.0,192.168.0.1\r\n"
    "\"ev\"\"il,?[2J\xE9\",Box,Linux,Red Hat 9.0,2.4.20-8 SMP,0,\"default password, no address\",1,2,8080,\"https://10.0.0.7:8080/a,b\",192.168.0.1,auto,1,02:00:00:00:00:07,10.0.0.7/NIC1,NIC1,02:00:00:00:00:07,fixed,10.0.0.7,255.255.255.0,192.168.0.1\r\n";

const char* const kGoldenJson =
    "[\n"
    "  {\"host\": \"SRV-ALPHA\", \"model\": \"Unknown\",\n"
    "   \"os\": {\"short\": \"Win2003 \\\"R2\\\"\", \"name\": \"Windows Server 2003 \\\"R2\\\", Enterprise Edition SP2\", \"version\": \"3790\"},\n"
    "   \"setupState\": 4, \"setup\": \"configured\", \"nameChangePending\": false,\n"
    "   \"management\": {\"type\": 1, \"port\": 2623, \"address\": \"http://192.168.0.10:2623/\"},\n"
    "   \"dns\": {\"server\": \"192.168.0.1\", \"mode\": \"fixed\"},\n"
    "   \"consoleAdapter\": 0, \"agentMac\": \"00:1B:21:3C:4D:50\", \"answeredOn\": {\"nic\": \"NIC1\", \"address\": \"192.168.0.10\"},\n"
    "   \"adapters\": [\n"
    "     {\"nic\": \"NIC1\", \"mac\": \"00:1B:21:3C:4D:50\", \"mode\": \"fixed\", \"address\": \"192.168.0.10\", \"mask\": \"255.255.255.0\", \"gateway\": \"192.168.0.1\"},\n"
    "     {\"nic\": \"NIC2\", \"mac\": \"00:1B:21:3C:4D:51\", \"mode\": \"dhcp\", \"address\": \"192.168.0.11\", \"mask\": \"255.255.255.0\", \"gateway\": \"192.168.0.1\"}\n"
    "   ]},\n"
    "  {\"host\": \"ev\\\"il,\\u001b[2J\\u00e9\", \"model\": \"Box\",\n"
    "   \"os\": {\"short\": \"Linux\", \"name\": \"Red Hat 9.0\", \"version\": \"2.4.20-8 SMP\"},\n"
    "   \"setupState\": 0, \"setup\": \"default password, no address\", \"nameChangePending\": true,\n"
    "   \"management\": {\"type\": 2, \"port\": 8080, \"address\": \"https://10.0.0.7:8080/a,b\"},\n"
    "   \"dns\": {\"server\": \"192.168.0.1\", \"mode\": \"auto\"},\n"
    "   \"consoleAdapter\": 1, \"agentMac\": \"02:00:00:00:00:07\", \"answeredOn\": {\"nic\": \"NIC1\", \"address\": \"10.0.0.7\"},\n"
    "   \"adapters\": [\n"
    "     {\"nic\": \"NIC1\", \"mac\": \"02:00:00:00:00:07\", \"mode\": \"fixed\", \"address\": \"10.0.0.7\", \"mask\": \"255.255.255.0\", \"gateway\": \"192.168.0.1\"}\n"
    "   ]}\n"
    "]\n";

const char* const kGoldenTable =
    "HOST             MODEL            OS           SETUP                        NIC   MAC               MODE  ADDRESS         MASK            GATEWAY\n"
    "SRV-ALPHA        Unknown          Win2003 \"R2\" configured                   NIC1  00:1B:21:3C:4D:50 fixed 192.168.0.10    255.255.255.0   192.168.0.1\n"
    "                                                                            NIC2  00:1B:21:3C:4D:51 dhcp  192.168.0.11    255.255.255.0   192.168.0.1\n"
    "ev\"il,?[2J\xE9      Box              Linux        default password, no address NIC1  02:00:00:00:00:07 fixed 10.0.0.7        255.255.255.0   192.168.0.1\n";

std::string Render(OutputFormat format) {
  std::string out = OutputStart(format);
  bool first = true;
  for (const HostView& host : SampleHosts()) {
    out += FormatHost(format, host, first);
    first = false;
  }
  return out + OutputEnd(format);
}

TEST(NvctlOutput, GoldenCsv) {
  EXPECT_EQ(Render(OutputFormat::Csv), kGoldenCsv);
}

TEST(NvctlOutput, GoldenJson) {
  EXPECT_EQ(Render(OutputFormat::Json), kGoldenJson);
}

TEST(NvctlOutput, GoldenTable) {
  EXPECT_EQ(Render(OutputFormat::Table), kGoldenTable);
}

// What nvctl writes, nvctl's own reader takes back field for field.
TEST(NvctlOutput, CsvReadsBackIntoTheSameFields) {
  std::vector<CsvRecord> records;
  CsvError error;
  ASSERT_TRUE(ReadCsv(Render(OutputFormat::Csv), records, error)) << error.message;
  ASSERT_EQ(records.size(), 4u);
  for (const CsvRecord& r : records) EXPECT_EQ(r.fields.size(), 22u);
  EXPECT_EQ(records[3].fields[0], "ev\"il,?[2J\xe9");
  EXPECT_EQ(records[3].fields[10], "https://10.0.0.7:8080/a,b");
}

TEST(NvctlOutput, NoHostsStillGivesAValidDocument) {
  EXPECT_EQ(OutputStart(OutputFormat::Json) + OutputEnd(OutputFormat::Json), "[\n]\n");
  EXPECT_EQ(OutputEnd(OutputFormat::Csv), "");
}

TEST(NvctlOutput, FieldQuoting) {
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(JsonString("q\"b\\\n\x01\x7f\xff"), "\"q\\\"b\\\\\\u000a\\u0001\\u007f\\u00ff\"");
}

TEST(NvctlOutput, DetailsOfOneHost) {
  const std::string details = FormatHostDetails(SampleHosts()[1]);
  EXPECT_NE(details.find("ev\"il,?[2J"), std::string::npos) << details;
  EXPECT_EQ(details.find('\x1b'), std::string::npos);
  EXPECT_NE(details.find("restart pending"), std::string::npos);
  EXPECT_NE(details.find("https://10.0.0.7:8080/a,b"), std::string::npos);
}

TEST(MatchHost, ByNameMacOrAddressAndAmbiguity) {
  std::vector<HostView> hosts = SampleHosts();
  std::string error;
  EXPECT_EQ(MatchHost(hosts, "srv-alpha", error), 0u);
  EXPECT_EQ(MatchHost(hosts, "02:00:00:00:00:07", error), 1u);
  EXPECT_EQ(MatchHost(hosts, "10.0.0.7", error), 1u);
  EXPECT_FALSE(MatchHost(hosts, "nobody", error).has_value());
  EXPECT_NE(error.find("SRV-ALPHA (agent 00:1B:21:3C:4D:50, 192.168.0.10)"), std::string::npos) << error;
  // A hostile name is listed without its escape sequence.
  EXPECT_EQ(error.find('\x1b'), std::string::npos);
  // The same host answering on two console adapters is one host ...
  hosts.push_back(hosts[0]);
  hosts.back().consoleAdapter = 1;
  EXPECT_EQ(MatchHost(hosts, "SRV-ALPHA", error), 0u);
  // ... another host of the same name is not.
  hosts.back().record.nics[0].mac[5] = 0x99;
  hosts.back().agentMac[5] = 0x99;
  EXPECT_FALSE(MatchHost(hosts, "SRV-ALPHA", error).has_value());
  EXPECT_NE(error.find("names 2 hosts"), std::string::npos) << error;
  EXPECT_EQ(MatchHost(hosts, "00:1b:21:3c:4d:99", error), 2u);
}

}  // namespace
