// Windows side: the updater's window layer (see Forms.h).
#include "Forms.h"

#include "UniversalTypesUnit.h"

#include <commctrl.h>

namespace {

const wchar_t FormClassName[] = L"TVG730Form";

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
    MSG msg;
    while (!FTerminated) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            // A broken queue cannot be recovered from; leave the loop rather than spin.
            break;
        }
        if (got == 0) {
            break;
        }
        Dispatch(msg);
    }
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Keep the quit request for the main loop.
            FTerminated = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
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

TForm::TForm(const TFormStyle& style) {
    RegisterWindowClass();
    const DWORD windowStyle = style.Resizable
                                  ? WS_OVERLAPPEDWINDOW
                                  : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    RECT frame = {0, 0, style.ClientWidth, style.ClientHeight};
    AdjustWindowRectEx(&frame, windowStyle, FALSE, exStyle);

    FFont = CreateFontW(-style.FontHeightPx, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, style.FontName.c_str());

    // The main form is owned by nobody, so it is the window on the task bar; later forms are
    // owned by it and have no task-bar button of their own.
    TApplication& app = TApplication::Instance();
    HWND owner = app.MainForm() ? app.MainForm()->Handle() : nullptr;
    HWND hwnd = CreateWindowExW(exStyle, FormClassName, style.Caption.c_str(), windowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, owner, nullptr, app.HInstance(), this);
    if (!hwnd) {
        const DWORD error = GetLastError();
        if (FFont) {
            DeleteObject(FFont);
        }
        throw Exception(L"Cannot create the window \"" + style.Caption + L"\" (error " +
                        std::to_wstring(error) + L")");
    }
    if (FHandle.get() != hwnd) {
        FHandle.reset(hwnd);
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
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
    if (FFont) {
        DeleteObject(FFont);
    }
    TApplication::Instance().FormDestroyed(*this);
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
    if (!FShownOnce) {
        FShownOnce = true;
        FormShow();
    }
    ShowWindow(FHandle.get(), SW_SHOW);
    UpdateWindow(FHandle.get());
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
    MSG msg;
    while (FModalResult == mrNone) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: hand the quit request back to the main loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        TApplication::Instance().Dispatch(msg);
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
    switch (message) {
    case WM_CLOSE:
        if (FInModal) {
            // Closing a modal form ends its modal display; the form itself stays for later use.
            FModalResult = mrCancel;
            return 0;
        }
        FormClose();
        if (TApplication::Instance().MainForm() == this) {
            FHandle.reset();
            TApplication::Instance().FormDestroyed(*this);
        } else {
            Hide();
        }
        return 0;
    default:
        return DefWindowProcW(FHandle.get(), message, wParam, lParam);
    }
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
    } catch (const std::exception& error) {
        TApplication::Instance().ShowException(error);
        return 0;
    }
}
