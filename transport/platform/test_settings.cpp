#include "transport/platform/test_settings.h"

#include "transport/platform/store_file.h"

namespace tavi {

std::string TestDevices() { return EnvironmentText("TAVI_TEST_DEVICES"); }

std::string TestTrustStore() { return EnvironmentText("NETVANE_TRUST_STORE"); }

}  // namespace tavi
