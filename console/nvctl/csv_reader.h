// RFC 4180 records from a text: fields separated by commas, records by CRLF or LF, fields in
// double quotes may hold commas, line breaks and doubled quotes. Empty lines are skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CsvRecord {
  std::size_t line = 0;  // line number (from 1) where the record starts
  std::vector<std::string> fields;
};

struct CsvError {
  std::size_t line = 0;
  std::string message;
};

// False at the first malformed record (an unterminated quote, text after a closing quote, a
// NUL byte, or a field longer than kCsvMaxField), with its line in `error`.
bool ReadCsv(std::string_view text, std::vector<CsvRecord>& records, CsvError& error);

constexpr std::size_t kCsvMaxField = 1024;
