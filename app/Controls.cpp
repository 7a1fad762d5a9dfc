// Windows side: the controls of the updater's forms (see Controls.h).
#include "Controls.h"

#include "UniversalTypesUnit.h"

#include <commctrl.h>

namespace {

TControl::TCreateParams LabelParams(const TLabel::TSettings& settings) {
    TControl::TCreateParams params;
    params.ClassName = L"Static";
    params.Style = SS_CENTER | SS_NOPREFIX;
    params.Bounds = settings.Bounds;
    params.Font = settings.Font;
    return params;
}

TControl::TCreateParams ButtonParams(const TButton::TSettings& settings) {
    TControl::TCreateParams params;
    params.ClassName = L"Button";
    params.Style = BS_PUSHBUTTON | WS_TABSTOP;
    params.Bounds = settings.Bounds;
    params.Anchors = settings.Anchors;
    params.Text = settings.Caption;
    params.Visible = settings.Visible;
    return params;
}

TControl::TCreateParams MemoParams(const TMemo::TSettings& settings) {
    TControl::TCreateParams params;
    params.ClassName = L"Edit";
    // No word wrap: lines run on to the right as they are.
    params.Style = ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL |
                   WS_TABSTOP | (settings.ScrollBars ? WS_HSCROLL | WS_VSCROLL : 0);
    params.ExStyle = WS_EX_CLIENTEDGE;
    params.Bounds = settings.Bounds;
    params.Anchors = settings.Anchors;
    params.Visible = settings.Visible;
    return params;
}

TControl::TCreateParams ProgressBarParams(const TProgressBar::TSettings& settings) {
    TControl::TCreateParams params;
    params.ClassName = PROGRESS_CLASSW;
    params.Style = PBS_MARQUEE;
    params.Bounds = settings.Bounds;
    params.Visible = settings.Visible;
    return params;
}

} // namespace

// ---- TControl ----------------------------------------------------------------------------------

TControl::TControl(TForm& owner, const TCreateParams& params)
    : FOwner(owner), FId(owner.NextId()), FBounds(params.Bounds), FAnchors(params.Anchors),
      FFontSpec(params.Font) {
    const DWORD style = WS_CHILD | (params.Visible ? WS_VISIBLE : 0) | params.Style;
    const DWORD exStyle = params.ExStyle;
    HWND hwnd = CreateWindowExW(exStyle, params.ClassName, params.Text.c_str(), style, 0, 0, 0, 0,
                                owner.Handle(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(FId)),
                                TApplication::Instance().HInstance(), nullptr);
    if (!hwnd) {
        throw Exception(L"Cannot create a control of class " + std::wstring(params.ClassName) +
                        L" (error " + std::to_wstring(GetLastError()) + L")");
    }
    FHandle.reset(hwnd);
    owner.AddControl(*this);
}

TControl::~TControl() {
    FOwner.RemoveControl(*this);
}

bool TControl::Visible() const {
    return (GetWindowLongPtrW(FHandle.get(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void TControl::SetVisible(bool visible) {
    ShowWindow(FHandle.get(), visible ? SW_SHOWNA : SW_HIDE);
    VisibilityChanged(visible);
}

bool TControl::Enabled() const {
    return IsWindowEnabled(FHandle.get()) != FALSE;
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(FHandle.get(), enabled ? TRUE : FALSE);
}

std::wstring TControl::Text() const {
    const int length = GetWindowTextLengthW(FHandle.get());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(FHandle.get(), text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void TControl::SetText(const std::wstring& text) {
    SetWindowTextW(FHandle.get(), text.c_str());
}

void TControl::Place(int clientWidth, int clientHeight) {
    const TForm::TFormStyle& design = FOwner.Style();
    const TBounds at = PlaceInClient(FBounds, FAnchors, design.ClientWidth, design.ClientHeight,
                                     clientWidth, clientHeight, FOwner.Dpi());
    SetWindowPos(FHandle.get(), nullptr, at.Left, at.Top, at.Width, at.Height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::ApplyDpi() {
    HFONT font = FOwner.Font();
    if (FFontSpec) {
        FFont.Create(*FFontSpec, FOwner.Dpi());
        font = FFont.Handle();
    }
    SendMessageW(FHandle.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// ---- TLabel ------------------------------------------------------------------------------------

TLabel::TLabel(TForm& owner, const TSettings& settings)
    : TControl(owner, LabelParams(settings)), FColor(settings.Color) {}

HBRUSH TLabel::ColorStatic(HDC dc) {
    SetTextColor(dc, FColor);
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_BTNFACE);
}

// ---- TButton -----------------------------------------------------------------------------------

TButton::TButton(TForm& owner, const TSettings& settings)
    : TControl(owner, ButtonParams(settings)) {}

void TButton::SetDefault(bool isDefault) {
    SendMessageW(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Command(WORD code) {
    if (code == BN_CLICKED && OnClick) {
        OnClick();
    }
}

// ---- TMemo -------------------------------------------------------------------------------------

TMemo::TMemo(TForm& owner, const TSettings& settings) : TControl(owner, MemoParams(settings)) {
    // A long transcript is never cut at the control's default limit.
    SendMessageW(Handle(), EM_SETLIMITTEXT, 0, 0);
}

TStrings TMemo::Lines() const {
    TStrings lines;
    lines.SetText(Text());
    return lines;
}

void TMemo::SetLines(const TStrings& lines) {
    SetText(lines.Text());
}

void TMemo::Clear() {
    SetText(L"");
}

// ---- TProgressBar ------------------------------------------------------------------------------

TProgressBar::TProgressBar(TForm& owner, const TSettings& settings)
    : TControl(owner, ProgressBarParams(settings)) {
    VisibilityChanged(settings.Visible);
}

void TProgressBar::VisibilityChanged(bool visible) {
    // Moving only while it can be seen: a hidden bar costs no timer.
    SendMessageW(Handle(), PBM_SETMARQUEE, visible ? TRUE : FALSE, MarqueeStepMs);
}

// ---- TTimer ------------------------------------------------------------------------------------

TTimer::TTimer(TForm& owner, UINT intervalMs)
    : FOwner(owner), FId(owner.NextId()), FInterval(intervalMs) {
    owner.AddTimer(*this);
}

TTimer::~TTimer() {
    SetEnabled(false);
    FOwner.RemoveTimer(*this);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == FEnabled) {
        return;
    }
    FEnabled = enabled;
    if (enabled) {
        if (!SetTimer(FOwner.Handle(), FId, FInterval, nullptr)) {
            FEnabled = false;
            throw Exception(L"Cannot start a timer (error " + std::to_wstring(GetLastError()) +
                            L")");
        }
    } else {
        KillTimer(FOwner.Handle(), FId);
    }
}

void TTimer::Fire() {
    // A tick taken from the queue after the timer was switched off is not one.
    if (FEnabled && OnTimer) {
        OnTimer();
    }
}
