// Windows side: the updater's main window.
#include "MainUnit.h"

namespace {

TForm::TFormStyle MainFormStyle() {
    TForm::TFormStyle style;
    style.Caption = TMainForm::Caption;
    style.ClientWidth = 413;
    style.ClientHeight = 102;
    style.Resizable = false;
    return style;
}

} // namespace

TMainForm::TMainForm() : TForm(MainFormStyle()) {
    FormCreate();
}
