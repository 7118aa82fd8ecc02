// The application object: one per process, constructed statically; the
// entry point calls its InitInstance once.
#pragma once

#include <windows.h>

#include "MessageMap.h"
#include "Window.h"

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();

  static const MessageMap* ClassMessageMap();
  virtual const MessageMap* GetMessageMap() const { return ClassMessageMap(); }

  // Start-up: registers the common controls. FALSE ends the application.
  virtual BOOL InitInstance();

  // The process's application object; null before it is constructed.
  static CWinApp* Current();

  HINSTANCE m_hInstance = nullptr;
  const char* m_pszAppName;
  CWnd* m_pMainWnd = nullptr;
};

// What the entry point does: InitInstance, and a message loop only when it
// returned TRUE. Returns the process exit code.
int RunApplication(HINSTANCE instance);
