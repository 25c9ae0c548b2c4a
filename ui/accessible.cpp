#include "ui/accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>

#include "ui/contained.h"

namespace norvane::ui {
namespace {

constexpr UINT_PTR kSubclassId = 0x4143;  // 'AC'

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT AnswerString(const std::wstring& text, BSTR* out) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The standard proxy of a control with some of its answers replaced. Every
// other call goes to the proxy unchanged.
class AnnotatedProxy final : public IAccessible {
 public:
  AnnotatedProxy(IAccessible* proxy, std::weak_ptr<const AccessibleText> text)
      : m_proxy(proxy), m_text(std::move(text)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    // Further interfaces of the proxy (IEnumVARIANT, IOleWindow) answer for
    // the proxy itself.
    return m_proxy->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return left;
  }

  // The answers of our own run the control's code: nothing it throws may
  // cross into the caller.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!IsSelf(child)) return m_proxy->get_accName(child, name);
    *name = nullptr;
    return ContainedCall(L"IAccessible::get_accName", [&] {
      const auto text = m_text.lock();
      if (!text || !text->name) return RPC_E_DISCONNECTED;
      return AnswerString(text->name(), name);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    const auto text = m_text.lock();
    if (!IsSelf(child) || (text && !text->value)) return m_proxy->get_accValue(child, value);
    *value = nullptr;
    if (!text) return RPC_E_DISCONNECTED;
    return ContainedCall(L"IAccessible::get_accValue", [&] {
      const std::optional<std::wstring> shown = text->value();
      return shown ? AnswerString(*shown, value) : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    const auto text = m_text.lock();
    if (!IsSelf(child) || !text || text->role == 0) return m_proxy->get_accRole(child, role);
    role->vt = VT_I4;
    role->lVal = text->role;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return m_proxy->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return m_proxy->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return m_proxy->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
    return m_proxy->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return m_proxy->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return m_proxy->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return m_proxy->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return m_proxy->get_accDescription(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return m_proxy->get_accState(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return m_proxy->get_accHelp(child, out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return m_proxy->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return m_proxy->get_accKeyboardShortcut(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override { return m_proxy->get_accFocus(out); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return m_proxy->get_accSelection(out); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return m_proxy->get_accDefaultAction(child, out);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return m_proxy->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return m_proxy->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return m_proxy->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return m_proxy->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return m_proxy->accDoDefaultAction(child); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return m_proxy->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return m_proxy->put_accValue(child, value);
  }

 private:
  ~AnnotatedProxy() { m_proxy->Release(); }

  IAccessible* m_proxy;
  std::weak_ptr<const AccessibleText> m_text;
  LONG m_references = 1;
};

}  // namespace

CAccessibleControl::~CAccessibleControl() { Detach(); }

void CAccessibleControl::Attach(HWND control, AccessibleText text) {
  Detach();
  m_hwnd = control;
  m_text = std::make_shared<AccessibleText>(std::move(text));
  SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CAccessibleControl::Detach() {
  if (m_hwnd) RemoveWindowSubclass(m_hwnd, SubclassProc, kSubclassId);
  m_hwnd = nullptr;
  m_text.reset();
}

void CAccessibleControl::NotifyValueChange() const {
  if (m_hwnd) NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_hwnd, OBJID_CLIENT, CHILDID_SELF);
}

LRESULT CALLBACK CAccessibleControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR self) {
  return Contained(
      L"an accessible control's subclass procedure", message,
      [&]() -> LRESULT {
        auto& control = *reinterpret_cast<CAccessibleControl*>(self);
        if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
          return control.AnswerGetObject(wParam, lParam);
        }
        if (message == WM_NCDESTROY) control.Detach();
        return DefSubclassProc(hwnd, message, wParam, lParam);
      },
      [&] { return DefSubclassProc(hwnd, message, wParam, lParam); });
}

// Without a proxy (the system is out of memory) the control answers as if
// it had no object of its own, and the system makes one.
LRESULT CAccessibleControl::AnswerGetObject(WPARAM wParam, LPARAM lParam) const {
  IAccessible* proxy = nullptr;
  if (FAILED(
          CreateStdAccessibleObject(m_hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&proxy)))) {
    return DefSubclassProc(m_hwnd, WM_GETOBJECT, wParam, lParam);
  }
  auto* annotated = new AnnotatedProxy(proxy, m_text);
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, annotated);
  annotated->Release();
  return result;
}

std::wstring LabelName(HWND label) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
  std::wstring name;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'&' && i + 1 < text.size()) c = text[++i];  // "&x" marks a mnemonic; "&&" shows one '&'
    const bool lineBreak = c == L'\r' || c == L'\n';
    if (lineBreak && (name.empty() || name.back() == L' ')) continue;
    name.push_back(lineBreak ? L' ' : c);
  }
  while (!name.empty() && name.back() == L' ') name.pop_back();
  return name;
}

}  // namespace norvane::ui
