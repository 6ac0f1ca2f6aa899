#pragma once
// The tests' own dialog template.

#define IDD_FRAMEWORK 200
#define IDC_FIELD 300
