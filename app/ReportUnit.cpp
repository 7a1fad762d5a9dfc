// Windows side: the report window, shown modally from the main window.
#include "ReportUnit.h"

namespace {

TForm::TFormStyle ReportFormStyle() {
    TForm::TFormStyle style;
    style.Caption = TReportForm::Caption;
    style.ClientWidth = 603;
    style.ClientHeight = 537;
    style.Resizable = true;
    return style;
}

} // namespace

TReportForm::TReportForm() : TForm(ReportFormStyle()) {}
