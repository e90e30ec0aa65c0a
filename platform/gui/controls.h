// Controls, forms, the application object, the screen and timers. Program code sees only
// these classes; the Qt widgets underneath stay in the implementation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"
#include "platform/gui/graphics.h"

// --- input codes ------------------------------------------------------------------------------
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64;
enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Windows virtual-key codes.
constexpr uint16_t VK_LBUTTON = 1, VK_RBUTTON = 2, VK_MBUTTON = 4, VK_BACK = 8, VK_TAB = 9, VK_CLEAR = 12,
                   VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18, VK_PAUSE = 19, VK_CAPITAL = 20,
                   VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
                   VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_SNAPSHOT = 44, VK_INSERT = 45,
                   VK_DELETE = 46, VK_LWIN = 91, VK_RWIN = 92, VK_APPS = 93, VK_NUMPAD0 = 96, VK_MULTIPLY = 106,
                   VK_ADD = 107, VK_SEPARATOR = 108, VK_SUBTRACT = 109, VK_DECIMAL = 110, VK_DIVIDE = 111,
                   VK_F1 = 112, VK_F2 = 113, VK_F3 = 114, VK_F4 = 115, VK_F5 = 116, VK_F6 = 117, VK_F7 = 118,
                   VK_F8 = 119, VK_F9 = 120, VK_F10 = 121, VK_F11 = 122, VK_F12 = 123, VK_NUMLOCK = 144,
                   VK_SCROLL = 145, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD,
                   VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC,
                   VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE, VK_OEM_102 = 0xE2;

// Messages. Key messages carry the virtual key (WM_KEYDOWN/UP) or the CP1250 byte (WM_CHAR) in
// WParam and the TShiftState in LParam.
constexpr unsigned WM_KEYDOWN = 0x100, WM_KEYUP = 0x101, WM_CHAR = 0x102, WM_SYSKEYDOWN = 0x104,
                   WM_SYSKEYUP = 0x105, WM_TIMER = 0x113, WM_MOUSEMOVE = 0x200, WM_LBUTTONDOWN = 0x201,
                   WM_LBUTTONUP = 0x202, WM_LBUTTONDBLCLK = 0x203, WM_RBUTTONDOWN = 0x204, WM_RBUTTONUP = 0x205,
                   WM_MBUTTONDOWN = 0x207, WM_MBUTTONUP = 0x208, WM_MOUSEWHEEL = 0x20A, WM_USER = 0x400;
constexpr unsigned CM_BASE = 0xB000, CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1,
                   CM_DIALOGCHAR = CM_BASE + 6, CM_VISIBLECHANGED = CM_BASE + 11,
                   CM_ENABLEDCHANGED = CM_BASE + 12, CM_COLORCHANGED = CM_BASE + 13, CM_FONTCHANGED = CM_BASE + 14,
                   CM_TEXTCHANGED = CM_BASE + 18, CM_MOUSEENTER = CM_BASE + 19, CM_MOUSELEAVE = CM_BASE + 20,
                   CM_RELEASE = CM_BASE + 33, CM_CHANGED = CM_BASE + 55;
// Layer notifications sent through Perform: CM_FONTCHANGED, CM_TEXTCHANGED, CM_ENABLEDCHANGED,
// CM_VISIBLECHANGED and CM_COLORCHANGED after the property changed; CM_DIALOGCHAR (WParam = the
// CP1250 character) goes to every control of the form, until one sets Result, when Alt is held
// with a key or the focused control takes no characters (buttons): accelerators ('&' in captions).

struct TMessage {
  unsigned Msg = 0;
  intptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

class TControl;
class TWinControl;
class TForm;
struct TControlPrivate;

// A message as the application's message hook sees it.
struct TMsg {
  TWinControl* Control = nullptr;  // the window it is addressed to
  unsigned message = 0;
  intptr_t wParam = 0;
  intptr_t lParam = 0;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

using TCursor = int;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12,
                  crNoDrop = -13, crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18,
                  crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;

// Control style flags.
constexpr unsigned csAcceptsControls = 1, csCaptureMouse = 2, csClickEvents = 4, csOpaque = 8, csDoubleClicks = 16;

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
              mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;


using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// --- TControl ---------------------------------------------------------------------------------
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int v);
  void SetTop(int v);
  void SetWidth(int v);
  void SetHeight(int v);
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const;
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual void SetClientHeight(int v) { SetHeight(v); }
  TRect ClientRect() const { return TRect(0, 0, ClientWidth(), ClientHeight()); }
  TPoint ClientOrigin() const;  // screen position of the client's top-left corner
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  TAlign Align() const;
  void SetAlign(TAlign a);

  bool Visible() const;
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible and every parent visible.
  bool Showing() const;
  bool Enabled() const;
  virtual void SetEnabled(bool v);
  TWinControl* Parent() const;
  virtual void SetParent(TWinControl* p);

  TColor Color() const;
  virtual void SetColor(TColor c);
  bool ParentColor() const;
  void SetParentColor(bool v);
  TFont* Font() const;
  bool ParentFont() const;
  void SetParentFont(bool v);
  // Caption and Text are the same string.
  const std::string& Caption() const;
  virtual void SetCaption(const std::string& s);
  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& s) { SetCaption(s); }
  const std::string& Hint() const;
  void SetHint(const std::string& s);
  bool ShowHint() const;
  void SetShowHint(bool v);
  bool ParentShowHint() const;
  void SetParentShowHint(bool v);
  TCursor Cursor() const;
  void SetCursor(TCursor c);
  unsigned ControlStyle() const;
  void SetControlStyle(unsigned s);

  // Invalidate: repaint later; Repaint: now; Update: paint what is pending now.
  virtual void Invalidate();
  virtual void Repaint();
  virtual void Update();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // Synchronous message to this control / queued one (delivered later from the event loop).
  intptr_t Perform(unsigned msg, intptr_t wParam = 0, intptr_t lParam = 0);
  void PostMessage(unsigned msg, intptr_t wParam = 0, intptr_t lParam = 0);
  virtual void WndProc(TMessage& Message);

  // Hit mask: false lets a click at client X,Y fall through to what lies beneath.
  virtual bool HitTest(int X, int Y);
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  virtual void Click();
  virtual void DblClick();

  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave, OnResize;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;

  TControlPrivate* Priv() const { return P.get(); }

  // Layer internals reach these through the bridge.
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual void Paint() {}
  virtual void Resize();

 protected:
  virtual void FontChanged();
  virtual void TextChanged() {}
  virtual void EnabledChanged();
  virtual void VisibleChanged() {}
  virtual void ColorChanged();
  virtual void BoundsChanged();

  std::unique_ptr<TControlPrivate> P;
  friend struct ControlBridge;
};

// A control without a window of its own: it paints into its parent's back buffer.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  // The parent's buffer, moved to this control's origin and clipped to it.
  TCanvas* Canvas();

 protected:
  std::unique_ptr<TCanvas> FCanvas;
};

// --- TWinControl ------------------------------------------------------------------------------
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const;
  TControl* Controls(int i) const;
  bool ContainsControl(const TControl* c) const;

  bool Focused() const;
  virtual bool CanFocus() const;
  void SetFocus();
  bool TabStop() const;
  void SetTabStop(bool v);
  int TabOrder() const;
  void SetTabOrder(int v);

  TNotifyEvent OnEnter, OnExit;
  TKeyEvent OnKeyDown, OnKeyUp;
  TKeyPressEvent OnKeyPress;
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  // Keys the control handles itself instead of the form (Enter, Escape, Tab, arrows).
  virtual bool WantsKey(uint16_t Key, TShiftState Shift);
  // False for controls that take no typed characters (buttons): those go to the accelerators.
  virtual bool WantsChars() { return true; }
  virtual void DoEnter();
  virtual void DoExit();

  // Shape of the window: clicks outside the region fall through; nullptr restores the rectangle.
  void SetWindowRegion(const TRegion* rgn);
  // Window timers: WM_TIMER with WParam = id arrives through WndProc every ms milliseconds.
  void SetTimer(int id, int ms);
  void KillTimer(int id);

  // Caret drawn by the control as a blinking inverted bar.
  void CreateCaret(int width, int height);
  void DestroyCaret();
  void ShowCaret();
  void HideCaret();
  void SetCaretPos(int x, int y);
  bool GetCaretPos(TPoint& p) const;

  // Answering "erase background" with 1: the buffer is not filled with Color before Paint.
  bool EraseBackground() const;
  void SetEraseBackground(bool v);
  bool HandleAllocated() const { return true; }
  // Renders the control and its children into c at x,y (what it shows on screen).
  void PaintTo(TCanvas* c, int x, int y);
  // Invalidates a rectangle of the client area.
  void InvalidateRect(const TRect& r);
  void ScrollBy(int dx, int dy);

  void Invalidate() override;
  void Repaint() override;
  void Update() override;
  void SetParent(TWinControl* p) override;
  void SetVisible(bool v) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void WndProc(TMessage& Message) override;
  // Lays out the aligned children again.
  void Realign();

 protected:
  enum TWidgetKind { wkCustom, wkNative };
  TWinControl(TComponent* AOwner, TWidgetKind kind);
  // The back buffer's canvas of a custom-painted control.
  TCanvas* BufferCanvas() const;
  friend struct ControlBridge;
};

// A windowed control with a canvas of its own (its back buffer) and a Paint method.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  TCanvas* Canvas() const { return BufferCanvas(); }
};

TForm* GetParentForm(const TControl* c);
void SetCaptureControl(TControl* c);
TControl* GetCaptureControl();
void ReleaseCapture();
// Current state of a key (bit 0x8000 set while down), as seen by the layer's key handling.
int16_t GetKeyState(int vk);
void MessageBeep(unsigned type);
// True when caption marks key as its accelerator ("&Dalej" for 'd' or 'D').
bool IsAccel(char key, const std::string& caption);
// Opens a web address or a document with the desktop's default program.
bool ShellOpen(const std::string& target);
// Replaces what ShellOpen does (tests see the address instead of starting a browser); an empty
// handler restores the desktop's. Returns the handler installed before.
using TShellOpenHandler = std::function<bool(const std::string& target)>;
TShellOpenHandler SetShellOpenHandler(TShellOpenHandler handler);

// --- TForm ------------------------------------------------------------------------------------
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
using TBorderIcons = unsigned;
constexpr TBorderIcons biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8;
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Fires OnCreate once (its exceptions go to the application's handler). CreateForm calls it;
  // Show, ShowModal and parenting call it when the program did not.
  void AfterConstruction();
  // Fires OnDestroy once; Release and freeing through the application call it.
  void BeforeDestruction();

  TCanvas* Canvas() const { return BufferCanvas(); }
  TFormBorderStyle BorderStyle() const;
  void SetBorderStyle(TFormBorderStyle s);
  TPosition Position() const;
  void SetPosition(TPosition p);
  // Buttons of the title bar (framed windows only).
  TBorderIcons BorderIcons() const;
  void SetBorderIcons(TBorderIcons icons);
  TFormStyle FormStyle() const;
  void SetFormStyle(TFormStyle s);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);
  bool KeyPreview() const;
  void SetKeyPreview(bool v);
  TWinControl* ActiveControl() const;
  void SetActiveControl(TWinControl* c);
  bool Active() const;
  bool Scaled() const { return false; }
  void SetScaled(bool) {}
  TBiDiMode BiDiMode() const;
  void SetBiDiMode(TBiDiMode m);
  // Full screen: a borderless window covering the screen, the client area centred on black.
  void SetFullScreen(bool v);
  bool FullScreen() const;

  void SetVisible(bool v) override;
  void SetParent(TWinControl* p) override;
  void SetCaption(const std::string& s) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  int ShowModal();
  int ModalResult() const;
  void SetModalResult(int r);
  bool Modal() const;
  void Close();
  virtual bool CloseQuery();
  // Frees the form after the current event has been handled.
  void Release();
  void BringToFront();
  // Enter and Escape handling of the form: clicks its Default / Cancel button.
  bool DialogKey(uint16_t key, TShiftState shift);

  TNotifyEvent OnCreate, OnShow, OnHide, OnDestroy, OnPaint, OnActivate, OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void Paint() override;
  void WndProc(TMessage& Message) override;

 protected:
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& action);
  void ApplyPosition();
  friend struct ControlBridge;
  friend class TApplication;
};

// A non-visual owner of components that CreateForm can create (the data module).
class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* AOwner) : TComponent(AOwner) {}
  // Fires OnCreate once; its exceptions go to the application's handler.
  void AfterConstruction();
  TNotifyEvent OnCreate, OnDestroy;

 private:
  bool FCreated = false;
};

// --- TApplication -----------------------------------------------------------------------------
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TMessageEvent = std::function<void(TMsg& Msg, bool& Handled)>;
using TExceptionEvent = std::function<void(TObject* Sender, Exception* E)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  template <class T>
  void CreateForm(T*& reference) {
    T* f = new T(this);
    reference = f;
    FormCreated(f);
    if constexpr (requires { f->AfterConstruction(); }) f->AfterConstruction();
  }
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  void ProcessMessages();
  // Waits for and handles at least one event, then idles once.
  void HandleMessage();
  // Runs fn later from the event loop (after the current event), guarded against exceptions.
  void QueueCall(std::function<void()> fn);
  // Frees obj later from the event loop. A control, form or timer freed before that is left
  // alone; any other object must stay alive until then.
  void ReleaseObject(TObject* obj);
  // Called from inside a catch block: routes the exception to OnException or shows it.
  void HandleException(TObject* Sender);
  void ShowException(Exception* E);
  // Modal Yes/No/OK box; flags as MB_*; returns ID_*.
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& t);
  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* f) { FMainForm = f; }
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool v) { FShowMainForm = v; }
  bool Active() const;
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode m) { FBiDiMode = m; }
  bool UseRightToLeftReading() const { return FBiDiMode != bdLeftToRight; }
  // Number of event loops running (main loop and modal loops).
  int LoopLevel() const;

  TIdleEvent OnIdle;
  TMessageEvent OnMessage;
  TExceptionEvent OnException;
  TNotifyEvent OnActivate, OnDeactivate;

  // Internal.
  void FormCreated(TComponent* c);
  void QuitLoops();
  struct Impl;
  Impl* impl() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
  bool FTerminated = false;
  std::string FTitle;
  TForm* FMainForm = nullptr;
  bool FShowMainForm = true;
  TBiDiMode FBiDiMode = bdLeftToRight;
  friend struct ControlBridge;
};

constexpr unsigned MB_OK = 0, MB_OKCANCEL = 1, MB_YESNOCANCEL = 3, MB_YESNO = 4, MB_ICONERROR = 0x10,
                   MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30, MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

extern TApplication* Application;

// --- TScreen ----------------------------------------------------------------------------------
class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;
  // Desktop size in the layer's pixels (device-independent, so high-DPI desktops scale windows up).
  int Width() const;
  int Height() const;
  int PixelsPerInch() const { return 96; }
  double DevicePixelRatio() const;
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor c);
  // Registers a cursor picture under an id: white/black pixels of image, key-coloured ones
  // (the bottom-left pixel's colour) transparent.
  void SetCustomCursor(TCursor id, const TBitmap& image, int hotX, int hotY);
  bool HasCursor(TCursor id) const;
  std::vector<std::string> Fonts() const;
  TFont* MessageFont() const { return FMessageFont.get(); }
  TFont* IconFont() const { return FMessageFont.get(); }
  TForm* ActiveForm() const;
  int FormCount() const;
  TForm* Forms(int i) const;
  int ColorBits() const { return 32; }

 private:
  TCursor FCursor = crDefault;
  std::unique_ptr<TFont> FMessageFont;
};
extern TScreen* Screen;

// --- TTimer -----------------------------------------------------------------------------------
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;
  // Internal: restarts the timer after a change.
  void UpdateTimer();

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
  bool FEnabled = true;
  unsigned FInterval = 1000;
};
