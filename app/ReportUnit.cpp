// Windows side: the report window (see ReportUnit.h).
#include "ReportUnit.h"

TReportForm::TReportForm()
    : TForm({.Caption = Caption, .ClientWidth = 603, .ClientHeight = 537, .Resizable = true}),
      CloseButton(*this, {.Bounds = {517, 504, 75, 25},
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
