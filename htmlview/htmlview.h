#pragma once
// The HTML viewer control: loads a document (file, string list, buffer, stream), hands it to the
// document builder, lays it out for its width, paints it through a drawing panel with two scroll
// bars, follows links, keeps a history and a visited list, selects text and prints.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/htmlsubs.h"
#include "platform/core/classes.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class THTMLViewer;
class TStringBitmapList;

// Raised by the frames viewer when a document cannot be found or read; an input/output error.
class EfvLoadError : public EInOutError {
 public:
  using EInOutError::EInOutError;
  std::string ClassName() const override { return "EfvLoadError"; }
};

enum THTMLBorderStyle { htFocused, htNone, htSingle };
using ThtmlViewerOptions = unsigned;
constexpr ThtmlViewerOptions htOverLinksActive = 1, htNoLinkUnderline = 2, htPrintTableBackground = 4,
                             htShowDummyCaret = 8, htShowVScroll = 16;

// Cursor numbers of the viewer's own cursors.
constexpr TCursor HandCursor = 1, ThickIBeamCursor = 2, UpDownCursor = 3, UpOnlyCursor = 4, DownOnlyCursor = 5;

// A place in a document that survives a new layout, with the page's form values.
struct PositionObj {
  int Pos = 0;
  uint8_t FileType = 0;
  std::unique_ptr<std::vector<std::vector<std::string>>> FormData;
};

struct TRightClickParameters {
  void* Image = nullptr;
  int ImageX = 0, ImageY = 0;
  std::string URL, Target, ClickWord;
};

// The drawing panel: painted through the control's back buffer, mouse input goes to the viewer.
class TPaintPanel : public TCustomControl {
 public:
  TPaintPanel(TComponent* AOwner, THTMLViewer* AViewer);
  THTMLViewer* Viewer;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DblClick() override;
  void MouseLeave() override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
};

class THTMLViewer : public TWinControl {
 public:
  explicit THTMLViewer(TComponent* AOwner);
  ~THTMLViewer() override;

  // ---- loading
  void LoadFromFile(const std::string& FileName);
  void LoadTextFile(const std::string& FileName);
  void LoadImageDocument(const std::string& FileName);
  void LoadFromStrings(TStrings* Strings);
  void LoadFromBuffer(const char* Buffer, int BufSize);
  void LoadFromStream(TStream* Stream);
  void Clear();
  bool PositionTo(std::string Dest);
  void Relayout();

  // ---- state
  const std::string& DocumentTitle() const { return FTitle; }
  const std::string& CurrentFile() const { return FCurrentFile; }
  const std::string& Base() const { return FBase; }
  const std::string& BaseTarget() const { return FBaseTarget; }
  const std::string& URL() const { return FURL; }
  const std::string& Target() const { return FTarget; }
  const std::string& DocumentSource() const { return FDocumentSource; }
  bool Processing() const { return FProcessing; }
  int DocumentHeight() const { return FDocHeight; }
  int ScrollWidth() const { return FScrollWidth; }
  int Position();
  void SetPosition(int Value);
  int VScrollBarPosition() const;
  void SetVScrollBarPosition(int Value);
  int HScrollBarPosition() const;
  void SetHScrollBarPosition(int Value);
  TSectionList* SectionList() const { return FSectionList.get(); }
  TPaintPanel* PaintPanel() const { return FPaintPanel; }
  TScrollBar* VScrollBar() const { return FVScrollBar; }
  TScrollBar* HScrollBar() const { return FHScrollBar; }
  bool IsEmpty() const { return FSectionList->Count() == 0; }

  // ---- selection
  int SelStart() const { return FSectionList->SelStart; }
  int SelLength() const { return FSectionList->SelEnd - FSectionList->SelStart; }
  void SetSelection(int Start, int Length);
  std::string SelText() { return FSectionList->SelectedText(); }
  void SelectAll();
  int CaretPos() const { return FCaretPos; }

  // ---- history and visited links
  TStringList* History() { return &FHistory; }
  TStringList* TitleHistory() { return &FTitleHist; }
  int HistoryIndex() const { return FHistoryIndex; }
  const std::vector<std::unique_ptr<PositionObj>>& PositionHistory() const { return FPositionHistory; }
  void ClearHistory();
  TStringList* VisitedList() { return &FVisited; }
  void AddVisited(const std::string& S);
  void CheckVisitedLinks();
  // The link target a link of this document stands for (the visited list's spelling).
  std::string LinkTarget(const std::string& Link);

  // ---- properties
  TColor DefBackground() const { return FBackground; }
  void SetDefBackground(TColor Value);
  std::string DefFontName = "Times New Roman";
  const std::string& DefPreFontName() const { return FPreFontName; }
  void SetDefPreFontName(const std::string& Value);
  int DefFontSize() const { return FFontSize; }
  void SetDefFontSize(int Value) { FFontSize = std::max(Value, 6); }
  TColor DefFontColor = clBtnText;
  TColor DefHotSpotColor = 0xFF0000;
  TColor DefOverLinkColor = 0xFF0000;
  TColor DefVisitedLinkColor = 0x800080;
  int VisitedMaxCount() const { return FVisitedMaxCount; }
  void SetVisitedMaxCount(int Value);
  int HistoryMaxCount() const { return FHistoryMaxCount; }
  void SetHistoryMaxCount(int Value);
  int ImageCacheCount() const { return FImageCacheCount; }
  void SetImageCacheCount(int Value);
  bool ViewImages() const { return FSectionList->ImagesShown; }
  void SetViewImages(bool Value);
  bool NoSelect() const { return FNoSelect; }
  void SetNoSelect(bool Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  THTMLBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(THTMLBorderStyle Value);
  int CharSet = DEFAULT_CHARSET;
  int MarginHeight = 5, MarginWidth = 10;
  const std::string& ServerRoot() const { return FServerRoot; }
  void SetServerRoot(const std::string& Value);
  double PrintMarginLeft = 2.0, PrintMarginRight = 2.0, PrintMarginTop = 2.0, PrintMarginBottom = 2.0;
  ThtmlViewerOptions htOptions() const { return FOptions; }
  void SetHtOptions(ThtmlViewerOptions Value);
  // The image cache a frames viewer shares between its frames (not owned, not cleared here).
  void SetImageCache(TStringBitmapList* Cache);
  void SetBaseEx(const std::string& Value) { FBase = FBaseEx = Value; }
  std::vector<std::vector<std::string>>* TakeFormData();
  void ReplaceFormData(std::vector<std::vector<std::string>>* Data);

  // ---- printing
  // Prints pages FromPage..ToPage of the document on the current printer (see vwprint.h).
  void Print(int FromPage, int ToPage);
  int PrintedPages() const { return FPage; }
  // The document row at which each page of the last print job began.
  const std::vector<int>& PrintedPageTops() const { return FPageTops; }

  // ---- events
  std::function<void(TObject* Sender, const std::string& SRC)> OnHotSpotCovered;
  std::function<void(TObject* Sender, const std::string& SRC, bool& Handled)> OnHotSpotClick;
  std::function<void(TObject* Sender, const std::string& Action, const std::string& Target,
                     const std::string& EncType, const std::string& Method, const std::vector<std::string>& Results)>
      OnFormSubmit;
  TNotifyEvent OnHistoryChange;
  std::function<void(TObject* Sender, bool ProcessingOn)> OnProcessing;
  std::function<void(TObject* Sender, TCanvas* Canvas, int NumPage, int W, int H, bool& StopPrinting)> OnPrintHeader,
      OnPrintFooter;
  std::function<void(TObject* Sender, int Page, bool& Done)> OnPrintProgress;
  std::function<void(TObject* Sender, const std::string& Command, const std::vector<std::string>& Params,
                     std::string& Buffer)>
      OnInclude;
  std::function<void(TObject* Sender, const std::string& SRC, int Loop, bool Terminate)> OnSoundRequest;
  std::function<void(TObject* Sender, const std::string& HttpEq, const std::string& Name, const std::string& Content)>
      OnMeta;
  std::function<void(TObject* Sender, int Delay, const std::string& URL)> OnMetaRefresh;
  std::function<void(TObject* Sender, void* Obj, TMouseButton Button, TShiftState Shift, int X, int Y)> OnImageClick;
  std::function<void(TObject* Sender, void* Obj, TShiftState Shift, int X, int Y)> OnImageOver;
  std::function<void(TObject* Sender, const TRightClickParameters& Parameters)> OnRightClick;
  TMouseEvent OnMouseDouble;
  std::function<void(TObject* Sender, std::string& Source)> OnParseBegin;
  std::function<void(TObject* Sender, const std::string& Name, const std::string& Language,
                     const std::string& Script)>
      OnScript;
  // Passed to the document (pictures from the program instead of files).
  void SetOnBitmapRequest(TBitmapRequestEvent E) { FSectionList->OnBitmapRequest = std::move(E); }
  void SetOnImageRequest(TImageRequestEvent E) { FSectionList->OnImageRequest = std::move(E); }
  void SetOnObjectClick(TObjectClickEvent E) { FSectionList->OnObjectClick = std::move(E); }
  void SetOnPanelCreate(decltype(TSectionList::OnPanelCreate) E) { FSectionList->OnPanelCreate = std::move(E); }
  void SetOnPanelDestroy(decltype(TSectionList::OnPanelDestroy) E) { FSectionList->OnPanelDestroy = std::move(E); }

  // ---- control
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  bool WantsKey(uint16_t Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;
  void DoEnter() override;
  void DoExit() override;
  // Resolves a link name to a file path (the frames viewer resolves through its frames).
  virtual std::string HTMLExpandFilename(const std::string& Filename);

  // Called by the drawing panel.
  void DrawPanel(TCanvas* Canvas);
  void PanelMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void PanelMouseMove(TShiftState Shift, int X, int Y);
  void PanelMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  void PanelDblClick();
  bool PanelWheel(int WheelDelta);
  // The hover check of the link-leave timer.
  void HotSpotTimer();
  // Scrolls so that document row Y is at the top (clamped).
  void ScrollTo(int Y);
  // Set when the pointer left the drawing panel (the link-leave timer then clears the hover).
  bool FMouseOutside = false;
  // The word under a panel point ("" when none).
  std::string WordAt(int X, int Y, int& Start, int& End);

 private:
  void LoadFile(const std::string& FileName, int FileType);
  void LoadDocument(const std::string& FileName, int FileType);
  void ResetDocument();
  // The document's fonts, colours and character set from the viewer's settings.
  void ApplyDefaults();
  void ParseSource(int FileType, const std::string& ImageName);
  void FinishLoad();
  void DoLayout();
  void DoScrollBars();
  void SetProcessing(bool Value);
  void AddHistory(const std::string& File, const std::string& Title, int FileType, int Pos,
                  std::vector<std::vector<std::string>>* FormData);
  void LinkClick();
  void ExtendSelection(int X, int Y);
  void AutoScroll();
  void MetaHandler(const std::string& HttpEq, const std::string& Name, const std::string& Content);
  void UpdateBorder();
  int PanelHeight() const;
  int PanelWidth() const;

  std::unique_ptr<TSectionList> FSectionList;
  std::unique_ptr<TStringBitmapList> FOwnCache;
  TStringBitmapList* FSharedCache = nullptr;
  TPanel* FBorderPanel = nullptr;
  TPaintPanel* FPaintPanel = nullptr;
  TScrollBar* FVScrollBar = nullptr;
  TScrollBar* FHScrollBar = nullptr;
  TTimer* FTimer = nullptr;
  std::unique_ptr<TBitmap> FMeasure;  // the canvas layout measures on

  std::string FCurrentFile, FTitle, FBase, FBaseEx, FBaseTarget, FDocumentSource, FURL, FTarget, FServerRoot;
  std::string FPreFontName = "Courier New";
  int FFileType = 0;
  bool FProcessing = false;
  bool FLayingOut = false;
  int FRefreshDelay = 0;
  std::string FRefreshURL;
  int FDocHeight = 0, FScrollWidth = 0;
  int FCaretPos = 0;
  int FSelAnchor = -1;
  bool FLeftButtonDown = false, FClickPending = false, FLinkClicked = false;
  bool FMiddleScroll = false;
  int FLastX = 0, FLastY = 0;
  bool FAutoScrolling = false;
  int FMiddleY = 0;
  TColor FBackground = clBtnFace;
  int FFontSize = 12;
  int FVisitedMaxCount = 50;
  int FHistoryMaxCount = 0;
  int FImageCacheCount = 5;
  bool FNoSelect = false;
  TScrollStyle FScrollBars = ssBoth;
  THTMLBorderStyle FBorderStyle = htFocused;
  ThtmlViewerOptions FOptions = htPrintTableBackground;
  bool FFocused = false;
  int FPage = 0;
  std::vector<int> FPageTops;
  TStringList FVisited, FHistory, FTitleHist;
  std::vector<std::unique_ptr<PositionObj>> FPositionHistory;
  int FHistoryIndex = 0;
  struct TSubmit {
    std::string Action, Target, EncType, Method;
    std::vector<std::string> Results;
  } FSubmit;
};

// Text written into HTML as it reads: & < > and " as entities.
std::string HtmlEscape(const std::string& Text);
// The CONTENT of a META refresh: the delay is the integer before the first ';' (0 becomes 1) and
// the URL what follows "url=" (any case; empty when none). False when there is no delay.
bool ParseRefreshContent(const std::string& Content, int& Delay, std::string& URL);
// A server root as stored: trimmed, without one trailing separator.
std::string ServerRootOf(const std::string& Value);

// WM_USER + 100: raises OnFormSubmit after the click that submitted the form.
constexpr unsigned wm_FormSubmit = WM_USER + 100;
