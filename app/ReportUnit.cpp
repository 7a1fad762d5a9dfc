// Windows side: the report window (see ReportUnit.h).
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

TReportForm::TReportForm()
    : TForm(ReportFormStyle()), CloseButton(*this, {.Bounds = {517, 504, 75, 25},
                                                    .Caption = L"Close",
                                                    .Anchors = {akTop, akRight, akBottom}}),
      // Scroll bars: the command line and a long transcript reach beyond the box, and the
      // lines out of sight are often the ones that say what went wrong.
      ResultMemo(*this, {.Bounds = {9, 10, 583, 488},
                         .Anchors = {akLeft, akTop, akRight, akBottom},
                         .ScrollBars = true}) {
    CloseButton.OnClick = [this] { CloseButtonClick(); };
}

void TReportForm::ShowResult(const TStrings& Lines) {
    ResultMemo.Clear();
    ResultMemo.SetLines(Lines);
    ShowModal();
}

void TReportForm::CloseButtonClick() {
    SetModalResult(mrOk);
}
