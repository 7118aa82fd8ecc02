// The small dialog layer the manager is written against: an application
// object, a modal dialog built from a template with a message map, and thin
// wrappers of the controls it binds. Only what the manager needs.
#pragma once

#include "Window.h"
#include "MessageMap.h"
#include "Controls.h"
#include "DialogEx.h"
#include "WinApp.h"
