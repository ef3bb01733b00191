#include "ui/TWebBrowserHost.h"

#include <windows.h>

#include <docobj.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>

#include "common/Platform.h"

namespace lg {
namespace {

// The document host's command group (script error reports); the MinGW
// import libraries do not carry it.
constexpr GUID kDocHostCommandHandler = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

std::wstring Wide(const std::string& gbk) {
  std::u16string u = plat::Utf16FromGbk(gbk);
  return std::wstring(u.begin(), u.end());
}

std::string GbkOf(const wchar_t* w) {
  return w ? plat::GbkFromUtf16(reinterpret_cast<const char16_t*>(w)) : std::string();
}

// The text of an event argument that may arrive by reference.
std::string TextArgument(const VARIANT& v) {
  const VARIANT* p = &v;
  if (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal) p = p->pvarVal;
  if (p->vt == VT_BSTR) return GbkOf(p->bstrVal);
  if (p->vt == (VT_BYREF | VT_BSTR) && p->pbstrVal) return GbkOf(*p->pbstrVal);
  return {};
}

void SetCancel(VARIANT& v, bool cancel) {
  if (v.vt == (VT_BYREF | VT_BOOL) && v.pboolVal) *v.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

// One object for every interface the control asks its container for. Its
// lifetime is the host's; the reference count only answers COM.
class TWebBrowserHost::TSite final : public IOleClientSite,
                                     public IOleInPlaceSite,
                                     public IOleInPlaceFrame,
                                     public IDocHostUIHandler,
                                     public IOleCommandTarget,
                                     public IDispatch {
 public:
  TSite(HWND parent, TEvents events) : parent_(parent), events_(std::move(events)) {}

  bool Create() {
    if (FAILED(OleInitialize(nullptr))) return false;
    oleStarted_ = true;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_))))
      return false;
    if (FAILED(object_->SetClientSite(static_cast<IOleClientSite*>(this)))) return false;
    RECT r = bounds_;
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, parent_, &r)))
      return false;
    if (FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) return false;
    // No dialogs of the control's own (script errors, certificate prompts).
    browser_->put_Silent(VARIANT_TRUE);
    IConnectionPointContainer* container = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
      if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point_)))
        point_->Advise(static_cast<IDispatch*>(this), &cookie_);
      container->Release();
    }
    return true;
  }

  ~TSite() {
    if (point_) {
      point_->Unadvise(cookie_);
      point_->Release();
    }
    if (browser_) browser_->Release();
    if (object_) {
      IOleInPlaceObject* inPlace = nullptr;
      if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->InPlaceDeactivate();
        inPlace->Release();
      }
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
      object_->Release();
    }
    if (oleStarted_) OleUninitialize();
  }

  void SetBounds(const RECT& r) {
    bounds_ = r;
    IOleInPlaceObject* inPlace = nullptr;
    if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
      inPlace->SetObjectRects(&bounds_, &bounds_);
      inPlace->Release();
    }
  }

  HWND ControlWindow() const {
    HWND hwnd = nullptr;
    IOleWindow* w = nullptr;
    if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&w)))) {
      w->GetWindow(&hwnd);
      w->Release();
    }
    return hwnd;
  }

  IWebBrowser2* browser_ = nullptr;
  IOleObject* object_ = nullptr;
  bool visible_ = true;

  // ---- IUnknown -----------------------------------------------------
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IDocHostUIHandler)
      *out = static_cast<IDocHostUIHandler*>(this);
    else if (riid == IID_IOleCommandTarget)
      *out = static_cast<IOleCommandTarget*>(this);
    else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return refs_ > 1 ? --refs_ : 1; }

  // ---- IOleClientSite ---------------------------------------------------
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // ---- IOleWindow / IOleInPlaceSite -------------------------------------
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    *hwnd = parent_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    *pos = bounds_;
    *clip = bounds_;
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT r) override {
    SetBounds(*r);
    return S_OK;
  }

  // ---- IOleInPlaceUIWindow / IOleInPlaceFrame ---------------------------
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
    if (active) active->AddRef();
    if (active_) active_->Release();
    active_ = active;
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // ---- IDocHostUIHandler ------------------------------------------------
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return S_OK;  // handled: no menu of any kind
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    if (!info) return E_POINTER;
    info->dwFlags = kHostFlags;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
    *target = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    *external = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }

  // ---- IOleCommandTarget: script errors continue without a dialog -------
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return OLECMDERR_E_UNKNOWNGROUP; }
  STDMETHODIMP Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT* out) override {
    if (group && *group == kDocHostCommandHandler && id == OLECMDID_SHOWSCRIPTERROR) {
      if (out) {
        VariantClear(out);
        out->vt = VT_BOOL;
        out->boolVal = VARIANT_TRUE;  // keep running the page's scripts
      }
      return S_OK;
    }
    return OLECMDERR_E_NOTSUPPORTED;
  }

  // ---- IDispatch: DWebBrowserEvents2 ------------------------------------
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    // Arguments arrive last first.
    const UINT n = p ? p->cArgs : 0;
    switch (id) {
      case DISPID_BEFORENAVIGATE2:  // pDisp, URL, Flags, Target, PostData, Headers, Cancel
        if (n >= 7 && events_.BeforeNavigate) {
          bool cancel = false;
          events_.BeforeNavigate(TextArgument(p->rgvarg[5]), cancel);
          SetCancel(p->rgvarg[0], cancel);
        }
        break;
      case DISPID_DOCUMENTCOMPLETE:  // pDisp, URL
        if (n >= 2 && events_.DocumentComplete) events_.DocumentComplete(TextArgument(p->rgvarg[0]));
        break;
      case DISPID_TITLECHANGE:  // Text
        if (n >= 1 && events_.TitleChange && p->rgvarg[0].vt == VT_BSTR && p->rgvarg[0].bstrVal)
          events_.TitleChange(reinterpret_cast<const char16_t*>(p->rgvarg[0].bstrVal));
        break;
      case DISPID_NEWWINDOW3:  // ppDisp, Cancel, Flags, UrlContext, Url
        if (n >= 5 && events_.NewWindow) {
          bool cancel = false;
          events_.NewWindow(TextArgument(p->rgvarg[0]), cancel);
          SetCancel(p->rgvarg[3], cancel);
        }
        break;
      case DISPID_NAVIGATEERROR:  // pDisp, URL, Frame, StatusCode, Cancel
        if (n >= 5 && events_.NavigateError) {
          const VARIANT& s = p->rgvarg[1];
          int32_t status = s.vt == (VT_BYREF | VT_VARIANT) && s.pvarVal && s.pvarVal->vt == VT_I4 ? s.pvarVal->lVal : 0;
          events_.NavigateError(TextArgument(p->rgvarg[3]), status);
        }
        break;
      default:
        // Window resize requests of the page and everything else: ignored.
        break;
    }
    return S_OK;
  }

  IOleInPlaceActiveObject* active_ = nullptr;

 private:
  HWND parent_;
  TEvents events_;
  RECT bounds_{0, 0, 0, 0};
  bool oleStarted_ = false;
  IConnectionPoint* point_ = nullptr;
  DWORD cookie_ = 0;
  ULONG refs_ = 1;
};

TWebBrowserHost::TWebBrowserHost(intptr_t parentWindow, TEvents events)
    : site_(std::make_unique<TSite>(reinterpret_cast<HWND>(parentWindow), std::move(events))) {
  if (!site_->Create()) site_->browser_ = nullptr;
}

TWebBrowserHost::~TWebBrowserHost() {
  if (site_ && site_->active_) {
    site_->active_->Release();
    site_->active_ = nullptr;
  }
}

bool TWebBrowserHost::Created() const {
  return site_->browser_ != nullptr;
}

void TWebBrowserHost::SetBounds(int x, int y, int width, int height) {
  site_->SetBounds(RECT{x, y, x + width, y + height});
}

void TWebBrowserHost::SetVisible(bool visible) {
  site_->visible_ = visible;
  if (site_->browser_) site_->browser_->put_Visible(visible ? VARIANT_TRUE : VARIANT_FALSE);
  if (HWND w = site_->ControlWindow()) ShowWindow(w, visible ? SW_SHOW : SW_HIDE);
}

bool TWebBrowserHost::Visible() const {
  return site_->visible_;
}

bool TWebBrowserHost::Navigate(const std::string& url) {
  if (!site_->browser_) return false;
  BSTR address = SysAllocString(Wide(url).c_str());
  VARIANT empty;
  VariantInit(&empty);
  HRESULT hr = site_->browser_->Navigate(address, &empty, &empty, &empty, &empty);
  SysFreeString(address);
  return SUCCEEDED(hr);
}

bool TWebBrowserHost::WriteLine(const std::string& text) {
  if (!site_->browser_) return false;
  IDispatch* disp = nullptr;
  if (FAILED(site_->browser_->get_Document(&disp)) || !disp) return false;
  IHTMLDocument2* doc = nullptr;
  bool ok = false;
  if (SUCCEEDED(disp->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&doc)))) {
    SAFEARRAY* lines = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    if (lines) {
      VARIANT* item = nullptr;
      if (SUCCEEDED(SafeArrayAccessData(lines, reinterpret_cast<void**>(&item)))) {
        item->vt = VT_BSTR;
        item->bstrVal = SysAllocString(Wide(text).c_str());
        SafeArrayUnaccessData(lines);
        ok = SUCCEEDED(doc->writeln(lines));
      }
      SafeArrayDestroy(lines);
    }
    doc->Release();
  }
  disp->Release();
  return ok;
}

bool TWebBrowserHost::ForwardKeyMessage(void* message) {
  MSG* msg = static_cast<MSG*>(message);
  if (!site_->active_ || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  // Only keys typed into the page: the control would otherwise take Enter,
  // Tab or Esc meant for another window of the thread (the server popup).
  HWND control = site_->ControlWindow();
  if (!control || !msg->hwnd || (msg->hwnd != control && !IsChild(control, msg->hwnd))) return false;
  return site_->active_->TranslateAccelerator(msg) == S_OK;
}

bool TWebBrowserHost::HasFocus() const {
  HWND control = site_->ControlWindow();
  HWND focus = GetFocus();
  return control && focus && (focus == control || IsChild(control, focus));
}

}  // namespace lg
