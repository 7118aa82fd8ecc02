// Resource and control ids of the manager's dialog.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_KESTRIN_DIALOG 102

#define IDC_LIST 1000
#define IDC_CLEAR 1004
#define IDC_STOP 1005
#define IDC_HINT_ADD 1006
#define IDC_HINT_REMOVE 1007
#define IDC_HINT_MONITORING 1008
#define IDC_ARRANGE 1009
