// Windows side: the updater's main window.
#pragma once

#include "Forms.h"

class TMainForm : public TForm {
public:
    TMainForm();

    static constexpr wchar_t Caption[] = L"VG730 Firmware Update";
};
