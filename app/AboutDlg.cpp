#include "app/AboutDlg.h"

#include "app/res/resource.h"

AboutDlg::AboutDlg() : Dialog(IDD_ABOUTBOX) {}
