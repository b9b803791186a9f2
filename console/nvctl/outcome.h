// What an agent's answer means for nvctl's report and exit status.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/frames.h"

namespace ExitStatus {
constexpr int Ok = 0;
constexpr int AgentRefused = 1;  // an agent refused or failed
constexpr int Usage = 2;         // usage errors and bad input
constexpr int Transport = 3;     // the transport failed
}  // namespace ExitStatus

enum class Outcome {
  Applied,          // status 0
  Refused,          // the agent (or the library on its behalf) refused the credentials or key
  Failed,           // the agent tried and failed
  TransportFailed,  // no answer: the adapter could not be used, no reply came, no memory
};

// From the transport's work result (0: adapter unusable) and the reply's status.
Outcome OutcomeOf(int workResult, uint16_t status);

// The status text from the message table with its code, e.g. "Setting failed (status 2)".
std::string StatusText(uint16_t status);

// The worst exit status of a set of outcomes: transport failures over refusals and failures.
int ExitStatusOf(Outcome outcome);
int WorseExitStatus(int a, int b);

// What a settings request changes, one line per item: the new name, the DNS, and each
// adapter with its change mask in words. `stored` is the record it is compared with.
std::string DescribeSettingsBody(const SettingsBody& body, const HostRecord& stored);
