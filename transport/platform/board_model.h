// The board's model name: the SMBIOS baseboard product on Windows, sysfs natively.
#pragma once

#include <string>

namespace tavi {

std::string ReadBoardModel();

}  // namespace tavi
