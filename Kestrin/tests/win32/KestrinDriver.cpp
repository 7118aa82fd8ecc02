// Presses the manager's buttons from outside, as a user would:
//   kestrin_driver click <control id>   returns once the manager has handled it
//   kestrin_driver post <control id>    returns at once (for a click that
//                                       opens a message box or takes long)
// Waits (up to 30 s) for the manager's dialog. Exit code 0, or 2 when no
// dialog or no such button was found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND FindManagerDialog() {
  for (int i = 0; i < 300; ++i) {
    HWND dialog = FindWindowW(L"#32770", L"リアルタイムファイル監視");
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  bool post = argc == 3 && std::strcmp(argv[1], "post") == 0;
  if (argc != 3 || (!post && std::strcmp(argv[1], "click") != 0)) {
    std::fprintf(stderr, "usage: kestrin_driver click|post <control id>\n");
    return 1;
  }
  int id = std::atoi(argv[2]);
  HWND dialog = FindManagerDialog();
  if (dialog == nullptr) return 2;
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return 2;
  if (post) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return 0;
  }
  // Synchronous: Start returns after the last monitor was started, Stop
  // after the task-kill ended.
  DWORD_PTR ignored;
  SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button),
                      SMTO_NORMAL, 60000, &ignored);
  return 0;
}
