// Owning wrappers for Win32 handles: each closes its handle exactly once.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace framework {

// Traits: static T Invalid(); static bool IsValid(T); static void Close(T).
template <typename T, typename Traits>
class ScopedHandle {
 public:
  ScopedHandle() : m_h(Traits::Invalid()) {}
  explicit ScopedHandle(T h) : m_h(h) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : m_h(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  T Get() const { return m_h; }
  bool IsValid() const { return Traits::IsValid(m_h); }
  explicit operator bool() const { return IsValid(); }
  T Release() { return std::exchange(m_h, Traits::Invalid()); }
  void Reset(T h = Traits::Invalid()) {
    if (Traits::IsValid(m_h)) Traits::Close(m_h);
    m_h = h;
  }

 private:
  T m_h;
};

// Kernel handles: both null and INVALID_HANDLE_VALUE mean "none", since the API uses both.
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
using UniqueHandle = ScopedHandle<HANDLE, KernelHandleTraits>;

struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { ::FindClose(h); }
};
using UniqueFindHandle = ScopedHandle<HANDLE, FindHandleTraits>;

// Registry keys. The predefined roots (HKEY_CURRENT_USER and friends) are never closed: they
// are not ours, and a wrapper may hold one as its current key.
inline bool IsPredefinedRegKey(HKEY hKey) {
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(hKey);
  return value >= 0x80000000UL && value <= 0x8000000FUL;
}
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr && !IsPredefinedRegKey(h); }
  static void Close(HKEY h) { ::RegCloseKey(h); }
};
using UniqueRegKey = ScopedHandle<HKEY, RegKeyTraits>;

struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool IsValid(HGDIOBJ h) { return h != nullptr; }
  static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
using UniqueGdiObject = ScopedHandle<HGDIOBJ, GdiObjectTraits>;

using UniqueBitmap = UniqueGdiObject;

// Memory device contexts (CreateCompatibleDC).
struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { ::DeleteDC(h); }
};
using UniqueMemoryDC = ScopedHandle<HDC, MemoryDcTraits>;

struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static bool IsValid(HICON h) { return h != nullptr; }
  static void Close(HICON h) { ::DestroyIcon(h); }
};
using UniqueIcon = ScopedHandle<HICON, IconTraits>;

// Modules from LoadLibrary / LoadLibraryEx (data files included).
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { ::FreeLibrary(h); }
};
using UniqueModule = ScopedHandle<HMODULE, ModuleTraits>;

struct ImageListTraits {
  static HIMAGELIST Invalid() { return nullptr; }
  static bool IsValid(HIMAGELIST h) { return h != nullptr; }
  static void Close(HIMAGELIST h) { ::ImageList_Destroy(h); }
};
using UniqueImageList = ScopedHandle<HIMAGELIST, ImageListTraits>;

// A window's DC from GetDC, released on scope exit.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND hWnd) : m_hWnd(hWnd), m_dc(::GetDC(hWnd)) {}
  ~ScopedWindowDC() {
    if (m_dc) ::ReleaseDC(m_hWnd, m_dc);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC Get() const { return m_dc; }

 private:
  HWND m_hWnd;
  HDC m_dc;
};

// BeginPaint / EndPaint for one WM_PAINT.
class ScopedPaintDC {
 public:
  explicit ScopedPaintDC(HWND hWnd) : m_hWnd(hWnd), m_dc(::BeginPaint(hWnd, &m_ps)) {}
  ~ScopedPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
  ScopedPaintDC(const ScopedPaintDC&) = delete;
  ScopedPaintDC& operator=(const ScopedPaintDC&) = delete;
  HDC Get() const { return m_dc; }
  const PAINTSTRUCT& Paint() const { return m_ps; }

 private:
  HWND m_hWnd;
  PAINTSTRUCT m_ps{};
  HDC m_dc;
};

// Selects a GDI object into a DC for the lifetime of this object.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
  ~ScopedSelectObject() {
    if (m_old && m_old != HGDI_ERROR) ::SelectObject(m_dc, m_old);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace framework
