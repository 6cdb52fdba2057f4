// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_PROGRESS 102
#define IDI_MAINICON 128
#define IDM_ABOUTBOX 0x0010

#define IDC_CANCELBUTTON 3
#define IDC_CHECKING 1001
#define IDC_SETNUMBER 1003
#define IDC_SOURCE 1004
#define IDC_DEST 1005
#define IDC_COPYING 1006
