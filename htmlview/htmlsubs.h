#pragma once
// The laid-out document: sections (paragraphs, blocks, tables, rules) held in cells. Every
// element is built once, arranged for a width (again on every resize), then painted and asked
// hit-test questions. This file holds the roots of that tree and the cells that drive them.

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <functional>
#include <memory>

#include "htmlview/htmlun2.h"
#include "htmlview/styleun.h"
#include "platform/core/sysutils.h"
#include "platform/gui/geometry.h"

class TCanvas;
class TSectionList;
class TUrlTarget;
class TFontObj;
class TImageObj;
class TFormControlObj;
class TImageFormControlObj;
class ThtmlForm;
class TPanelObj;
class TPanel;
class TTimer;
class TWinControl;
class TObject;
class TStream;
class TStringBitmapList;
class TGIFImage;
struct TPixelBuffer;
struct TMaskBuffer;

// Raised by the layout when the document tree cannot be processed.
class EProcessError : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EProcessError"; }
};

class TSectionBase : public TIDObject {
 public:
  explicit TSectionBase(TSectionList* AOwner) : ParentSectionList(AOwner) {}
  // The copy made for printing: keeps the flow height and stacking order, bound to ADocument.
  TSectionBase(TSectionList* ADocument, const TSectionBase& Source)
      : ParentSectionList(ADocument), FlowHeight(Source.FlowHeight), StackOrder(Source.StackOrder) {}
  TSectionBase(const TSectionBase&) = delete;
  TSectionBase& operator=(const TSectionBase&) = delete;
  ~TSectionBase() override = default;

  TSectionList* ParentSectionList;
  int32_t FlowHeight = 0;
  int32_t PaintHeight = 0;
  int32_t FirstPosition = 0;
  int32_t PositionCount = 0;
  int32_t StackOrder = 0;
  int32_t TopY = 0;
  int32_t ContentBottomY = 0;
  int32_t ContentTopY = 0;
  int32_t PaintBottomY = 0;
  int32_t PaintTopY = 0;

  int YPosition() override { return TopY; }
  virtual TSectionBase* CloneFor(TSectionList* ADocument) const { return new TSectionBase(ADocument, *this); }
  virtual void CopySelection() {}
  virtual int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
                      int& Curs);
  virtual int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef);
  virtual bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) {
    (void)X, (void)Y, (void)UrlTarget, (void)FormControl;
    return false;
  }
  virtual bool ObjectAt(int X, int Y, void*& Obj) {
    (void)X, (void)Y, (void)Obj;
    return false;
  }
  virtual int CursorAt(int X, int Y) {
    (void)X, (void)Y;
    return -1;
  }
  virtual int SearchText(const std::string& Text, bool MatchCase, int Start) {
    (void)Text, (void)MatchCase, (void)Start;
    return -1;
  }
  virtual int DocToSource(int Pos) {
    (void)Pos;
    return -1;
  }
  virtual int SourceToDoc(int Pos, bool Previous) {
    (void)Pos, (void)Previous;
    return -1;
  }
  virtual bool CaretPoint(int Pos, int& X, int& Y) {
    (void)Pos, (void)X, (void)Y;
    return false;
  }
  virtual bool CharAt(int Pos, char& Ch, int& Font) {
    (void)Pos, (void)Ch, (void)Font;
    return false;
  }
  virtual void WidthRange(TCanvas* Canvas, int& Min, int& Max) {
    (void)Canvas;
    Min = 0;
    Max = 0;
  }
  // Moves the laid-out element down by DY (cells aligned to the middle or bottom of their row).
  virtual void ShiftY(int DY) {
    TopY += DY;
    ContentTopY += DY;
    ContentBottomY += DY;
    PaintTopY += DY;
    PaintBottomY += DY;
  }
  // True when the element can be as narrow as Width (its minimum width is not more).
  virtual bool MinWidthAtMost(TCanvas* Canvas, int Width) {
    int Min = 0, Max = 0;
    WidthRange(Canvas, Min, Max);
    return Min <= Width;
  }
  // Enters the element into the document's list of positioned elements.
  virtual void Register();
  // True for a section that holds nothing worth keeping in a cell (an empty paragraph that
  // clears no floats); such sections are freed instead of being added.
  virtual bool EmptyForCell() { return false; }
  // Completes a section that still holds what the builder collected (paragraphs do).
  virtual void CompleteForCell() {}
};

class TCellBasic : public TFreeList<TSectionBase> {
 public:
  explicit TCellBasic(TSectionList* AMasterList) : MasterList(AMasterList) {}
  // The print copy: each section copied by its own copy operation for the new document.
  TCellBasic(TSectionList* ADocument, const TCellBasic& Source);

  TSectionList* MasterList;
  int32_t YValue = 0;
  int32_t FirstPosition = 0;
  int32_t PositionCount = 0;
  std::string OwnerTag = "default";

  // Completes, discards or appends the section (the cell owns it afterwards).
  void Add(TSectionBase* Item);
  virtual int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth);
  virtual void WidthRange(TCanvas* Canvas, int& Min, int& Max);
  virtual int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef);
  virtual bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl);
  bool ObjectAt(int X, int Y, void*& Obj);
  int CursorAt(int X, int Y);
  int SearchText(const std::string& Text, bool MatchCase, int Start);
  int DocToSource(int Pos);
  int SourceToDoc(int Pos, bool Previous);
  bool CaretPoint(int Pos, int& X, int& Y);
  bool CharAt(int Pos, char& Ch, int& Font);
  void Register();
  // Appends the selected text of the sections that overlap the document's selection.
  void CopySelection();
  void ShiftY(int DY) {
    YValue += DY;
    for (int I = 0; I < Count(); ++I) Items(I)->ShiftY(DY);
  }
  // Binds the manager that the cell's sections arrange against (cells that own one keep theirs).
  void SetIndentManager(IndentManager* IMgr) { FCellIMgr = IMgr; }

 protected:
  IndentManager* FCellIMgr = nullptr;  // set by cells that own a manager
};

class TCell : public TCellBasic {
 public:
  explicit TCell(TSectionList* AMasterList) : TCellBasic(AMasterList) { FCellIMgr = &IMgr; }
  TCell(TSectionList* ADocument, const TCell& Source) : TCellBasic(ADocument, Source) { FCellIMgr = &IMgr; }
  IndentManager IMgr;
  int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* AIMgr, int X, int XRef, int YRef) override;
};

class TBlockCell : public TCellBasic {
 public:
  using TCellBasic::TCellBasic;
  int32_t ContentBottomY = 0;
  int32_t PaintTopY = 990000;
  int32_t PaintBottomY = 0;
  int32_t TotalHeight = 0;
  int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) override;
};

// Events of the document, raised for the viewer that owns it.
using TBitmapRequestEvent =
    std::function<void(TObject* Sender, const std::string& Name, int32_t& Color, TPixelBuffer*& Bitmap)>;
using TImageRequestEvent = std::function<void(TObject* Sender, const std::string& Name, TStream*& Stream)>;
using TFormSubmitEvent = std::function<void(TObject* Sender, const std::string& Action, const std::string& Target,
                                            const std::string& EncType, const std::string& Method,
                                            const std::vector<std::string>& Results)>;
using TObjectClickEvent = std::function<void(TObject* Sender, TFormControlObj* Obj, const std::string& OnClick)>;

// A deferred image paint: images are painted after all text so that floats lie above it.
struct TImageRec {
  TImageObj* Image;
  int X, Y;
};

// The document itself: the outermost cell plus what every element registers with it (styles,
// IDs, links, forms and their controls, animated images, the background and the image fetch).
class TSectionList : public TCell {
 public:
  // Owner and PaintPanel may be null: such a document lays out and paints, but form controls
  // get no windows and animation has no timer.
  explicit TSectionList(TWinControl* AOwner = nullptr, TWinControl* APaintPanel = nullptr);
  // The copy used for printing: shares the image cache and settings, owns new empty lists.
  TSectionList(const TSectionList& Source, bool ForPrinting);
  ~TSectionList() override;

  // Elements in document order by position, for finding the element at a position.
  std::vector<TSectionBase*> PositionList;
  void ClearLayoutLists() { PositionList.clear(); }

  bool ImagesShown = true;
  bool Printing = false;
  int32_t ScrollY = 0;
  bool ScrollChanged = false;
  int32_t SelStart = 0, SelEnd = 0;
  bool PrintTableBackground = false;
  bool HoverLinks = true;
  TWinControl* OwnerControl = nullptr;
  TWinControl* PaintPanel = nullptr;
  TBitmapRequestEvent OnBitmapRequest;
  TImageRequestEvent OnImageRequest;
  std::function<std::string(const std::string& Name)> ExpandName;
  TFormSubmitEvent OnFormSubmit;
  TObjectClickEvent OnObjectClick;
  std::function<void(TFormControlObj* Control)> OnControlEnter;
  std::function<void()> OnBackgroundChange;
  std::function<void(TObject* Sender, const std::string& Name, const std::string& Type, const std::string& Src,
                     TPanel* Panel)>
      OnPanelCreate;
  std::function<void(TObject* Sender, TPanel* Panel)> OnPanelDestroy;

  int32_t Background = 0xFFFFFF;
  std::string BackgroundName;
  const TPixelBuffer* BackgroundBitmap = nullptr;
  const TMaskBuffer* BackgroundMask = nullptr;
  bool BackgroundLoaded = false;

  TFreeList<ThtmlForm> Forms;
  ThtmlForm* CurrentForm = nullptr;  // the builder's form (or the implicit one)
  std::vector<TFormControlObj*> FormControlList;
  std::vector<TImageObj*> AnimatedImages;
  std::vector<TPanelObj*> Panels;
  TTimer* AnimationTimer = nullptr;
  std::vector<std::pair<std::string, TImageObj*>> PendingImages;
  std::vector<TFontObj*> Links;
  TFontObj* ActiveLink = nullptr;
  TImageObj* ActiveImage = nullptr;
  // The form image button that the last LinkAt found under the point (its click position kept).
  TImageFormControlObj* ActiveImageButton = nullptr;
  // The form image button drawn as Image, if it is one.
  TImageFormControlObj* ImageButtonOf(const TImageObj* Image) const;
  TStyleList Styles;
  std::vector<TImageRec> DrawList;
  int* FirstLineBaseline = nullptr;
  TIDNameList IDNameList;
  TFreeList<TMapItem> MapList;
  TStringBitmapList* ImageCache = nullptr;
  // Room kept free round the page (the viewer's margins; BODY MARGINWIDTH and MARGINHEIGHT
  // replace them for one page).
  int MarginWidth = 0, MarginHeight = 0;
  // Left edge the document was last arranged at (the caller's X plus the margin actually used):
  // painting starts there so that text is drawn where hit tests find it.
  int ArrangedLeft = 0;
  // Results of the builder.
  std::string Title, BaseURL, BaseTarget;
  // Printing: the document Y where the page being printed ends (painting may move it up so that
  // a line, a row or a page break starts the next page).
  int PrintPageBottom = 0;
  // The text being copied from the selection.
  std::string CopyBuffer;
  // The selected text (SelStart .. SelEnd), lines ended by CR LF.
  std::string SelectedText();

  void Clear() override;
  int Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) override;
  // Paints the part of the document in ARect (window coordinates; the document is moved up by
  // ScrollY).
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* AIMgr, int X, int XRef, int YRef) override;
  void PaintDocument(TCanvas* Canvas, const TRect& ARect);
  // The link under a window point, with hover tracking; the result is a new object.
  bool LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) override;
  void ClearHover();
  void SetScroll(int Y);
  void SetBackgroundColour(int32_t Colour);
  // The viewer's defaults: fonts, text and link colours, hover tracking, background, character
  // set, whether links are underlined; the style list starts from them.
  void SetDefaults(const std::string& FontName, const std::string& PreFontName, double PointSize, int32_t TextColour,
                   int32_t LinkColour, int32_t VisitedColour, int32_t HoverColour, bool LinksActive,
                   int32_t BackgroundColour, uint8_t CharSet, bool UnderlineLinks = true);
  void SetBackgroundName(const std::string& Name);
  // The last registered element whose Y is not below Y; nullptr when Y lies above the first.
  TSectionBase* SectionAtY(int Y, int& Top, int& Index);
  // The document position under a window point (-1 when none).
  int PositionAt(int X, int Y) { return CursorAt(X, Y + ScrollY); }
  // Steps the animated images once (the timer's handler).
  void AnimationStep(uint32_t Now);
  // Returns a picture (owned by the image cache) or nullptr; Delayed when its data comes later.
  bool FetchImage(const std::string& Name, uint8_t& Transparency, bool& FromCache, bool& Delayed,
                  TPixelBuffer*& Bitmap, TGIFImage*& Gif, TMaskBuffer*& Mask);
  void LoadBackground();
  std::vector<std::vector<std::string>> SaveFormState();
  void RestoreFormState(const std::vector<std::vector<std::string>>& State);
  // Shows the controls the last paint placed and hides (or, with the focus, parks) the others.
  void PlaceFormControls();

 private:
  std::unique_ptr<TStringBitmapList> FOwnCache;
};
