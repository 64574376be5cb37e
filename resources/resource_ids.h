#pragma once
// Resource ids of the Windows module vaultpost.dll. Plain #defines only, so
// that the resource script and the C++ dialog code share this file.

// Dialog templates.
#define IDD_CREDENTIALS 102   // credentials prompt (CDocdecDlg)
#define IDD_OPENING 103       // progress window and wait notice (COpeningDlg)
#define IDD_ABOUT 104         // About box (CAboutDlg)
#define IDD_UNKNOWN_TYPE 145  // warning before opening an unknown file type (CUnknownFileDlg)

// Icons: the document icon must stay the module's first icon group (shell
// index 0, "%s,0") and the program icon its second (index 1, "%s,1"), so no
// icon group may get an id below IDI_DOCUMENT or between the two.
#define IDI_DOCUMENT 141
#define IDI_PROGRAM 146

// Strings.
#define IDS_NOTICE 143  // the product's notice line in the About box

// Controls. IDOK (1) and IDCANCEL (2) are the dialogs' buttons.
#define IDC_USER_NAME 1000        // edit: user name, or the password when only one is asked
#define IDC_PASSWORD 1001         // edit: password
#define IDC_PROMPT_TEXT 1002      // static: the prompt
#define IDC_USER_NAME_LABEL 1003  // static: label of the first edit
#define IDC_PASSWORD_LABEL 1004   // static: label of the second edit
#define IDC_OPENING_TEXT 1005     // static: progress window and wait notice text
#define IDC_HYPERLINK 1006        // static that becomes a hyperlink (prompt and About box)
#define IDC_VERSION 1008          // static: version in the About box
#define IDC_NOTICE 1009           // static: notice text in the About box
#define IDC_PROGRESS 1010         // progress bar
#define IDC_ALWAYS_ASK 1011       // check box: keep asking for this file type
#define IDC_EXTENSION_LABEL 1012  // static: "Opening file with extension:"
#define IDC_EXTENSION 1013        // static: the extension
#define IDC_WARNING_TEXT 1014     // static: the warning
#define IDC_WARNING_ICON 1015     // static: the system's warning icon

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
