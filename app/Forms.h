// Windows side: the updater's small window layer. TApplication holds the title and the message
// loop; TForm is a top-level window that keeps `this` with its HWND and handles messages in a
// member function. Errors raised by handlers are shown as the standard error report and the
// program goes on.
#pragma once

#include "WinApi.h"
#include "WinHandles.h"

#include <string>

class TForm;

class TApplication {
public:
    static TApplication& Instance();

    HINSTANCE HInstance() const { return FInstance; }
    void Initialize(HINSTANCE instance);

    const std::wstring& Title() const { return FTitle; }
    void SetTitle(const std::wstring& title) { FTitle = title; }

    // The first form created becomes the main form; closing it ends Run.
    TForm* MainForm() const { return FMainForm; }
    void RegisterForm(TForm& form);
    void FormDestroyed(TForm& form);

    // The message loop; returns when the main form has been closed.
    void Run();
    // Dispatches every message waiting in this thread's queue, then returns.
    void ProcessMessages();
    // Dispatches one message, with the dialog keys (Enter, Tab) of the form it belongs to.
    void Dispatch(MSG& msg);
    // The standard error report: a modal error box with the error's text.
    void ShowException(const std::exception& error);

    // Modal message boxes of the three kinds the updater uses, owned by the active form.
    void ShowError(const std::wstring& text);
    void ShowInformation(const std::wstring& text);
    bool Confirm(const std::wstring& text); // Yes and No; true for Yes

private:
    TApplication() = default;
    HWND OwnerWindow() const;

    HINSTANCE FInstance = nullptr;
    std::wstring FTitle;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
};

// Modal results of a form shown with ShowModal.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TForm {
public:
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;
    virtual ~TForm();

    HWND Handle() const { return FHandle.get(); }
    void Show();
    void Hide();
    bool Visible() const;
    // Shows the form modally (its owner disabled) until ModalResult is set or it is closed.
    TModalResult ShowModal();
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult result) { FModalResult = result; }
    void Close();

    // How a form looks when it is created.
    struct TFormStyle {
        std::wstring Caption;
        int ClientWidth = 0;
        int ClientHeight = 0;
        bool Resizable = false;
        int FontHeightPx = 11;
        std::wstring FontName = L"Tahoma";
    };

protected:
    explicit TForm(const TFormStyle& style);

    // Messages the form handles itself; anything else gets the default treatment.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormClose() {}

    HFONT Font() const { return FFont; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void RegisterWindowClass();
    void CentreOnScreen();

    UniqueHwnd FHandle;
    HFONT FFont = nullptr;
    bool FShownOnce = false;
    bool FInModal = false;
    TModalResult FModalResult = mrNone;
};
