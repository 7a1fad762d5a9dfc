// Windows side: the controls the updater's forms are made of, one small type per kind. Each is
// placed on a form with its design bounds (at 96 DPI) and anchors; the form moves and rescales
// it for the monitor's DPI and when it is resized.
#pragma once

#include "ExeUnitStrings.h"
#include "Forms.h"
#include "Layout.h"

#include <functional>
#include <optional>
#include <string>

class TControl {
public:
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    HWND Handle() const { return FHandle.get(); }
    UINT Id() const { return FId; }

    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    std::wstring Text() const;
    void SetText(const std::wstring& text);

    // Called by the form: bounds for its client area now, fonts for its DPI.
    void Place(int clientWidth, int clientHeight);
    void ApplyDpi();
    // A notification the control sent its form (WM_COMMAND).
    virtual void Command(WORD code) { (void)code; }
    // Colours of a label: a brush, or nullptr for the system's defaults.
    virtual HBRUSH ColorStatic(HDC dc) {
        (void)dc;
        return nullptr;
    }

    // How a control is created; given by the control kinds.
    struct TCreateParams {
        const wchar_t* ClassName = nullptr;
        DWORD Style = 0;
        DWORD ExStyle = 0;
        TBounds Bounds; // at 96 DPI in the design client area
        TAnchors Anchors{akLeft, akTop};
        std::optional<TFontSpec> Font; // none: the form's font
        std::wstring Text;
        bool Visible = true;
    };

protected:
    TControl(TForm& owner, const TCreateParams& params);

    TForm& Owner() const { return FOwner; }
    virtual void VisibilityChanged(bool visible) { (void)visible; }

private:
    TForm& FOwner;
    UINT FId;
    TBounds FBounds;
    TAnchors FAnchors;
    std::optional<TFontSpec> FFontSpec;
    TScaledFont FFont;
    UniqueHwnd FHandle;
};

// Text on the form's background, centred, in a font and colour of its own.
class TLabel : public TControl {
public:
    struct TSettings {
        TBounds Bounds;
        TFontSpec Font;
        COLORREF Color = 0;
    };
    TLabel(TForm& owner, const TSettings& settings);
    HBRUSH ColorStatic(HDC dc) override;

private:
    COLORREF FColor;
};

class TButton : public TControl {
public:
    struct TSettings {
        TBounds Bounds;
        std::wstring Caption;
        TAnchors Anchors{akLeft, akTop};
        bool Visible = true;
    };
    TButton(TForm& owner, const TSettings& settings);
    // Marks the button as the form's default one (Enter presses it), or not.
    void SetDefault(bool isDefault);
    void Command(WORD code) override;

    std::function<void()> OnClick;
};

// A multi-line text box without word wrap; its lines are those of a TStrings.
class TMemo : public TControl {
public:
    struct TSettings {
        TBounds Bounds;
        TAnchors Anchors{akLeft, akTop};
        bool Visible = true;
        bool ScrollBars = false;
    };
    TMemo(TForm& owner, const TSettings& settings);
    TStrings Lines() const;
    void SetLines(const TStrings& lines);
    void Clear();
};

// A running indicator: a bar that moves continuously while it is visible.
class TProgressBar : public TControl {
public:
    struct TSettings {
        TBounds Bounds;
        bool Visible = true;
    };
    TProgressBar(TForm& owner, const TSettings& settings);

protected:
    void VisibilityChanged(bool visible) override;

private:
    static constexpr UINT MarqueeStepMs = 30;
};

class TTimer {
public:
    TTimer(TForm& owner, UINT intervalMs);
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    ~TTimer();

    UINT Id() const { return FId; }
    bool Enabled() const { return FEnabled; }
    // Enabling starts a new interval; disabling drops a tick that is already waiting.
    void SetEnabled(bool enabled);
    // Called by the form on each tick while enabled.
    void Fire();

    std::function<void()> OnTimer;

private:
    TForm& FOwner;
    UINT FId;
    UINT FInterval;
    bool FEnabled = false;
};
