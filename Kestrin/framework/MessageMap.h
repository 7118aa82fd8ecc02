// Message maps: each class lists the messages it handles, in order, and
// chains to its base class's map. An entry's thunk calls the handler with
// the message's parameters cracked.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CWnd;

// Every control-colour message (WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC)
// reaches one handler, with its kind (CTLCOLOR_*) as the third argument.
constexpr UINT kWmCtlColor = 0x0019;

struct MessageMapEntry {
  UINT message;  // WM_*, WM_COMMAND or WM_NOTIFY
  UINT code;     // notification code for WM_COMMAND / WM_NOTIFY
  UINT id;       // control id for WM_COMMAND / WM_NOTIFY
  // Runs the handler and stores the message's result.
  void (*thunk)(CWnd* window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

struct MessageMap {
  const MessageMap* base;          // null for the root
  const MessageMapEntry* entries;  // ends with an entry whose thunk is null
};

// In the class body: the class's map and its virtual accessor.
#define DECLARE_MESSAGE_MAP()                                           \
 public:                                                                \
  static const MessageMap* ClassMessageMap();                           \
  const MessageMap* GetMessageMap() const override { return ClassMessageMap(); }

#define BEGIN_MESSAGE_MAP(theClass, baseClass)     \
  const MessageMap* theClass::ClassMessageMap() {  \
    using ThisClass = theClass;                    \
    static_assert(sizeof(ThisClass) > 0, "");      \
    static const MessageMapEntry kEntries[] = {

#define END_MESSAGE_MAP(baseClass)                                          \
  {0, 0, 0, nullptr}};                                                      \
  static const MessageMap kMap = {baseClass::ClassMessageMap(), kEntries};  \
  return &kMap;                                                             \
  }

#define MAP_ENTRY(message, code, id, call)                                                  \
  {message, code, id, [](CWnd* w, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) { \
     (void)msg; (void)wParam; (void)lParam; (void)result;                                   \
     ThisClass* self = static_cast<ThisClass*>(w);                                          \
     call;                                                                                  \
   }},

#define ON_WM_PAINT() MAP_ENTRY(WM_PAINT, 0, 0, self->OnPaint())
#define ON_WM_NCPAINT() MAP_ENTRY(WM_NCPAINT, 0, 0, self->OnNcPaint())
#define ON_WM_QUERYDRAGICON() \
  MAP_ENTRY(WM_QUERYDRAGICON, 0, 0, *result = reinterpret_cast<LRESULT>(self->OnQueryDragIcon()))
#define ON_WM_DROPFILES() MAP_ENTRY(WM_DROPFILES, 0, 0, self->OnDropFiles(reinterpret_cast<HDROP>(wParam)))
#define ON_WM_CTLCOLOR()                                                                                \
  MAP_ENTRY(kWmCtlColor, 0, 0,                                                                          \
            *result = reinterpret_cast<LRESULT>(self->OnCtlColor(                                      \
                reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), msg - WM_CTLCOLORMSGBOX)))
#define ON_BN_CLICKED(id, handler) MAP_ENTRY(WM_COMMAND, BN_CLICKED, id, self->handler())
#define ON_NOTIFY(code, id, handler) \
  MAP_ENTRY(WM_NOTIFY, static_cast<UINT>(code), id, self->handler(reinterpret_cast<NMHDR*>(lParam), result))
