#pragma once
// HTML forms: each control of a form is a real control of the GUI layer placed on the viewer's
// paint panel. The objects here know their name and value, build their name=value submission
// lines, reset, take data back, size themselves from their font and style, and draw a look-alike
// when the document is printed.

#include <cstdint>
#include <string>
#include <vector>

#include "htmlview/htmlsubs.h"
#include "htmlview/htmlsym.h"

class TCanvas;
class TEdit;
class TButton;
class TCheckBox;
class TRadioButton;
class TPanel;
class TListBox;
class TComboBox;
class TMemo;
class TImageObj;
class TFont;
class TStrings;

class TFormControlObj;

class ThtmlForm {
 public:
  // Adds itself to the document's forms.
  ThtmlForm(TSectionList* ADocument, const TAttributeList& Attributes);
  TSectionList* Document;
  std::string Method = "get", Action, Target, EncType;
  TFreeList<TFormControlObj> Controls;
  int VisibleCount = 0;

  void AddControl(TFormControlObj* Control);
  void UncheckRadioGroup(TFormControlObj* Radio);
  void ResetAll();
  // Enter in an edit box submits the form and is swallowed.
  void KeyPressed(TObject* Sender, char& Key);
  std::vector<std::string> CollectSubmission();
  void Submit(const std::string& ButtonText);
  void RestoreData(const std::vector<std::string>& Lines);
  void SizeControls(TCanvas* Canvas);
};

class TFormControlObj : public TIDObject {
 public:
  TFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  ~TFormControlObj() override;
  TFormControlObj(const TFormControlObj&) = delete;
  TFormControlObj& operator=(const TFormControlObj&) = delete;

  int PlacedY = 0;
  bool Active = false;
  int Pos;
  TSectionList* Document;
  ThtmlForm* Form = nullptr;
  std::string Value, Name;
  uint8_t FormAlign = ABaseline;
  int HSpaceL = 0, HSpaceR = 0;
  int StyleHeight = 0, StyleWidth = 0;
  TWinControl* Control = nullptr;  // owned
  bool Placed = false;
  std::string OnClickText;
  std::unique_ptr<TFont> ControlFont;
  bool HasID = false;

  int YPosition() override { return PlacedY; }
  virtual TWinControl* WindowedControl() { return Control; }
  virtual void ApplyStyle(TProperties& Props);
  // The printed look at (X, Y), window coordinates of the canvas.
  virtual void PrintLook(TCanvas* Canvas, int X, int Y) { (void)Canvas, (void)X, (void)Y; }
  virtual void ResetToValue() {}
  virtual bool GetSubmission(int Index, std::string& S) {
    (void)Index, (void)S;
    return false;
  }
  virtual void SetData(int Index, const std::string& V) { (void)Index, (void)V; }
  virtual void SetDataInit() {}
  virtual void SizeControl(TCanvas* Canvas) { (void)Canvas; }
  int Width() const;
  int Height() const;
  // Moves the control to window point (X, Y) and shows it; DocY is its document Y.
  void ShowAt(int X, int Y, int DocY);

 protected:
  // Creates Control's handlers and parent; the control is out of view until the layout places it.
  void Setup(TWinControl* AControl);
  void ControlClicked();
  void PrintFrame(TCanvas* Canvas, int X, int Y, bool Raised);
};

class THiddenFormControlObj : public TFormControlObj {
 public:
  using TFormControlObj::TFormControlObj;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
};

class TEditFormControlObj : public TFormControlObj {
 public:
  TEditFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes, bool Password);
  int Columns = 15;
  TEdit* Edit() const;
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
  void SizeControl(TCanvas* Canvas) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
};

class TButtonFormControlObj : public TFormControlObj {
 public:
  // AKind: 0 submit, 1 reset, 2 button.
  TButtonFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes, int AKind);
  int Kind;
  void SizeControl(TCanvas* Canvas) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
  void ButtonClicked();
};

class TCheckBoxFormControlObj : public TFormControlObj {
 public:
  TCheckBoxFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  bool InitiallyChecked = false;
  TCheckBox* Box() const;
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetDataInit() override;
  void SetData(int Index, const std::string& V) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
};

class TRadioButtonFormControlObj : public TFormControlObj {
 public:
  TRadioButtonFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  bool InitiallyChecked = false;
  TRadioButton* Radio = nullptr;  // inside the panel (Control)
  TWinControl* WindowedControl() override;
  bool Checked() const;
  void SetChecked(bool V);
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
  void RadioClicked();
};

class TImageFormControlObj : public TFormControlObj {
 public:
  TImageFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  TImageObj* MyImage;  // owned by the section's image list
  int ClickX = -1, ClickY = 0;
  int PendingX = 0, PendingY = 0;
  void ApplyStyle(TProperties& Props) override;
  bool GetSubmission(int Index, std::string& S) override;
  void ImageClicked();
};

// SELECT: a list box (SIZE > 1 or MULTIPLE) or a drop-down list.
class TSelectFormControlObj : public TFormControlObj {
 public:
  TSelectFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  struct TOptionObj {
    std::string Text, Value;
    bool Selected;
  };
  std::vector<TOptionObj> Options;
  int VisibleRows = -1;
  int WidestOption = 3;
  bool Multiple = false;
  void AddOption(const std::string& Text, const std::string& AValue, bool Selected);
  // Puts the option texts into Items; the last selected option's index (-1 when none).
  int FillItems(TStrings* Items) const;
};

class TListBoxFormControlObj : public TSelectFormControlObj {
 public:
  TListBoxFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  TListBox* List() const;
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
  void SizeControl(TCanvas* Canvas) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
};

class TComboFormControlObj : public TSelectFormControlObj {
 public:
  TComboFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  TComboBox* Combo() const;
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
  void SizeControl(TCanvas* Canvas) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
};

class TTextAreaFormControlObj : public TFormControlObj {
 public:
  TTextAreaFormControlObj(TSectionList* ADocument, int APosition, const TAttributeList& Attributes);
  int Wrap = 1;  // 0 off, 1 on screen only, 2 hard
  int Rows = 5, Cols = 30;
  std::string InitialText;
  TMemo* Memo() const;
  void AddText(const std::string& S) { InitialText += S; }
  void ResetToValue() override;
  bool GetSubmission(int Index, std::string& S) override;
  void SetData(int Index, const std::string& V) override;
  void SizeControl(TCanvas* Canvas) override;
  void PrintLook(TCanvas* Canvas, int X, int Y) override;
};

// The control object for an INPUT, SELECT or TEXTAREA element: added to the current form (an
// implicit one outside FORM) and to the document's control list; the style gives its font.
TFormControlObj* CreateFormControl(TSectionList* ADocument, Symb Kind, int Position, const TAttributeList& Attributes,
                                   TProperties& Props);
