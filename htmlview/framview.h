#pragma once
// The frames viewer: shows an HTML file that may be a FRAMESET through a tree of panels (the top
// frameset, nested framesets and frames, each frame with its own HTML viewer), resolves link
// targets between frames and keeps a visited list and histories.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/htmlbuilder.h"
#include "htmlview/htmlview.h"
#include "platform/gui/stdctrls.h"

class TFrameViewer;
class TFrameSet;
class TSubFrameSet;
class TfvFrame;

using TFrameViewerOptions = unsigned;
constexpr TFrameViewerOptions fvMetaRefresh = 1, fvNoBorder = 2, fvOverLinksActive = 4, fvNoLinkUnderline = 8,
                              fvPrintTableBackground = 16, fvShowVScroll = 32;

// The most frames and dimensions a FRAMESET has; more FRAME, FRAMESET or ROWS/COLS items are ignored.
constexpr int MaxFrameDims = 20;
// Frame loads nest at most this deep (a frameset that loads itself stops there).
constexpr int MaxFrameNesting = 4;

// Reads a ROWS or COLS value: pixels as positive numbers, "N*" as -N (a bare "*" is -1), "N%" as
// -(100 + N). At most MaxFrameDims items; returns the count.
int ParseFrameDimensions(const std::string& Text, std::array<int, MaxFrameDims + 1>& Dims);
// The sizes of the frames along an extent: pixels first, percentages from what remains, the rest
// shared by the weights. Never negative.
std::vector<int> FrameSizes(const std::vector<int>& Dims, int Extent);

class TFrameBase : public TPanel {
 public:
  TFrameBase(TComponent* AOwner, TSubFrameSet* AOwnerSet, TFrameSet* AMaster);
  TSubFrameSet* LOwner;
  TFrameSet* MasterSet;
  bool UnLoaded = false;
  virtual void LoadFiles() = 0;
  virtual void ReloadFiles(int APosition) = 0;
  virtual void UnloadFiles() = 0;
  virtual bool CheckNoResize(bool& Lower, bool& Upper) = 0;
};

class TfvFrame : public TFrameBase {
 public:
  TfvFrame(TSubFrameSet* AOwnerSet, TFrameSet* AMaster, const TAttributeList* Attributes, const std::string& Path);
  ~TfvFrame() override;
  std::string WinName, Source, OrigSource, Destination;
  int MarginWidth = 10, MarginHeight = 5;
  bool NoScroll = false, NoResize = false;
  THTMLViewer* Viewer = nullptr;
  TSubFrameSet* FrameSet = nullptr;  // a nested frameset shown instead of a viewer
  // The frame's own history: sources and positions, newest first.
  TStringList History;
  std::vector<int> PositionHistory;
  int HistoryIndex = 0;

  void LoadFiles() override;
  void ReloadFiles(int APosition) override;
  void UnloadFiles() override;
  bool CheckNoResize(bool& Lower, bool& Upper) override;
  // Loads a new document into the frame in place (a link target); Bump records history.
  void frLoadFromFile(const std::string& Name, const std::string& Dest, bool Bump, bool Reload);
  void CreateViewer();
  // A META refresh of the frame's document: fires once, then loads RefreshFile.
  TTimer* RefreshTimer = nullptr;
  std::string RefreshFile;
  void Resize() override;
  // Presses and moves on the frame's border belong to the frameset's lines.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  void LoadViewer(const std::string& Name, const std::string& Dest);
  void LoadViewerFrom(const TFrameSource& Src, const std::string& Dest);
  void MetaRefresh(int Delay, const std::string& URL);
  void RefreshTick();
  void LoadNestedFrameset();
  void ShowError();
  void BumpHistory(const std::string& NewName, int NewPos, int OldPos);
  int FStoredPosition = 0;
  std::unique_ptr<std::vector<std::vector<std::string>>> FStoredFormData;
};

class TSubFrameSet : public TFrameBase {
 public:
  TSubFrameSet(TComponent* AOwner, TSubFrameSet* AOwnerSet, TFrameSet* AMaster);
  std::vector<TFrameBase*> List;  // children in document order (owned as components)
  bool Rows = false;
  int NumDims = 0;
  std::array<int, MaxFrameDims + 1> Dim{};  // 1-based
  std::vector<int> DimF;                     // computed sizes per child
  int DimFTot = 0;
  std::vector<int> Lines;                    // cumulative ends, for border hit tests
  std::array<bool, MaxFrameDims + 1> LineNoResize{};
  int BorderSize = 0;
  int FBorderWidth = 2;
  std::string FBase, FBaseTarget;
  // A META refresh of the frameset document: once its frames are loaded, RefreshFile is loaded
  // after RefreshDelay seconds (by the enclosing frame, or by the frames viewer for the top).
  int RefreshDelay = 0;
  std::string RefreshFile;
  TTimer* RefreshTimer = nullptr;
  // The META handler of the frameset document; Source stands in for a refresh without a URL.
  void FrameMeta(const std::string& HttpEq, const std::string& Name, const std::string& Content,
                 const std::string& Source);
  void StartRefresh();

  void AddFrame(const TAttributeList& Attributes, const std::string& Path);
  TSubFrameSet* CreateSubFrameset();
  void DoAttributes(const TAttributeList& Attributes);
  void EndFrameset();
  // Computes the sizes for the current client size and places the children.
  void CalcSizes();
  void Resize() override;
  void LoadFiles() override;
  void ReloadFiles(int APosition) override;
  void UnloadFiles() override;
  bool CheckNoResize(bool& Lower, bool& Upper) override;
  void ClearFrames();
  // Dragging the lines between the children (client coordinates of this frameset).
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // The inner line (1 .. children - 1) within 5 pixels of P that may move, else 0.
  int LineAt(int P) const;
  int DragLine() const { return FDragLine; }
  // The line shown at the pointer while a border is dragged (nullptr before the first drag).
  TPanel* DragBar() const { return FDragBar; }
  // The refresh timer and the drag line: owned components that outlive a clear of the frames.
  bool IsHelper(const TComponent* C) const { return C == RefreshTimer || C == FDragBar; }

 private:
  void RefreshTick();
  void ShowDragBar();
  std::string FRefreshURL;
  TPanel* FDragBar = nullptr;
  int FDragLine = 0;
  int FDragPos = 0;
};

class TFrameSet : public TSubFrameSet {
 public:
  TFrameSet(TComponent* AOwner, TFrameViewer* AViewer);
  ~TFrameSet() override;
  TFrameViewer* FrameViewer;
  std::string FTitle, FCurrentFile;
  TStringList FrameNames;  // upper-cased names with their frames
  std::vector<THTMLViewer*> Viewers;
  std::vector<TfvFrame*> Frames;
  THTMLViewer* FActive = nullptr;
  int NestLevel = 0;
  void LoadFromFile(const std::string& FName, const std::string& Dest);
  void Clear();
  // Takes the frames and viewers inside Set out of the lists (Set is about to go).
  void Detach(TSubFrameSet* Set);
};

class TFrameViewer : public TFrameViewerBase {
 public:
  explicit TFrameViewer(TComponent* AOwner);
  ~TFrameViewer() override;

  void LoadFromFile(const std::string& Name);
  void Reload();
  int ViewerCount() const { return static_cast<int>(FCurFrameSet->Viewers.size()); }
  THTMLViewer* Viewers(int Index) const { return FCurFrameSet->Viewers.at(static_cast<size_t>(Index)); }
  THTMLViewer* ActiveViewer() const;
  // The focus goes to the active frame's viewer when it can take it, else to this control.
  void SetFocus();
  TFrameSet* CurFrameSet() const { return FCurFrameSet; }
  bool Processing() const { return FProcessing || !FProcessList.empty(); }
  const std::string& DocumentTitle() const { return FCurFrameSet->FTitle; }
  const std::string& CurrentFile() const { return FCurFrameSet->FCurrentFile; }
  bool FwdButtonEnabled() const;
  bool BackButtonEnabled() const;
  TStringList* History() { return &FHistory; }
  TStringList* VisitedList() { return &FVisited; }
  void ClearHistory();
  TStringBitmapList* ImageCache() { return FImageCache.get(); }
  // One entry per viewer with a document: the letters l, t, r, b of the edges of its frame that lie
  // on (within 2 pixels of) the same edge of the whole frameset; the viewer is the entry's object.
  TStringList* ViewerEdges();

  // Display settings: each frame viewer takes them when it is made, and a change reaches every
  // frame viewer shown.
  bool ViewImages() const { return FViewImages; }
  void SetViewImages(bool Value);
  int ImageCacheCount() const { return FImageCacheCount; }
  void SetImageCacheCount(int Value);
  bool NoSelect() const { return FNoSelect; }
  void SetNoSelect(bool Value);
  TColor DefBackground() const { return FDefBackground; }
  void SetDefBackground(TColor Value);
  const std::string& DefFontName() const { return FDefFontName; }
  void SetDefFontName(const std::string& Value);
  const std::string& DefPreFontName() const { return FDefPreFontName; }
  void SetDefPreFontName(const std::string& Value);
  int DefFontSize() const { return FDefFontSize; }
  void SetDefFontSize(int Value);
  TColor DefFontColor() const { return FDefFontColor; }
  void SetDefFontColor(TColor Value);
  TColor DefHotSpotColor() const { return FDefHotSpotColor; }
  void SetDefHotSpotColor(TColor Value);
  TColor DefVisitedLinkColor() const { return FDefVisitedLinkColor; }
  void SetDefVisitedLinkColor(TColor Value);
  TColor DefOverLinkColor() const { return FDefOverLinkColor; }
  void SetDefOverLinkColor(TColor Value);
  int CharSet() const { return FCharSet; }
  void SetCharSet(int Value);
  int MarginWidth() const { return FMarginWidth; }
  void SetMarginWidth(int Value);
  int MarginHeight() const { return FMarginHeight; }
  void SetMarginHeight(int Value);
  // Print margins in centimetres: left, top, right, bottom.
  double PrintMarginLeft() const { return FPrintMargins[0]; }
  double PrintMarginTop() const { return FPrintMargins[1]; }
  double PrintMarginRight() const { return FPrintMargins[2]; }
  double PrintMarginBottom() const { return FPrintMargins[3]; }
  void SetPrintMargins(double Left, double Top, double Right, double Bottom);
  int VisitedMaxCount() const { return FVisitedMaxCount; }
  void SetVisitedMaxCount(int Value);
  int HistoryMaxCount() const { return FHistoryMaxCount; }
  void SetHistoryMaxCount(int Value);
  TFrameViewerOptions fvOptions() const { return FOptions; }
  void SetFvOptions(TFrameViewerOptions Value);
  const std::string& ServerRoot() const { return FServerRoot; }
  void SetServerRoot(const std::string& Value);

  std::function<void(TObject* Sender, const std::string& Target, const std::string& URL)> OnHotSpotTargetCovered;
  std::function<void(TObject* Sender, const std::string& Target, const std::string& URL, bool& Handled)>
      OnHotSpotTargetClick;
  std::function<void(TObject* Sender, const std::string& Target, const std::string& URL)> OnBlankWindowRequest;
  TNotifyEvent OnHistoryChange;
  std::function<void(TObject* Sender, bool ProcessingOn)> OnProcessing;
  std::function<void(TObject* Sender, const std::string& SRC, int Loop, bool Terminate)> OnSoundRequest;
  std::function<void(TObject* Sender, const std::string& HttpEq, const std::string& Name, const std::string& Content)>
      OnMeta;
  std::function<void(TObject* Sender, TCanvas* Canvas, int NumPage, int W, int H, bool& StopPrinting)> OnPrintHeader,
      OnPrintFooter;
  // Events of the frame viewers (the frame viewer is the Sender): each setter stores the handler
  // and gives it to every frame viewer shown; new frame viewers take it when they are made.
  const decltype(THTMLViewer::OnImageClick)& OnImageClick() const { return FOnImageClick; }
  void SetOnImageClick(decltype(THTMLViewer::OnImageClick) E);
  const decltype(THTMLViewer::OnImageOver)& OnImageOver() const { return FOnImageOver; }
  void SetOnImageOver(decltype(THTMLViewer::OnImageOver) E);
  const decltype(THTMLViewer::OnRightClick)& OnRightClick() const { return FOnRightClick; }
  void SetOnRightClick(decltype(THTMLViewer::OnRightClick) E);
  const TMouseEvent& OnMouseDouble() const { return FOnMouseDouble; }
  void SetOnMouseDouble(TMouseEvent E);
  const decltype(THTMLViewer::OnInclude)& OnInclude() const { return FOnInclude; }
  void SetOnInclude(decltype(THTMLViewer::OnInclude) E);
  const decltype(THTMLViewer::OnScript)& OnScript() const { return FOnScript; }
  void SetOnScript(decltype(THTMLViewer::OnScript) E);
  const decltype(THTMLViewer::OnParseBegin)& OnParseBegin() const { return FOnParseBegin; }
  void SetOnParseBegin(decltype(THTMLViewer::OnParseBegin) E);
  const decltype(THTMLViewer::OnFormSubmit)& OnFormSubmit() const { return FOnFormSubmit; }
  void SetOnFormSubmit(decltype(THTMLViewer::OnFormSubmit) E);
  const TBitmapRequestEvent& OnBitmapRequest() const { return FOnBitmapRequest; }
  void SetOnBitmapRequest(TBitmapRequestEvent E);
  const TImageRequestEvent& OnImageRequest() const { return FOnImageRequest; }
  void SetOnImageRequest(TImageRequestEvent E);
  const TObjectClickEvent& OnObjectClick() const { return FOnObjectClick; }
  void SetOnObjectClick(TObjectClickEvent E);
  const decltype(TSectionList::OnPanelCreate)& OnPanelCreate() const { return FOnPanelCreate; }
  void SetOnPanelCreate(decltype(TSectionList::OnPanelCreate) E);
  const decltype(TSectionList::OnPanelDestroy)& OnPanelDestroy() const { return FOnPanelDestroy; }
  void SetOnPanelDestroy(decltype(TSectionList::OnPanelDestroy) E);
  // Gives a new frame viewer the event handlers above.
  void CopyEvents(THTMLViewer* V) const;
  // What the reader of Set's frameset document (Source) tells this control: META elements go to
  // Set, background sounds, scripts and include directives to this control's events.
  TParseHandlers FramesetHandlers(TSubFrameSet* Set, const std::string& Source);
  // Documents from the program instead of files: asked in this order, the first answer counts.
  std::function<void(TObject* Sender, const std::string& SRC, TStrings*& Strings)> OnStringsRequest;
  std::function<void(TObject* Sender, const std::string& SRC, TStream*& Stream)> OnStreamRequest;
  std::function<void(TObject* Sender, const std::string& SRC, const char*& Buffer, int& BuffSize)> OnBufferRequest;
  std::function<void(TObject* Sender, const std::string& SRC, std::string& NewName)> OnFileRequest;
  bool RequestMode() const { return OnStringsRequest || OnStreamRequest || OnBufferRequest || OnFileRequest; }
  // The document a source name stands for: the request events' answer in request mode, else the
  // file of that name. Answered tells whether an event answered.
  TFrameSource DocumentSource(const std::string& Name, bool& Answered);

  // The factory operations the frameset reader calls.
  void AddFrame(void* Frameset, const TAttributeList& Attributes, const std::string& Path) override;
  void* CreateSubFrameset(void* Frameset) override;
  void DoAttributes(void* Frameset, const TAttributeList& Attributes) override;
  void EndFrameset(void* Frameset) override;

  // Used by the frames.
  void HotSpotClick(TObject* Sender, const std::string& URL, bool& Handled);
  void HotSpotCovered(TObject* Sender, const std::string& URL);
  void ViewerProcessing(THTMLViewer* Viewer, bool On);
  void AddVisitedLink(const std::string& S);
  void CheckVisitedLinks();
  void FrameHistoryChanged();
  // Resolves a frame's image or text source against the active base.
  // Set is the frameset being resolved for (the current one when none is given).
  std::string HTMLExpandFilename(const std::string& Filename, TFrameSet* Set = nullptr);

 private:
  void LoadFromFileInternal(const std::string& Name, const std::string& Dest);
  void AddFrameSetHistory(TFrameSet* Old, int OldPos);
  void SetProcessing(bool Value);
  TFrameSet* FCurFrameSet = nullptr;
  std::unique_ptr<TStringBitmapList> FImageCache;
  bool FProcessing = false;
  std::vector<THTMLViewer*> FProcessList;
  TStringList FVisited, FHistory, FTitleHistory;
  std::vector<int> FPosHistory;
  int FHistoryIndex = 0;
  int FVisitedMaxCount = 50;
  int FHistoryMaxCount = 0;
  TFrameViewerOptions FOptions = fvPrintTableBackground;
  std::string FServerRoot;
  bool FReportedProcessing = false;
  std::string FRequestBuffer;
  void ForEachViewer(const std::function<void(THTMLViewer*)>& Fn);
  bool FViewImages = true;
  int FImageCacheCount = 5;
  bool FNoSelect = false;
  TColor FDefBackground = clBtnFace;
  std::string FDefFontName = "Times New Roman", FDefPreFontName = "Courier New";
  int FDefFontSize = 12;
  TColor FDefFontColor = clBtnText;
  TColor FDefHotSpotColor = 0xFF0000, FDefVisitedLinkColor = 0x800080, FDefOverLinkColor = 0xFF0000;
  int FCharSet = DEFAULT_CHARSET;
  int FMarginWidth = 10, FMarginHeight = 5;
  std::array<double, 4> FPrintMargins{2.0, 2.0, 2.0, 2.0};
  TStringList FEdges;
  decltype(THTMLViewer::OnImageClick) FOnImageClick;
  decltype(THTMLViewer::OnImageOver) FOnImageOver;
  decltype(THTMLViewer::OnRightClick) FOnRightClick;
  TMouseEvent FOnMouseDouble;
  decltype(THTMLViewer::OnInclude) FOnInclude;
  decltype(THTMLViewer::OnScript) FOnScript;
  decltype(THTMLViewer::OnParseBegin) FOnParseBegin;
  decltype(THTMLViewer::OnFormSubmit) FOnFormSubmit;
  TBitmapRequestEvent FOnBitmapRequest;
  TImageRequestEvent FOnImageRequest;
  TObjectClickEvent FOnObjectClick;
  decltype(TSectionList::OnPanelCreate) FOnPanelCreate;
  decltype(TSectionList::OnPanelDestroy) FOnPanelDestroy;
};
