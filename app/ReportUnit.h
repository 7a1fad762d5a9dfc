// Windows side: the report window, shown modally from the main window with the lines of the last
// update run.
#pragma once

#include "Controls.h"

class TReportForm : public TForm {
public:
    TReportForm();

    static constexpr wchar_t Caption[] = L"VG730 Firmware Update Result";

    // Shows these lines until the user closes the window.
    void ShowResult(const TStrings& Lines);

private:
    void CloseButtonClick();

    TButton CloseButton;
    TMemo ResultMemo;
};
