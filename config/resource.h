// Resource and control identifiers of the configuration program, shared by the
// resource script and the code. Control identifiers carry the controls' names.
#pragma once

#define IDI_APPLICATION_ICON 1
#define IDB_BANNER 101
#define IDD_frmConfigSettings 100

// OK and Cancel use the standard identifiers, so Enter and Escape press them.
#define IDC_cmdOK 1     // IDOK
#define IDC_cmdCancel 2 // IDCANCEL

#define IDC_chkEnabledIn 1001
#define IDC_txtFolderIn 1002
#define IDC_cmdFolderInBrowse 1003
#define IDC_chkEnabledOut 1004
#define IDC_txtFolderOut 1005
#define IDC_cmdFolderOutBrowse 1006
#define IDC_chkLogging 1007
#define IDC_lblFolderIn 1010
#define IDC_lblLoggingHint 1011
#define IDC_lblFolderOut 1012
#define IDC_Label1 1013
#define IDC_shTop 1020
#define IDC_Image2 1021
#define IDC_Line1 1022
#define IDC_Line2 1023
// The notes beside the controls of settings that a policy sets.
#define IDC_lblEnabledInPolicy 1030
#define IDC_lblFolderInPolicy 1031
#define IDC_lblEnabledOutPolicy 1032
#define IDC_lblFolderOutPolicy 1033
#define IDC_lblLoggingPolicy 1034

// Texts shared by the version resource and the code.
#define QS_CONFIG_PRODUCT_NAME "Quillstow for Outlook"
