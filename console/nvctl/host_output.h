// nvctl's three output formats of discovered hosts: an aligned table for people, CSV
// (RFC 4180, one row per adapter with the host's fields repeated) and JSON (one array, one
// object per host) for programs. Each host is formatted on its own, so hosts can be printed
// as they answer. Everything a host sent is treated as hostile text: the table and CSV
// replace control characters, JSON escapes them.
#pragma once

#include <string>
#include <string_view>

#include "console/nvctl/host_view.h"

enum class OutputFormat { Table, Csv, Json };

// Text before the first host (the table's or CSV's header line; JSON's "[").
std::string OutputStart(OutputFormat format);
// One host; `first` tells JSON whether a separating comma is needed.
std::string FormatHost(OutputFormat format, const HostView& host, bool first);
// Text after the last host (JSON's "]"; nothing otherwise).
std::string OutputEnd(OutputFormat format);

// One host in full for `show` and after a change: "field: value" lines and an adapter table.
std::string FormatHostDetails(const HostView& host);

// RFC 4180 field: quoted (inner quotes doubled) when it holds a comma, quote, CR or LF.
std::string CsvField(std::string_view text);
// A JSON string literal; bytes 0x7F and above are escaped as \u00XX so that any record
// gives valid JSON.
std::string JsonString(std::string_view text);
