#include "framework/wnd.h"

#include <map>
#include <string>
#include <tuple>

#include "framework/winapp.h"

namespace framework {

namespace {

const char kObjectProperty[] = "TalvoUpdate.CWnd";

// The object whose window CreateEx is creating on this thread; bound at WM_NCCREATE.
thread_local CWnd* t_pCreating = nullptr;

bool IsReflectedColorMessage(UINT message) {
  return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

}  // namespace

CWnd::~CWnd() {
  if (!m_hWnd || FromHandlePermanent(m_hWnd) != this) return;
  const HWND hWnd = m_hWnd;
  const bool destroy = m_bCreatedHere;
  // Unbind first: messages sent while the window goes must not reach a half-destroyed object.
  UnbindHandle();
  if (destroy) ::DestroyWindow(hWnd);
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd) return nullptr;
  return static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty));
}

HWND CWnd::Detach() {
  const HWND hWnd = m_hWnd;
  if (hWnd && FromHandlePermanent(hWnd) == this)
    UnbindHandle();
  m_hWnd = nullptr;
  return hWnd;
}

void CWnd::BindHandle(HWND hWnd) {
  m_hWnd = hWnd;
  ::SetPropA(hWnd, kObjectProperty, this);
}

void CWnd::UnbindHandle() {
  if (!m_hWnd) return;
  if (m_bSubclassed && m_pfnSuper &&
      reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) == &CWnd::WndProcThunk)
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  ::RemovePropA(m_hWnd, kObjectProperty);
  m_hWnd = nullptr;
  m_bSubclassed = false;
  m_bCreatedHere = false;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!hWnd || !::IsWindow(hWnd) || m_hWnd || FromHandlePermanent(hWnd)) return FALSE;
  BindHandle(hWnd);
  PreSubclassWindow();
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WndProcThunk)));
  m_bSubclassed = true;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* pParent) {
  if (!pParent || !pParent->m_hWnd) return FALSE;
  return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  // Someone subclassed the window after us: taking our procedure out of the middle of the chain
  // would cut theirs off, so we stay bound and keep forwarding.
  if (m_bSubclassed &&
      reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) != &CWnd::WndProcThunk)
    return nullptr;
  const HWND hWnd = m_hWnd;
  UnbindHandle();
  return hWnd;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    const RECT& rect, HWND hParent, UINT id) {
  if (m_hWnd) return FALSE;
  CWnd* const previous = t_pCreating;
  t_pCreating = this;
  const HWND hWnd = ::CreateWindowExA(exStyle, className, windowName ? windowName : "", style,
                                      rect.left, rect.top, rect.right - rect.left,
                                      rect.bottom - rect.top, hParent,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                      GetResourceHandle(), nullptr);
  t_pCreating = previous;
  if (!hWnd) {
    if (m_hWnd) UnbindHandle();
    return FALSE;
  }
  // A system class never met our procedure during creation: bind by subclassing.
  if (FromHandlePermanent(hWnd) != this && !SubclassWindow(hWnd)) {
    ::DestroyWindow(hWnd);
    return FALSE;
  }
  m_bCreatedHere = true;
  return TRUE;
}

BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
                  CWnd* pParent, UINT id) {
  return CreateEx(0, className, windowName, style, rect, pParent ? pParent->m_hWnd : nullptr, id);
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return Default(); }

LRESULT CWnd::Default() {
  const WNDPROC super = m_pfnSuper ? m_pfnSuper : &::DefWindowProcA;
  return ::CallWindowProcA(super, m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  HWND child = nullptr;
  if (message == WM_COMMAND) {
    child = reinterpret_cast<HWND>(lParam);  // null for menus, accelerators and own posts
  } else if (message == WM_NOTIFY) {
    if (lParam) child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
  } else if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item && item->CtlType != ODT_MENU) child = item->hwndItem;
  } else if (IsReflectedColorMessage(message)) {
    child = reinterpret_cast<HWND>(lParam);
  }
  CWnd* const object = FromHandlePermanent(child);
  if (!object) return FALSE;
  return object->OnChildNotify(message, wParam, lParam, pResult);
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage saved = m_current;
  m_current = {message, wParam, lParam};
  LRESULT result = 0;
  try {
    if (!ReflectToChild(message, wParam, lParam, &result)) result = WindowProc(message, wParam, lParam);
  } catch (...) {
    result = 0;
  }
  m_current = saved;
  if (message == WM_NCDESTROY && m_hWnd) {
    UnbindHandle();
    PostNcDestroy();
  }
  return result;
}

LRESULT CALLBACK CWnd::WndProcThunk(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* object = FromHandlePermanent(hWnd);
  if (!object) {
    if (message == WM_NCCREATE && t_pCreating && !t_pCreating->m_hWnd) {
      object = t_pCreating;
      t_pCreating = nullptr;
      object->BindHandle(hWnd);
      object->m_pfnSuper = &::DefWindowProcA;
    } else {
      return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
  }
  return object->Dispatch(message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }


void CWnd::ModifyStyle(DWORD remove, DWORD add) {
  const DWORD style = GetStyle();
  const DWORD changed = (style & ~remove) | add;
  if (changed != style) ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
}

void CWnd::SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }

std::string CWnd::GetWindowText() const {
  const int length = ::GetWindowTextLengthA(m_hWnd);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int copied = ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

RECT CWnd::GetClientRect() const {
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  return rc;
}

RECT CWnd::GetWindowRect() const {
  RECT rc{};
  ::GetWindowRect(m_hWnd, &rc);
  return rc;
}

const char* RegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
  // One class per combination; the names live as long as the process.
  static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, std::string> registered;
  const auto key = std::make_tuple(classStyle, cursor, background, icon);
  auto found = registered.find(key);
  if (found != registered.end()) return found->second.c_str();

  char name[96];
  wsprintfA(name, "TalvoWnd:%x:%p:%p:%p", classStyle, static_cast<void*>(cursor),
            static_cast<void*>(background), static_cast<void*>(icon));
  WNDCLASSA wc{};
  wc.style = classStyle;
  wc.lpfnWndProc = &CWnd::WndProcThunk;
  wc.hInstance = GetResourceHandle();
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = name;
  WNDCLASSA existing{};
  if (!::GetClassInfoA(wc.hInstance, name, &existing) && !::RegisterClassA(&wc)) return "";
  return registered.emplace(key, name).first->second.c_str();
}

const char* DefaultWndClass() {
  return RegisterWndClass(CS_DBLCLKS, ::LoadCursor(nullptr, IDC_ARROW), nullptr, nullptr);
}

}  // namespace framework
