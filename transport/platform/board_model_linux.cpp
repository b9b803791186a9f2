#include <fstream>

#include "transport/platform/board_model.h"

namespace tavi {

std::string ReadBoardModel() {
  std::ifstream in("/sys/class/dmi/id/board_name");
  std::string name;
  std::getline(in, name);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  return name;
}

}  // namespace tavi
