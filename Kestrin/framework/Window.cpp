#include "Window.h"

#include "MessageMap.h"

const MessageMap* CWnd::ClassMessageMap() {
  static const MessageMapEntry kEntries[] = {{0, 0, 0, nullptr}};
  static const MessageMap kMap = {nullptr, kEntries};
  return &kMap;
}

namespace {

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
  if (entry.message != message) return false;
  if (message == WM_COMMAND) return entry.code == HIWORD(wParam) && entry.id == LOWORD(wParam);
  if (message == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    return header != nullptr && entry.code == header->code && entry.id == header->idFrom;
  }
  return true;
}

}  // namespace

bool CWnd::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  UINT key = message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC ? kWmCtlColor : message;
  for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
    for (const MessageMapEntry* entry = map->entries; entry->thunk != nullptr; ++entry) {
      if (!Matches(*entry, key, wParam, lParam)) continue;
      // Handlers may send messages to this window again; keep each one's
      // request for the default course apart.
      bool outer = m_defaultRequested;
      m_defaultRequested = false;
      entry->thunk(this, message, wParam, lParam, result);
      bool wantsDefault = m_defaultRequested;
      m_defaultRequested = outer;
      return !wantsDefault;
    }
  }
  return false;
}
