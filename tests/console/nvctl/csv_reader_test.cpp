#include "console/nvctl/csv_reader.h"

#include <gtest/gtest.h>

#include "console/nvctl/apply_file.h"

namespace {

std::vector<CsvRecord> Read(std::string_view text) {
  std::vector<CsvRecord> records;
  CsvError error;
  EXPECT_TRUE(ReadCsv(text, records, error)) << error.line << ": " << error.message;
  return records;
}

CsvError ReadError(std::string_view text) {
  std::vector<CsvRecord> records;
  CsvError error;
  EXPECT_FALSE(ReadCsv(text, records, error));
  return error;
}

TEST(ReadCsv, QuotedFieldsHoldCommasQuotesAndLineBreaks) {
  const auto records = Read("a,\"b,c\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\nnext,,\"\"\r\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fields,
            (std::vector<std::string>{"a", "b,c", "say \"hi\"", "two\r\nlines"}));
  EXPECT_EQ(records[0].line, 1u);
  // The record after a quoted line break starts on line 3.
  EXPECT_EQ(records[1].line, 3u);
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"next", "", ""}));
}

TEST(ReadCsv, LineEndsAndEmptyLines) {
  const auto records = Read("\xEF\xBB\xBFh1,h2\n\n\r\nx,y\ry2,z\n\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].fields[0], "h1");  // byte order mark dropped
  EXPECT_EQ(records[1].line, 4u);
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(records[2].fields, (std::vector<std::string>{"y2", "z"}));
  EXPECT_TRUE(Read("").empty());
  EXPECT_EQ(Read("last,row").size(), 1u);  // no final line end
}

TEST(ReadCsv, MalformedRecordsGiveTheirLine) {
  EXPECT_EQ(ReadError("ok\n\"open\nstill open").line, 2u);
  EXPECT_EQ(ReadError("ok\n\"closed\"junk,x").line, 2u);
  EXPECT_EQ(ReadError("a,b\"c\n").line, 1u);
  EXPECT_EQ(ReadError(std::string("a\nb\0c", 5)).line, 2u);
  EXPECT_NE(ReadError(std::string(kCsvMaxField + 1, 'x')).message.find("1024"), std::string::npos);
  EXPECT_NE(ReadError("\"" + std::string(kCsvMaxField + 1, 'x') + "\"").message.find("1024"),
            std::string::npos);
}

const char* kHeader = "host,nic,mode,address,mask,gateway,dns,name\n";

TEST(ReadApplyRows, RowsWithHeaderMacOrNumberAndEmptyColumns) {
  std::vector<ApplyRow> rows;
  std::string error;
  const std::string text = std::string(kHeader) +
                           "SRV1,1,static,10.0.0.5/24,,10.0.0.1,,\n"
                           "\n"
                           " SRV2 ,00-11-22-33-44-55,static,10.0.0.6,255.255.255.0,,auto,\n"
                           "SRV3,,dhcp,,,,10.0.0.53,NEWNAME\n"
                           "SRV4,,,,,,,RENAMED\n";
  ASSERT_TRUE(ReadApplyRows(text, rows, error)) << error;
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].line, 2u);
  EXPECT_EQ(rows[0].change.slot, 0);
  EXPECT_EQ(rows[0].change.mask, 0xFFFFFF00u);
  EXPECT_EQ(rows[1].line, 4u);
  EXPECT_EQ(rows[1].host, "SRV2");
  ASSERT_TRUE(rows[1].change.mac.has_value());
  EXPECT_EQ(rows[1].change.dns, SettingsChange::Dns::Auto);
  EXPECT_FALSE(rows[1].change.gateway.has_value());
  EXPECT_EQ(rows[2].change.mode, SettingsChange::Mode::Dhcp);
  EXPECT_EQ(rows[2].change.newName, "NEWNAME");
  EXPECT_EQ(rows[3].change.mode, SettingsChange::Mode::Keep);
  // Without a header the first row is a change.
  ASSERT_TRUE(ReadApplyRows("SRV4,,,,,,,RENAMED\n", rows, error)) << error;
  EXPECT_EQ(rows.size(), 1u);
}

TEST(ReadApplyRows, TheFirstBadRowStopsWithItsLineAndColumn) {
  const struct {
    std::string body;
    std::string expected;
  } cases[] = {
      {"SRV1,1,static,10.0.0.5/24,,,,\nSRV2,1,static,10.0.0.6,,,,\n",
       "line 3: column mask: a fixed address needs a prefix"},
      {"SRV1,1,static,10.0.0.5/24,,,\n", "line 2: 7 columns, expected 8"},
      {"SRV1,1,fixed,,,,,\n", "line 2: column mode: 'fixed'"},
      {",1,dhcp,,,,,\n", "line 2: column host: empty"},
      {"SRV1,x,dhcp,,,,,\n", "line 2: column nic: 'x'"},
      {"SRV1,1,dhcp,10.0.0.5,,,,\n", "line 2: column address:"},
      {"SRV1,1,static,10.0.0.5/24,,10.0.0.300,,\n", "line 2: column gateway:"},
      {"SRV1,,,,,,dns?,\n", "line 2: column dns:"},
      {"SRV1,,,,,,,\n", "line 2: nothing to change"},
      {"SRV1,\"1,static\n", "line 2: quoted field is not closed"},
  };
  for (const auto& c : cases) {
    std::vector<ApplyRow> rows;
    std::string error;
    EXPECT_FALSE(ReadApplyRows(std::string(kHeader) + c.body, rows, error)) << c.body;
    EXPECT_EQ(error.rfind(c.expected, 0), 0u) << error;
    EXPECT_TRUE(rows.empty());
  }
}

TEST(ReadApplyRows, EmptyAndOversizedFiles) {
  std::vector<ApplyRow> rows;
  std::string error;
  EXPECT_FALSE(ReadApplyRows(kHeader, rows, error));
  EXPECT_EQ(error, "no rows to apply");
  EXPECT_FALSE(ReadApplyRows("", rows, error));
  std::string many;
  for (std::size_t i = 0; i <= kApplyMaxRows; ++i) many += "SRV,,,,,,,NAME\n";
  EXPECT_FALSE(ReadApplyRows(many, rows, error));
  EXPECT_NE(error.find("4096"), std::string::npos);
}

}  // namespace
