#include "console/nvctl/apply_file.h"

#include "console/nvctl/csv_reader.h"
#include "console/nvctl/text_rules.h"

namespace {

const char* ColumnOf(ChangeField field) {
  switch (field) {
    case ChangeField::Nic:
    case ChangeField::NicMac: return "nic";
    case ChangeField::Mode: return "mode";
    case ChangeField::Address: return "address";
    case ChangeField::Mask: return "mask";
    case ChangeField::Gateway: return "gateway";
    case ChangeField::Dns: return "dns";
    case ChangeField::Name: return "name";
    case ChangeField::Whole: break;
  }
  return nullptr;
}

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

}  // namespace

bool ReadApplyRows(std::string_view text, std::vector<ApplyRow>& rows, std::string& error) {
  std::vector<CsvRecord> records;
  CsvError csvError;
  if (!ReadCsv(text, records, csvError)) {
    error = "line " + std::to_string(csvError.line) + ": " + csvError.message;
    return false;
  }
  std::size_t first = 0;
  if (!records.empty() && !records[0].fields.empty() &&
      EqualsNoCase(Trim(records[0].fields[0]), "host"))
    first = 1;
  if (records.size() - first > kApplyMaxRows) {
    error = "more than " + std::to_string(kApplyMaxRows) + " rows";
    return false;
  }

  std::vector<ApplyRow> out;
  for (std::size_t i = first; i < records.size(); ++i) {
    const CsvRecord& record = records[i];
    const std::string where = "line " + std::to_string(record.line) + ": ";
    if (record.fields.size() != kApplyColumns) {
      error = where + std::to_string(record.fields.size()) + " columns, expected " +
              std::to_string(kApplyColumns) + " (host,nic,mode,address,mask,gateway,dns,name)";
      return false;
    }
    std::string f[kApplyColumns];
    for (std::size_t k = 0; k < kApplyColumns; ++k) f[k] = Trim(record.fields[k]);
    if (f[0].empty()) {
      error = where + "column host: empty";
      return false;
    }
    ChangeText change;
    // The nic column takes a number or a MAC.
    if (f[1].find_first_of(":-") != std::string::npos) change.mac = f[1];
    else change.nic = f[1];
    change.mode = f[2];
    change.address = f[3];
    change.mask = f[4];
    change.gateway = f[5];
    change.dns = f[6];
    change.name = f[7];
    ApplyRow row;
    row.line = record.line;
    row.host = f[0];
    ChangeError changeError;
    if (!ParseChange(change, row.change, changeError)) {
      const char* column = ColumnOf(changeError.field);
      error = where + (column ? std::string("column ") + column + ": " : std::string()) +
              changeError.message;
      return false;
    }
    out.push_back(std::move(row));
  }
  if (out.empty()) {
    error = "no rows to apply";
    return false;
  }
  rows = std::move(out);
  return true;
}
