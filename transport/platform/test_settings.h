// Test settings: environment variables that labs and tests set to steer the transports and a
// deployment never sets. Every one the transports read is named here and read only through
// these functions (documented in transport/README.md, "Test settings").
//   TAVI_TEST_DEVICES=name[,name...]  only the named adapters are used (adapters.h)
//   NETVANE_TRUST_STORE=path          the console's trust store file instead of the user's
#pragma once

#include <string>

namespace tavi {

// Empty when unset.
std::string TestDevices();
std::string TestTrustStore();

}  // namespace tavi
