// The manager's entry point and its one application object: everything
// happens in the object's InitInstance.
#include <windows.h>

#include "KestrinApp.h"

CKestrinApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunApplication(instance); }
