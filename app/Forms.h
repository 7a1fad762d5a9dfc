// Windows side: the updater's small window layer. TApplication holds the title and the message
// loop; TForm is a top-level window that keeps `this` with its HWND, handles messages in a member
// function and lays out its controls (Controls.h) for the DPI of the monitor it is on. Errors
// raised by handlers are shown as the standard error report and the program goes on.
#pragma once

#include "WinApi.h"
#include "WinHandles.h"

#include <exception>
#include <string>
#include <vector>

class TForm;
class TControl;
class TTimer;

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
    // Ends the message loop once the current message has been handled.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // The message loop; returns when the main form has been closed.
    void Run();
    // The one dispatch of the program, for every loop and wait: dispatches every message
    // waiting in this thread's queue, with the dialog keys (Enter, Tab) of the form each
    // belongs to, then returns true; false once the program is ending (a quit message came,
    // which stays in the queue for the outermost loop).
    bool ProcessMessages();
    // The standard error report: a modal error box with the error's text.
    void ShowException(const std::exception& error);
    // The same for whatever was raised; nothing for an empty pointer.
    void ShowException(const std::exception_ptr& error);

    // Modal message boxes of the three kinds the updater uses, owned by the active form.
    void ShowError(const std::wstring& text);
    void ShowInformation(const std::wstring& text);
    bool Confirm(const std::wstring& text); // Yes and No; true for Yes

private:
    TApplication() = default;
    HWND OwnerWindow() const;
    void Dispatch(MSG& msg);

    HINSTANCE FInstance = nullptr;
    std::wstring FTitle;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
};

// Modal results of a form shown with ShowModal.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// A font given as the design states it: face and character height in pixels at 96 DPI.
struct TFontSpec {
    std::wstring Name = L"Tahoma";
    int HeightPx = 11;
};

// A font created for one DPI, released with its owner.
class TScaledFont {
public:
    TScaledFont() = default;
    TScaledFont(const TScaledFont&) = delete;
    TScaledFont& operator=(const TScaledFont&) = delete;
    ~TScaledFont() { Release(); }

    // Creates the font for this DPI; the one created before is released.
    void Create(const TFontSpec& spec, UINT dpi);
    HFONT Handle() const { return FFont; }

private:
    void Release();
    HFONT FFont = nullptr;
};

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

    // The dots per inch of the monitor the form is on, and a length of the design (given at
    // 96 DPI) in pixels there.
    UINT Dpi() const { return FDpi; }
    int Scale(int designPx) const;
    HFONT Font() const { return FFont.Handle(); }

    // How a form looks when it is created; sizes at 96 DPI.
    struct TFormStyle {
        std::wstring Caption;
        int ClientWidth = 0;
        int ClientHeight = 0;
        bool Resizable = false;
        TFontSpec Font{};
    };
    const TFormStyle& Style() const { return FStyle; }

    // Controls and timers announce themselves to the form they are placed on.
    void AddControl(TControl& control);
    void RemoveControl(TControl& control);
    void AddTimer(TTimer& timer);
    void RemoveTimer(TTimer& timer);
    // A new identifier for a control or a timer of this form.
    UINT NextId() { return FNextId++; }

protected:
    explicit TForm(const TFormStyle& style);

    // Messages the form handles itself; anything else gets the default treatment.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void FormCreate() {}
    virtual void FormShow() {}
    virtual void FormClose() {}
    // Whether a request to close the form is carried out now; a form may put it off.
    virtual bool CloseQuery() { return true; }
    // The button Enter presses, or none.
    virtual TControl* DefaultButton() { return nullptr; }
    // Runs FormCreate; an error it raises is reported and the form is kept, as a form whose
    // creation handler failed still opens.
    void CallFormCreate();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void RegisterWindowClass();
    void CentreOnScreen();
    // Client area of the design size and every control placed for the current DPI.
    void ApplyDpi(UINT dpi, const RECT* suggested);
    void LayOutControls();
    TControl* ControlOf(HWND window) const;

    TFormStyle FStyle;
    UniqueHwnd FHandle;
    UINT FDpi = 96;
    TScaledFont FFont;
    std::vector<TControl*> FControls;
    std::vector<TTimer*> FTimers;
    UINT FNextId = 100;
    bool FShownOnce = false;
    bool FInModal = false;
    TModalResult FModalResult = mrNone;
};
