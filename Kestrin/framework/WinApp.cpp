#include "WinApp.h"

#include <commctrl.h>

namespace {
CWinApp* g_application = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_application = this; }

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

const MessageMap* CWinApp::ClassMessageMap() {
  static const MessageMapEntry kEntries[] = {{0, 0, 0, nullptr}};
  static const MessageMap kMap = {nullptr, kEntries};
  return &kMap;
}

BOOL CWinApp::InitInstance() {
  // The list view is the one common control the dialog template names.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
  return ::InitCommonControlsEx(&controls);
}

CWinApp* CWinApp::Current() { return g_application; }

int RunApplication(HINSTANCE instance) {
  CWinApp* application = CWinApp::Current();
  if (application == nullptr) return 1;
  application->m_hInstance = instance;
  if (!application->InitInstance()) return 0;
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
