#include <windows.h>

#include "launcher/app/StartModes.h"
#include "ui/TfrmMain.h"

namespace lg {

int RunNormalMode() {
  TfrmMainOptions options;
  options.runProgram = true;
  TfrmMain window(std::move(options));
  if (!window.Create()) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window.PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace lg
