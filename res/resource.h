// Resource ids, shared by setup.rc and the code.
#pragma once

#define IDD_PROGRESS 104       // the progress window's dialog template
#define IDI_SETUP 109          // the program's icon, shown in the progress window
#define IDC_PROGRESS_TEXT 101  // the progress window's text line
#define IDC_PROGRESS_BAR 102   // the progress window's bar
