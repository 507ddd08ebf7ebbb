// An off-screen memory DC holding a bitmap of one size, made compatible with the DC it is first
// prepared for and kept while the size stays: a control that composes every paint off-screen
// does not create and destroy both each time.
#pragma once
#include <windows.h>

#include "framework/scopedhandle.h"

namespace framework {

class CMemoryCanvas {
 public:
  CMemoryCanvas() = default;
  ~CMemoryCanvas() { Release(); }
  CMemoryCanvas(const CMemoryCanvas&) = delete;
  CMemoryCanvas& operator=(const CMemoryCanvas&) = delete;

  // The canvas's DC, `width` by `height`, compatible with `like` when it had to be (re)made;
  // null when it cannot be made.
  HDC Prepare(HDC like, int width, int height) {
    if (m_dc && width == m_width && height == m_height) return m_dc.Get();
    Release();
    m_dc.Reset(::CreateCompatibleDC(like));
    m_bitmap.Reset(::CreateCompatibleBitmap(like, width, height));
    if (!m_dc || !m_bitmap) {
      Release();
      return nullptr;
    }
    m_original = ::SelectObject(m_dc.Get(), m_bitmap.Get());
    m_width = width;
    m_height = height;
    return m_dc.Get();
  }

 private:
  // The bitmap is given back to its DC's original before either goes.
  void Release() {
    if (m_dc && m_original && m_original != HGDI_ERROR) ::SelectObject(m_dc.Get(), m_original);
    m_original = nullptr;
    m_dc.Reset();
    m_bitmap.Reset();
    m_width = m_height = 0;
  }

  UniqueMemoryDC m_dc;
  UniqueBitmap m_bitmap;
  HGDIOBJ m_original = nullptr;
  int m_width = 0;
  int m_height = 0;
};

}  // namespace framework
