// Windows side: the updater's window layer (see Forms.h).
#include "Forms.h"

#include "Controls.h"
#include "UniversalTypesUnit.h"

#include <algorithm>
#include <commctrl.h>

namespace {

const wchar_t FormClassName[] = L"TVG730Form";

// The system's DPI functions of Windows 10 and later, where they exist; older systems have one
// DPI for every monitor.
template <typename Fn> Fn User32Function(const char* name) {
    const FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

} // namespace

// ---- TApplication ------------------------------------------------------------------------------

TApplication& TApplication::Instance() {
    static TApplication application;
    return application;
}

void TApplication::Initialize(HINSTANCE instance) {
    FInstance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

void TApplication::RegisterForm(TForm& form) {
    if (!FMainForm) {
        FMainForm = &form;
    }
}

void TApplication::FormDestroyed(TForm& form) {
    if (FMainForm == &form) {
        FMainForm = nullptr;
        Terminate();
    }
}

void TApplication::Terminate() {
    if (!FTerminated) {
        FTerminated = true;
        PostQuitMessage(0);
    }
}

void TApplication::Dispatch(MSG& msg) {
    // The default button and tab order need the dialog keyboard handling.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsDialogMessageW(root, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void TApplication::Run() {
    while (ProcessMessages()) {
        if (!WaitMessage()) {
            // A broken queue cannot be recovered from; leave the loop rather than spin.
            break;
        }
    }
}

bool TApplication::ProcessMessages() {
    if (FTerminated) {
        return false;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Kept for the loop that waits outermost: every loop stops on it.
            FTerminated = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        Dispatch(msg);
    }
    return true;
}

HWND TApplication::OwnerWindow() const {
    HWND active = GetActiveWindow();
    if (active) {
        return active;
    }
    return FMainForm ? FMainForm->Handle() : nullptr;
}

void TApplication::ShowException(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error)) {
        ShowError(own->Message());
    } else {
        ShowError(Utf8ToWide(error.what()));
    }
}

void TApplication::ShowException(const std::exception_ptr& error) {
    if (!error) {
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& raised) {
        ShowException(raised);
    } catch (...) {
        ShowError(L"An unknown error occurred.");
    }
}

void TApplication::ShowError(const std::wstring& text) {
    MessageBoxW(OwnerWindow(), text.c_str(), FTitle.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::ShowInformation(const std::wstring& text) {
    MessageBoxW(OwnerWindow(), text.c_str(), FTitle.c_str(), MB_OK | MB_ICONINFORMATION);
}

bool TApplication::Confirm(const std::wstring& text) {
    return MessageBoxW(OwnerWindow(), text.c_str(), FTitle.c_str(), MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

// ---- TScaledFont -------------------------------------------------------------------------------

void TScaledFont::Create(const TFontSpec& spec, UINT dpi) {
    // A negative height asks for the character height, as the design gives it.
    HFONT font = CreateFontW(-ScaleToDpi(spec.HeightPx, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, spec.Name.c_str());
    if (!font) {
        throw Exception(L"Cannot create the font " + spec.Name);
    }
    Release();
    FFont = font;
}

void TScaledFont::Release() {
    if (FFont) {
        DeleteObject(FFont);
        FFont = nullptr;
    }
}

// ---- TForm -------------------------------------------------------------------------------------

void TForm::RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &TForm::WindowProc;
        wc.hInstance = TApplication::Instance().HInstance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        wc.lpszClassName = FormClassName;
        if (!RegisterClassExW(&wc)) {
            throw Exception(L"Cannot register the window class (error " +
                            std::to_wstring(GetLastError()) + L")");
        }
        return true;
    }();
    (void)registered;
}

TForm::TForm(const TFormStyle& style) : FStyle(style) {
    RegisterWindowClass();
    const DWORD windowStyle = style.Resizable
                                  ? WS_OVERLAPPEDWINDOW
                                  : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    const DWORD exStyle = WS_EX_CONTROLPARENT;

    // The main form is owned by nobody, so it is the window on the task bar; later forms are
    // owned by it and have no task-bar button of their own.
    TApplication& app = TApplication::Instance();
    HWND owner = app.MainForm() ? app.MainForm()->Handle() : nullptr;
    HWND hwnd = CreateWindowExW(exStyle, FormClassName, style.Caption.c_str(), windowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, style.ClientWidth, style.ClientHeight,
                                owner, nullptr, app.HInstance(), this);
    if (!hwnd) {
        throw Exception(L"Cannot create the window \"" + style.Caption + L"\" (error " +
                        std::to_wstring(GetLastError()) + L")");
    }
    if (FHandle.get() != hwnd) {
        FHandle.reset(hwnd);
    }
    ApplyDpi(WindowDpi(hwnd), nullptr);
    CentreOnScreen();
    app.RegisterForm(*this);
}

TForm::~TForm() {
    HWND hwnd = FHandle.get();
    if (hwnd) {
        // The derived part is gone: messages sent while the window is destroyed get defaults.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        FHandle.reset();
    }
    TApplication::Instance().FormDestroyed(*this);
}

void TForm::CallFormCreate() {
    try {
        FormCreate();
    } catch (...) {
        TApplication::Instance().ShowException(std::current_exception());
    }
}

int TForm::Scale(int designPx) const {
    return ScaleToDpi(designPx, FDpi);
}

void TForm::ApplyDpi(UINT dpi, const RECT* suggested) {
    FDpi = dpi;
    FFont.Create(FStyle.Font, dpi);
    SendMessageW(FHandle.get(), WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), FALSE);

    // The frame's size depends on the DPI too: measure it rather than compute it.
    const int clientWidth = Scale(FStyle.ClientWidth);
    const int clientHeight = Scale(FStyle.ClientHeight);
    RECT window = {};
    RECT client = {};
    GetWindowRect(FHandle.get(), &window);
    GetClientRect(FHandle.get(), &client);
    const int frameWidth = (window.right - window.left) - (client.right - client.left);
    const int frameHeight = (window.bottom - window.top) - (client.bottom - client.top);
    const int left = suggested ? suggested->left : window.left;
    const int top = suggested ? suggested->top : window.top;
    SetWindowPos(FHandle.get(), nullptr, left, top, clientWidth + frameWidth,
                 clientHeight + frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    for (TControl* control : FControls) {
        control->ApplyDpi();
    }
    LayOutControls();
}

void TForm::LayOutControls() {
    RECT client = {};
    GetClientRect(FHandle.get(), &client);
    for (TControl* control : FControls) {
        control->Place(client.right - client.left, client.bottom - client.top);
    }
}

void TForm::AddControl(TControl& control) {
    FControls.push_back(&control);
    control.ApplyDpi();
    RECT client = {};
    GetClientRect(FHandle.get(), &client);
    control.Place(client.right - client.left, client.bottom - client.top);
}

void TForm::RemoveControl(TControl& control) {
    std::erase(FControls, &control);
}

void TForm::AddTimer(TTimer& timer) {
    FTimers.push_back(&timer);
}

void TForm::RemoveTimer(TTimer& timer) {
    std::erase(FTimers, &timer);
}

TControl* TForm::ControlOf(HWND window) const {
    for (TControl* control : FControls) {
        if (control->Handle() == window) {
            return control;
        }
    }
    return nullptr;
}

void TForm::CentreOnScreen() {
    RECT window;
    GetWindowRect(FHandle.get(), &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(FHandle.get(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
    // An error of the show handler is reported over the shown window, and the program goes on.
    std::exception_ptr error;
    if (!FShownOnce) {
        FShownOnce = true;
        try {
            FormShow();
        } catch (...) {
            error = std::current_exception();
        }
    }
    ShowWindow(FHandle.get(), SW_SHOW);
    UpdateWindow(FHandle.get());
    TApplication::Instance().ShowException(error);
}

void TForm::Hide() {
    ShowWindow(FHandle.get(), SW_HIDE);
}

bool TForm::Visible() const {
    return IsWindowVisible(FHandle.get()) != FALSE;
}

void TForm::Close() {
    PostMessageW(FHandle.get(), WM_CLOSE, 0, 0);
}

TModalResult TForm::ShowModal() {
    HWND owner = GetWindow(FHandle.get(), GW_OWNER);
    if (owner) {
        EnableWindow(owner, FALSE);
    }
    FModalResult = mrNone;
    FInModal = true;
    Show();
    SetForegroundWindow(FHandle.get());
    // Until a result is set or the program is ending (the quit request stays for the main loop).
    TApplication& app = TApplication::Instance();
    while (app.ProcessMessages() && FModalResult == mrNone) {
        if (!WaitMessage()) {
            break;
        }
    }
    FInModal = false;
    if (owner) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    Hide();
    return FModalResult == mrNone ? mrCancel : FModalResult;
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = FHandle.get();
    switch (message) {
    case WM_CLOSE:
        if (FInModal) {
            // Closing a modal form ends its modal display; the form itself stays for later use.
            FModalResult = mrCancel;
            return 0;
        }
        if (!CloseQuery()) {
            return 0;
        }
        FormClose();
        Hide();
        if (TApplication::Instance().MainForm() == this) {
            TApplication::Instance().Terminate();
        }
        return 0;
    case WM_COMMAND:
        // Escape in a modal form (the dialog keys send it as IDCANCEL) ends its display.
        if (LOWORD(wParam) == IDCANCEL && lParam == 0 && FInModal) {
            FModalResult = mrCancel;
            return 0;
        }
        if (TControl* control = ControlOf(reinterpret_cast<HWND>(lParam))) {
            control->Command(HIWORD(wParam));
            return 0;
        }
        break;
    case WM_TIMER:
        for (TTimer* timer : FTimers) {
            if (timer->Id() == wParam) {
                timer->Fire();
                return 0;
            }
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (TControl* control = ControlOf(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = control->ColorStatic(reinterpret_cast<HDC>(wParam))) {
                return reinterpret_cast<LRESULT>(brush);
            }
        }
        break;
    case DM_GETDEFID:
        if (TControl* button = DefaultButton()) {
            return MAKELRESULT(button->Id(), DC_HASDEFID);
        }
        return 0;
    case WM_SIZE:
        LayOutControls();
        return 0;
    case WM_DPICHANGED:
        ApplyDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* form = static_cast<TForm*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->FHandle.reset(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // No C++ error may cross the system's frames: show it here, as the standard error report.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (...) {
        TApplication::Instance().ShowException(std::current_exception());
        return 0;
    }
}
