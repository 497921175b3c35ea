#pragma once

#include "Fonts.h"

#include <functional>
#include <memory>
#include <vector>

class TWinControl;
class TForm;

using TNotifyEvent = std::function<void()>;
using TMouseEvent = std::function<void(TMouseButton Button, int X, int Y)>;

// Everything placed on a window. Positions are designed pixels relative to the parent's client
// area, turned into the display's by the scale (Scaling.h); a form's own position and size are
// the screen's. A control belongs to its parent, which frees it.
class TControl {
public:
    explicit TControl(TWinControl* Parent);
    virtual ~TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    TWinControl* Parent() const { return FParent; }
    TForm* ParentForm() const;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Where the control is, in the display's pixels of the parent's client area.
    RECT BoundsRect() const;
    virtual void SetBounds(int Left, int Top, int Width, int Height);
    void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
    void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
    void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }

    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool Value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value);

    const WideString& Caption() const { return FCaption; }
    virtual void SetCaption(WideStringView Value);

    TFont Font;
    TColor Color = GetSysColor(COLOR_BTNFACE);
    HCURSOR Cursor = nullptr; // none: the arrow
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;

    virtual void Invalidate();
    virtual bool IsWindowed() const { return false; }
    // Simulates a click, as the keyboard or the program may.
    virtual void Click();

    // Painted by the parent into its buffer, at the control's place in parent coordinates.
    virtual void Paint(HDC) {}

protected:
    TWinControl* FParent;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    bool FVisible = true;
    bool FEnabled = true;
    WideString FCaption;
};

// A control with a window of its own: it can take the focus and holds child controls.
class TWinControl : public TControl {
public:
    explicit TWinControl(TWinControl* Parent);
    ~TWinControl() override;

    HWND Handle() const { return FHandle; }
    bool IsWindowed() const override { return true; }
    void SetBounds(int Left, int Top, int Width, int Height) override;
    void SetVisible(bool Value) override;
    void SetEnabled(bool Value) override;
    void SetCaption(WideStringView Value) override;
    void Invalidate() override;
    void SetFocus();
    bool Focused() const { return GetFocus() == FHandle; }
    // Places the window and its children anew at the current scale, with their fonts.
    virtual void Rescale();

    // Children in creation order, which is also their painting and tab order.
    const std::vector<std::unique_ptr<TControl>>& Controls() const { return FControls; }
    template <class T, class... TArgs>
    T* Add(TArgs&&... Args) {
        auto Control = std::make_unique<T>(this, std::forward<TArgs>(Args)...);
        T* Raw = Control.get();
        FControls.push_back(std::move(Control));
        return Raw;
    }

    bool DoubleBuffered = true;
    bool TabStop = false;
    int TabOrder = 0;
    // Width of a plain one-pixel frame drawn inside the bounds (0: none); children sit inside it.
    int BorderWidth = 0;
    TColor BorderColor = 0x808080;

    // The child graphic control under a point of the client area, topmost first.
    TControl* GraphicControlAt(int X, int Y) const;
    virtual LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam);

protected:
    // Creates the window; the class must be registered by TApplication.
    void CreateHandle(const wchar_t* ClassName, DWORD Style, DWORD ExStyle, HWND ParentHandle);
    void AttachHandle(HWND Handle);
    // Background, own look, then the graphic children, into a buffer when double-buffered.
    virtual void PaintWindow(HDC Dc);
    virtual void PaintBackground(HDC Dc);
    LRESULT DefaultProc(UINT Message, WPARAM WParam, LPARAM LParam);

    HWND FHandle = nullptr;
    WNDPROC FOriginalProc = nullptr; // set for subclassed system controls
    TControl* FPressed = nullptr;

private:
    std::vector<std::unique_ptr<TControl>> FControls;
    friend LRESULT CALLBACK ToolkitWindowProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK ToolkitWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
// The toolkit's window class for panels, buttons and other custom-drawn windows.
extern const wchar_t ToolkitWindowClass[];
// Fills a rectangle with a colour.
void FillColor(HDC Dc, const RECT& Rect, TColor Color);
// A frame of Width pixels inside the rectangle.
void FrameColor(HDC Dc, const RECT& Rect, TColor Color, int Width = 1);
