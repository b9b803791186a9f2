#include "console/nvctl/password_source.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

constexpr DWORD kMaxPasswordFile = 4096;

bool ReadPasswordFile(const std::string& file, const char* option, Secret& password,
                      std::string& error) {
  HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = std::string(option) + ": cannot open " + file;
    return false;
  }
  std::vector<uint8_t> bytes(kMaxPasswordFile, 0);
  DWORD read = 0;
  const BOOL ok = ReadFile(handle, bytes.data(), kMaxPasswordFile, &read, nullptr);
  CloseHandle(handle);
  bool result = false;
  if (!ok) {
    error = std::string(option) + ": cannot read " + file;
  } else {
    std::string reason;
    result = PasswordFromText(std::string_view(reinterpret_cast<const char*>(bytes.data()), read),
                              password, reason);
    if (!result) error = std::string(option) + ": " + reason;
  }
  WipeSecret(bytes);
  return result;
}

bool ReadVariable(const char* variable, Secret& password, bool& present, std::string& error) {
  std::vector<char> value(1024, 0);
  const DWORD length = GetEnvironmentVariableA(variable, value.data(), static_cast<DWORD>(value.size()));
  present = length > 0;
  if (!present) return false;
  bool result = false;
  if (length >= value.size()) {
    error = std::string(variable) + ": the password is longer than 16 characters";
  } else {
    std::string reason;
    result = PasswordFromText(std::string_view(value.data(), length), password, reason);
    if (!result) error = std::string(variable) + ": " + reason;
  }
  Wipe(value.data(), value.size());
  return result;
}

// One line from the console with echo off.
bool Prompt(const char* prompt, Secret& password, std::string& error) {
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    error = "no password: no console to ask on; set NETVANE_PASSWORD or use --password-file";
    return false;
  }
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT);
  std::vector<char> buffer(256, 0);
  DWORD read = 0;
  const BOOL ok = ReadConsoleA(input, buffer.data(), static_cast<DWORD>(buffer.size() - 1), &read, nullptr);
  SetConsoleMode(input, mode);
  CloseHandle(input);
  std::fprintf(stderr, "\n");
  bool result = false;
  if (!ok) {
    error = "no password: reading the console failed";
  } else {
    std::string reason;
    result = PasswordFromText(std::string_view(buffer.data(), read), password, reason);
    if (!result) error = reason;
  }
  Wipe(buffer.data(), buffer.size());
  return result;
}

}  // namespace

bool ReadPassword(const std::string& file, const char* fileOption, const char* variable,
                  const char* prompt, bool confirm, Secret& password, std::string& error) {
  if (!file.empty()) return ReadPasswordFile(file, fileOption, password, error);
  bool present = false;
  if (ReadVariable(variable, password, present, error)) return true;
  if (present) return false;
  if (!Prompt(prompt, password, error)) return false;
  if (!confirm) return true;
  Secret again;
  if (!Prompt("Again: ", again, error)) return false;
  if (again.view() != password.view()) {
    error = "Passwords do not match!";
    return false;
  }
  return true;
}
