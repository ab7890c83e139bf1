// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDR_TYPELIB 1
#define IDD_PROPERTIES 4013

// Configuration dialog: key-legend bitmaps and control ids. The code includes
// this header too, so the template and the dialog logic share one set of ids.
#define IDB_KEY_F1 4038
#define IDB_KEY_F2 4039
#define IDC_FUNCTION_KEY1 4040
#define IDC_FUNCTION_KEY2 4041
#define IDC_SCREEN1 4032
#define IDC_SCREEN2 4033
#define IDC_SCREEN3 4034
#define IDC_MACRO1 4162
#define IDC_MACRO2 4163
#define IDC_MACRO3 4168
#define IDC_MACRO4 4185
#define IDC_OEM1 4164
#define IDC_OEM2 4165
#define IDC_OEM3 4166
#define IDC_OEM4 4167
#define IDC_XREVERSE 4245
#define IDC_YREVERSE 4246
#define IDC_ZREVERSE 4247
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
