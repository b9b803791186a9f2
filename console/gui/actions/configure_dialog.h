// "Configure" (template 129): the transport's time-outs and retry count.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "console/gui/dialog/dialog.h"

class ConfigureDialog : public Dialog {
 public:
  explicit ConfigureDialog(HWND parent);

  // Read from the transport on opening; on OK the accepted values.
  uint32_t discoverTimeout = 0;
  uint32_t setTimeout = 0;
  uint32_t retryCount = 0;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode, HWND control) override;
  void OnOK() override;

 private:
  void ShowValues();

  std::string discoverText_;
  std::string setText_;
  std::string retryText_;
};
