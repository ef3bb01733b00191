#include "launcher/app/StartModes.h"

#include <windows.h>

#include "ui/TfrmWebPage.h"

namespace lg {

int RunWebPageMode(const std::string& address) {
  TfrmWebPage page;
  if (!page.Create(address)) return 1;
  page.ShowModal();
  return 0;
}

}  // namespace lg
