#pragma once
// Resource ids, shared by the resource scripts and the code.

#define IDD_MIRROR 101

#define IDC_MIRROR_LIST 1001
#define IDC_USE_OTHER 1002
#define IDC_OTHER_URL 1003
