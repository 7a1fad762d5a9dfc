// Windows side: the report window, shown modally from the main window.
#pragma once

#include "Forms.h"

class TReportForm : public TForm {
public:
    TReportForm();

    static constexpr wchar_t Caption[] = L"VG730 Firmware Update Result";
};
