// Standard controls: labels, edits, buttons, check and radio boxes, lists, combos, containers,
// shapes, progress and scroll bars, pictures and paint boxes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/controls.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment a);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout l);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  // Transparent labels leave what the parent painted beneath them visible.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool v);
  // The control its accelerator focuses.
  TWinControl* FocusControl = nullptr;
  void Paint() override;
  void WndProc(TMessage& Message) override;

 protected:
  void TextChanged() override { AdjustBounds(); }
  void FontChanged() override;
  void AdjustBounds();
  unsigned DrawFlags() const;

 private:
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FAutoSize = true;
  bool FShowAccelChar = true;
};

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);
  const std::string& Text() const;
  void SetCaption(const std::string& s) override;
  int MaxLength() const;
  void SetMaxLength(int n);
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char c);
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  int SelStart() const;
  void SetSelStart(int v);
  int SelLength() const;
  void SetSelLength(int v);
  void SelectAll();
  void Clear() { SetCaption(""); }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  TNotifyEvent OnChange;

 private:
  char FPasswordChar = 0;
  bool FModified = false;
  friend struct StdBridge;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  TStrings* Lines() const;
  // Lines joined by CR LF.
  std::string Text() const;
  void SetText(const std::string& s);
  void Clear();
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle s);
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool v) { FWantReturns = v; }
  int SelStart() const;
  void SetSelStart(int v);
  int SelLength() const;
  void SetSelLength(int v);
  bool WantsKey(uint16_t Key, TShiftState Shift) override;
  TNotifyEvent OnChange;

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
  bool FWordWrap = true;
  bool FWantReturns = true;
  TScrollStyle FScrollBars = ssNone;
  friend struct StdBridge;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner);
  void SetCaption(const std::string& s) override;
  bool Default() const { return FDefault; }
  void SetDefault(bool v) { FDefault = v; }
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int v) { FModalResult = v; }
  // Sets the parent form's ModalResult to the button's, then fires OnClick.
  void Click() override;
  bool WantsChars() override { return false; }
  void WndProc(TMessage& Message) override;

 private:
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = 0;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// Setting Checked (or State) from code does not fire OnClick; a click by the user does.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  void SetCaption(const std::string& s) override;
  bool Checked() const;
  void SetChecked(bool v);
  TCheckBoxState State() const;
  void SetState(TCheckBoxState s);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool v);
  bool WantsChars() override { return false; }
  // Its accelerator toggles it as a click does.
  void WndProc(TMessage& Message) override;

 private:
  bool FAllowGrayed = false;
};

// Radio buttons with the same parent form a group; a group may have none checked.
class TRadioButton : public TWinControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  void SetCaption(const std::string& s) override;
  bool Checked() const;
  void SetChecked(bool v);
  // Internal: the user checked this button.
  void UserChecked();
  bool WantsChars() override { return false; }
  void WndProc(TMessage& Message) override;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNoBorder, bsSingleBorder };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut b);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut b);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int w);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle b);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment a);
  TNotifyEvent OnPaint;  // after the panel painted its face
  void Paint() override;

 private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  int FBevelWidth = 1;
  TBorderStyle FBorderStyle = bsNoBorder;
  TAlignment FAlignment = taCenter;
};

class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
  void Paint() override;
};

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
using TOwnerDrawState = unsigned;
constexpr TOwnerDrawState odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odFocused = 16,
                          odComboBoxEdit = 0x1000;
using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State)>;

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings* Items() const;
  int ItemIndex() const;
  void SetItemIndex(int i);
  int Count() const { return Items()->Count(); }
  void Clear();
  TListBoxStyle Style() const { return FStyle; }
  void SetStyle(TListBoxStyle s);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int h);
  bool MultiSelect() const;
  void SetMultiSelect(bool v);
  bool ExtendedSelect() const { return FExtendedSelect; }
  void SetExtendedSelect(bool v);
  bool Selected(int i) const;
  void SetSelected(int i, bool v);
  int SelCount() const;
  int TopIndex() const;
  void SetTopIndex(int i);
  TRect ItemRect(int i) const;
  int ItemAtPos(TPoint p, bool existing) const;
  bool Sorted() const;
  void SetSorted(bool v);
  // Canvas for OnDrawItem: a picture of the item being drawn.
  TCanvas* Canvas() const;
  TDrawItemEvent OnDrawItem;

  struct Impl;
  Impl* impl() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
  TListBoxStyle FStyle = lbStandard;
  int FItemHeight = 13;
  bool FExtendedSelect = true;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings* Items() const;
  int ItemIndex() const;
  void SetItemIndex(int i);
  const std::string& Text() const;
  void SetCaption(const std::string& s) override;
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle s);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int h);
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int n);
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  bool Sorted() const;
  void SetSorted(bool v);
  void Clear();
  TCanvas* Canvas() const;
  TNotifyEvent OnChange, OnDropDown;
  TDrawItemEvent OnDrawItem;

  struct Impl;
  Impl* impl() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
  TComboBoxStyle FStyle = csDropDown;
  int FItemHeight = 16;
  int FDropDownCount = 8;
  friend struct StdBridge;
};

// A page of a notebook: a plain container named by its caption.
class TPage : public TCustomControl {
 public:
  explicit TPage(TComponent* AOwner);
};

// Pages addressed by name; ActivePage is the name of the shown page.
class TNotebook : public TCustomControl {
 public:
  explicit TNotebook(TComponent* AOwner);
  // Replaces the pages by one per name (their children go with them).
  void SetPageNames(const std::vector<std::string>& names);
  TPage* AddPage(const std::string& name);
  int PageCount() const { return int(FPages.size()); }
  TPage* Pages(int i) const;
  TPage* PageByName(const std::string& name) const;
  std::string ActivePage() const;
  // An unknown name raises EInvalidOperation.
  void SetActivePage(const std::string& name);
  int PageIndex() const { return FPageIndex; }
  void SetPageIndex(int i);
  TNotifyEvent OnPageChanged;

 private:
  std::vector<TPage*> FPages;
  int FPageIndex = -1;
};

class TPageControl;
class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TPageControl* pc);
  int PageIndex() const;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  void SetCaption(const std::string& s) override;

 private:
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
  friend class TPageControl;
};

class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  int PageCount() const { return int(FPages.size()); }
  TTabSheet* Pages(int i) const;
  TTabSheet* ActivePage() const { return FActive; }
  void SetActivePage(TTabSheet* p);
  // By caption or name, without regard to case; unknown names are ignored.
  void SetActivePageByName(const std::string& name);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  int TabHeight() const;
  TRect TabRect(int i);
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;
  TNotifyEvent OnChange;

  // Internal.
  void InsertPage(TTabSheet* p);
  void RemovePage(TTabSheet* p);
  void PlacePages();

 private:
  std::vector<TTabSheet*> FPages;
  TTabSheet* FActive = nullptr;
};

enum TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

class TShape : public TGraphicControl {
 public:
  explicit TShape(TComponent* AOwner);
  ~TShape() override;
  TShapeType Shape() const { return FShape; }
  void SetShape(TShapeType s);
  TBrush* Brush() const { return FBrush.get(); }
  TPen* Pen() const { return FPen.get(); }
  void Paint() override;

 private:
  TShapeType FShape = stRectangle;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TPen> FPen;
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const;
  void SetMin(int v);
  int Max() const;
  void SetMax(int v);
  int Position() const;
  void SetPosition(int v);
  int Step() const { return FStep; }
  void SetStep(int v) { FStep = v; }
  void StepIt();
  void StepBy(int d);

 private:
  int FStep = 10;
};

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* AOwner);
  TScrollBarKind Kind() const { return FKind; }
  void SetKind(TScrollBarKind k);
  int Min() const;
  int Max() const;
  int Position() const;
  void SetMin(int v);
  void SetMax(int v);
  void SetPosition(int v);
  void SetParams(int position, int min, int max);
  int SmallChange() const;
  void SetSmallChange(int v);
  int LargeChange() const;
  void SetLargeChange(int v);
  int PageSize() const;
  void SetPageSize(int v);
  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 private:
  TScrollBarKind FKind = sbHorizontal;
  int FPageSize = 0;
  int FMax = 100;
  friend struct StdBridge;
};

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  TPicture* Picture() const { return FPicture.get(); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v);
  bool Center() const { return FCenter; }
  void SetCenter(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool Proportional() const { return FProportional; }
  void SetProportional(bool v);
  void Paint() override;

 private:
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false, FCenter = false, FTransparent = false, FAutoSize = false, FProportional = false;
  void PictureChanged();
};

class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  TNotifyEvent OnPaint;
  void Paint() override;
};

// --- properties by name (the form translator) ---------------------------------------------------
enum TPropKind { pkNone, pkString, pkInteger, pkStrings };
// Kind of the named property (case-insensitive) of obj; pkNone when obj has no such property.
TPropKind PropertyKind(TComponent* obj, const std::string& name);
// The property's current value as text (string lists: the lines joined by CR LF).
std::string GetPropertyText(TComponent* obj, const std::string& name);
// Sets a property from text: strings as they are, integers converted (EConvertError on a bad
// number), string lists split at separator with every item trimmed (the text after the last
// separator only when it is not blank). Returns false for an unknown property.
bool SetPropertyText(TComponent* obj, const std::string& name, const std::string& value,
                     const std::string& separator = ",");
// Walks "A.B.Prop" from root through owned components (names without regard to case, else the
// current object itself when its own name matches exactly). Returns the object and sets prop,
// or returns nullptr when a name matches nothing.
TComponent* ResolvePropertyPath(TComponent* root, const std::string& path, std::string& prop);
