// CWnd: a window handle and the few calls the dialog makes on it.
#pragma once

#include <windows.h>

struct MessageMap;

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd() = default;

  HWND m_hWnd = nullptr;

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  BOOL SetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags) const {
    return ::SetWindowPos(m_hWnd, insertAfter, x, y, width, height, flags);
  }
  HICON SetIcon(HICON icon, BOOL big) const {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }
  // A message box owned by this window; texts are UTF-16 so they show the
  // same whatever the ANSI code page.
  int MessageBox(const wchar_t* text, const wchar_t* caption, UINT type = MB_OK) const {
    return ::MessageBoxW(m_hWnd, text, caption, type);
  }

  // The message map of this class, chained to its base's. The root map is
  // empty.
  static const MessageMap* ClassMessageMap();
  virtual const MessageMap* GetMessageMap() const { return ClassMessageMap(); }

  // Finds the handler for a message along the chain of maps and runs it.
  // False when there is none, or when the handler asked for the default
  // course (Default()).
  bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

 protected:
  // Called from a handler: let the message take its default course once the
  // handler returns.
  void Default() { m_defaultRequested = true; }
  bool m_defaultRequested = false;
};
