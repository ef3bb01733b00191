#include "ui/TNewsBrowser.h"

#include <windows.h>

#include <shellapi.h>

#include "DeploymentDefaults.h"
#include "Library/hDownload/WebText.h"
#include "common/Platform.h"
#include "launcher/Diagnostics.h"
#include "ui/TWebBrowserHost.h"
#include "ui/WebPageRules.h"

namespace lg {

std::string TNewsBrowser::RedirectAddress(const std::string& url) {
  const std::string mac = CheckAdapterText([](int position) { return AdapterMacText(position); });
  return WithCrcParameter(url, CrcValue(mac, defaults::kCrcSaltHead, defaults::kCrcSaltTail));
}

TNewsBrowser::TNewsBrowser(intptr_t mainWindow, const std::string& address) {
  TWebBrowserHost::TEvents events;
  events.DocumentComplete = [this](const std::string&) { browser_->SetVisible(true); };
  events.NewWindow = [](const std::string& url, bool& cancel) {
    std::u16string target = plat::Utf16FromGbk(RedirectAddress(url));
    ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t*>(target.c_str()), nullptr, nullptr, SW_SHOWNORMAL);
    cancel = true;
  };
  events.NavigateError = [this](const std::string& url, int32_t status) {
    if (logged_) return;
    logged_ = true;
    LogError("news page: no page for " + url + " (" + std::to_string(status) + ")");
  };
  browser_ = std::make_unique<TWebBrowserHost>(mainWindow, std::move(events));
  if (!browser_->Created()) {
    logged_ = true;
    LogError("news page: browser control not available");
    return;
  }
  browser_->SetVisible(false);
  browser_->Navigate(address);
}

TNewsBrowser::~TNewsBrowser() = default;

void TNewsBrowser::SetBounds(int x, int y, int width, int height) {
  browser_->SetBounds(x, y, width, height);
}

void TNewsBrowser::Show() {
  browser_->SetVisible(true);
}

bool TNewsBrowser::ForwardKeyMessage(void* message) {
  return browser_->ForwardKeyMessage(message);
}

}  // namespace lg
