// The About box: version and maker's notice, closed with OK, Enter or Escape.
#pragma once

#include "framework/Dialog.h"

class AboutDlg : public Dialog {
public:
    // Owned by the application's main window.
    AboutDlg();
};
