#include "agent/tcpip_lists.h"

std::vector<std::string> SplitMultiString(const char* data, std::size_t size) {
  std::vector<std::string> strings;
  if (data == nullptr) return strings;
  std::size_t start = 0;
  while (start < size) {
    std::size_t end = start;
    while (end < size && data[end] != '\0') ++end;
    if (end == start) break;  // the empty string ends the list
    strings.emplace_back(data + start, end - start);
    start = end + 1;
  }
  return strings;
}

std::string JoinMultiString(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) {
    const std::string_view text(s.c_str());  // up to an embedded terminator
    if (text.empty()) continue;
    data.append(text);
    data.push_back('\0');
  }
  if (data.empty()) data.push_back('\0');
  data.push_back('\0');
  return data;
}

std::vector<std::string> SplitServerList(std::string_view text) {
  std::vector<std::string> servers;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(", ", start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) servers.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return servers;
}

char ServerListSeparator(std::string_view text) {
  return text.find(' ') != std::string_view::npos && text.find(',') == std::string_view::npos
             ? ' '
             : ',';
}

std::string JoinServerList(const std::vector<std::string>& servers, char separator) {
  std::string text;
  for (const std::string& s : servers) {
    if (!text.empty()) text.push_back(separator);
    text.append(s);
  }
  return text;
}

std::string ReplaceFirstServer(std::string_view list, std::string_view server) {
  std::vector<std::string> servers = SplitServerList(list);
  if (servers.empty())
    servers.emplace_back(server);
  else
    servers[0] = std::string(server);
  return JoinServerList(servers, ServerListSeparator(list));
}

namespace {

bool IsPlaceholder(const std::vector<std::string>& list) {
  for (const std::string& s : list)
    if (s != "0.0.0.0") return false;
  return true;
}

}  // namespace

ParallelLists ReadParallel(std::vector<std::string> first, std::vector<std::string> second) {
  ParallelLists lists;
  if (!IsPlaceholder(first)) lists.first = std::move(first);
  if (!IsPlaceholder(second)) lists.second = std::move(second);
  return lists;
}

ParallelLists ReplaceFirstPair(const ParallelLists& lists, const std::string& newFirst,
                               const std::string& newSecond, const std::string& fallbackFirst,
                               const std::string& fallbackSecond) {
  ParallelLists out = lists;
  if (out.first.empty()) out.first.push_back(fallbackFirst);
  if (!newFirst.empty()) out.first[0] = newFirst;
  if (out.second.empty()) out.second.push_back(fallbackSecond);
  if (!newSecond.empty()) out.second[0] = newSecond;
  out.second.resize(out.first.size(), out.second[0]);
  return out;
}
