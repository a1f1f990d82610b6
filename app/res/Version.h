// The version numbers, in one place for the resource script and the code.
#pragma once

#define TRAKONI_FILE_VERSION        2,0,0,1
#define TRAKONI_PRODUCT_VERSION     2,0,0,0
#define TRAKONI_VERSION_TEXT        "2.0"
#define TRAKONI_ABOUT_VERSION_TEXT  "Vantor Trakoni Utility Version 2.0.0.1"
#define TRAKONI_LEGAL_NOTICE        "Copyright (C) Vantor.  All rights reserved."
