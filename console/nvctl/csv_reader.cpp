#include "console/nvctl/csv_reader.h"

namespace {

bool Fail(CsvError& error, std::size_t line, std::string message) {
  error.line = line;
  error.message = std::move(message);
  return false;
}

}  // namespace

bool ReadCsv(std::string_view text, std::vector<CsvRecord>& records, CsvError& error) {
  std::vector<CsvRecord> out;
  std::size_t pos = 0;
  std::size_t line = 1;
  // A UTF-8 byte order mark, as spreadsheet programs write it, is no part of the first field.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;

  while (pos < text.size()) {
    CsvRecord record;
    record.line = line;
    bool endOfRecord = false;
    while (!endOfRecord) {
      std::string field;
      if (pos < text.size() && text[pos] == '"') {
        const std::size_t openedOn = line;
        ++pos;
        bool closed = false;
        while (pos < text.size()) {
          const char c = text[pos++];
          if (c == '"') {
            if (pos < text.size() && text[pos] == '"') {
              field += '"';
              ++pos;
              continue;
            }
            closed = true;
            break;
          }
          if (c == '\0') return Fail(error, line, "NUL byte in a field");
          if (c == '\n') ++line;
          field += c;
          if (field.size() > kCsvMaxField) return Fail(error, openedOn, "field longer than 1024 characters");
        }
        if (!closed) return Fail(error, openedOn, "quoted field is not closed");
        if (pos < text.size() && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n')
          return Fail(error, line, "text after the closing quote of a field");
      } else {
        while (pos < text.size() && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n') {
          const char c = text[pos++];
          if (c == '"') return Fail(error, line, "quote inside an unquoted field");
          if (c == '\0') return Fail(error, line, "NUL byte in a field");
          field += c;
          if (field.size() > kCsvMaxField) return Fail(error, line, "field longer than 1024 characters");
        }
      }
      record.fields.push_back(std::move(field));
      if (pos >= text.size()) {
        endOfRecord = true;
      } else if (text[pos] == ',') {
        ++pos;
      } else {
        // CRLF or LF ends the record; a CR alone as well.
        if (text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        ++line;
        endOfRecord = true;
      }
    }
    const bool emptyLine = record.fields.size() == 1 && record.fields[0].empty();
    if (!emptyLine) out.push_back(std::move(record));
  }
  records = std::move(out);
  return true;
}
