// The frames viewer and its panels: framesets read from FRAMESET documents, frames that load
// their documents (or nested framesets), sizes from ROWS and COLS, link targets between frames,
// visited links and the histories of frames and of whole framesets.
#include "htmlview/framview.h"

#include <algorithm>

#include "htmlview/htmlsection.h"
#include "htmlview/htmlsym.h"
#include "htmlview/imagecache.h"
#include "platform/core/fileutils.h"

namespace {

void SplitAt(const std::string& S, char C, std::string& Name, std::string& Rest) {
  const size_t P = S.find(C);
  Name = P == std::string::npos ? S : S.substr(0, P);
  Rest = P == std::string::npos ? std::string() : S.substr(P);
}

std::string Attr(const TAttributeList& A, Symb Sy, bool& Found) {
  TAttribute* T = nullptr;
  Found = A.Find(Sy, T);
  return Found ? T->Text : std::string();
}

bool IsImageName(const std::string& S) {
  const std::string E = LowerCase(ExtractFileExt(S)).substr(0, 5);
  return E == ".gif" || E == ".jpg" || E == ".jpeg" || E == ".bmp" || E == ".png";
}
bool IsTextName(const std::string& S) { return LowerCase(ExtractFileExt(S)).substr(0, 5) == ".txt"; }

TfvFrame* FrameOf(THTMLViewer* V) { return V ? dynamic_cast<TfvFrame*>(V->Owner()) : nullptr; }

TFrameSource FileSource(const std::string& Name) {
  TFrameSource S;
  S.Kind = 0;
  S.FileName = Name;
  return S;
}

// A size share that never divides by zero and is never negative.
int Share(int Value, int Numerator, int Denominator) {
  if (Denominator == 0) return 0;
  return std::max(0, MulDiv(Value, Numerator, Denominator));
}

}  // namespace

int ParseFrameDimensions(const std::string& Text, std::array<int, MaxFrameDims + 1>& Dims) {
  int Count = 0;
  size_t I = 0;
  const size_t N = Text.size();
  auto IsDigit = [](char C) { return C >= '0' && C <= '9'; };
  while (Count < MaxFrameDims) {
    while (I < N && Text[I] != '*' && Text[I] != ',' && !IsDigit(Text[I])) ++I;
    if (I >= N && Count > 0 && (N == 0 || Text.back() != ',')) break;
    ++Count;
    int& D = Dims[static_cast<size_t>(Count)];
    if (I >= N || !IsDigit(Text[I])) {
      D = -1;
      if (I < N && Text[I] == '*') ++I;
    } else {
      int64_t V = 0;
      int Digits = 0;
      while (I < N && IsDigit(Text[I])) {
        if (Digits < 20 && V < 100000) V = V * 10 + (Text[I] - '0');
        ++Digits;
        ++I;
      }
      const int Num = static_cast<int>(std::max<int64_t>(1, V));
      while (I < N && Text[I] != '%' && Text[I] != '*' && Text[I] != ',') ++I;
      if (I < N && Text[I] == '*') {
        D = -std::min(99, Num);
        ++I;
      } else if (I < N && Text[I] == '%') {
        D = -std::min(1000, Num + 100);
        ++I;
      } else {
        D = std::min(5000, Num);
      }
    }
    while (I < N && Text[I] != ',') ++I;
    if (I >= N) break;
    ++I;  // the comma
  }
  return Count;
}

std::vector<int> FrameSizes(const std::vector<int>& Dims, int Extent) {
  int Fixed = 0, Rel = 0, Pct = 0;
  for (int D : Dims) {
    if (D > 0)
      Fixed += D;
    else if (D >= -99)
      Rel += -D;
    else
      Pct += -D - 100;
  }
  std::vector<int> Sizes(Dims.size(), 0);
  const int Remain = Extent - Fixed;
  if (Remain > 0) {
    const int PctPix = std::min(Remain, Share(Extent, Pct, 100));
    const int Unit = Rel == 0 ? 0 : (Remain - PctPix) / Rel;
    for (size_t I = 0; I < Dims.size(); ++I) {
      const int D = Dims[I];
      Sizes[I] = D > 0 ? D : D >= -99 ? -D * Unit : Share(-D - 100, PctPix, Pct);
    }
  } else {
    for (size_t I = 0; I < Dims.size(); ++I) Sizes[I] = Dims[I] > 0 ? Share(Dims[I], Extent, Fixed) : 0;
  }
  return Sizes;
}

// ---- frame base ---------------------------------------------------------------------------------

TFrameBase::TFrameBase(TComponent* AOwner, TSubFrameSet* AOwnerSet, TFrameSet* AMaster)
    : TPanel(AOwner), LOwner(AOwnerSet), MasterSet(AMaster) {
  SetBevelOuter(bvNone);
  SetCaption("");
  SetParentColor(true);
}

// ---- frames -------------------------------------------------------------------------------------

TfvFrame::TfvFrame(TSubFrameSet* AOwnerSet, TFrameSet* AMaster, const TAttributeList* Attributes,
                   const std::string& Path)
    : TFrameBase(AOwnerSet, AOwnerSet, AMaster) {
  TFrameViewer* FV = AMaster->FrameViewer;
  MarginWidth = FV->MarginWidth();
  MarginHeight = FV->MarginHeight();
  if (AOwnerSet->FBorderWidth > 0) {
    SetBevelOuter(bvLowered);
    SetBevelWidth(AOwnerSet->FBorderWidth);
  }
  History.SetCaseSensitive(false);
  if (!Attributes) return;
  bool Found = false;
  std::string V = Attr(*Attributes, MarginWidthSy, Found);
  if (Found) MarginWidth = AttributeNumber(V);
  V = Attr(*Attributes, MarginHeightSy, Found);
  if (Found) MarginHeight = AttributeNumber(V);
  V = Attr(*Attributes, ScrollingSy, Found);
  if (Found && CompareText(V, "NO") == 0) NoScroll = true;
  Attr(*Attributes, NoResizeSy, Found);
  if (Found) NoResize = true;
  V = Attr(*Attributes, NameSy, Found);
  if (Found && !V.empty()) {
    WinName = V;
    const std::string Key = UpperCase(V);
    if (AMaster->FrameNames.IndexOf(Key) < 0) AMaster->FrameNames.AddObject(Key, this);
  }
  V = Attr(*Attributes, SrcSy, Found);
  if (Found) {
    std::string S;
    SplitAt(TrimText(V), '#', S, Destination);
    if (!FV->RequestMode()) S = ServerPathToDos(S, FV->ServerRoot());
    if (FV->RequestMode()) {
      // The program supplies the documents by the names as written.
    } else if (!S.empty() && S.find(':') == std::string::npos && S[0] != '\\' && S[0] != '/') {
      const std::string& Base = AMaster->FBase;
      if (Base.empty())
        S = ExpandFileName(ExtractFilePath(Path) + S);
      else if (CompareText(Base, "DosPath") != 0)
        S = ExpandFileName(ExtractFilePath(UrlToDosPath(Base)) + S);
      else
        S = ExpandFileName(S);
    } else if (!S.empty() && (S[0] == '\\' || S[0] == '/')) {
      S = ExpandFileName(S);
    }
    Source = OrigSource = S;
  }
}

TfvFrame::~TfvFrame() {
  TFrameSet* M = MasterSet;
  const int I = M->FrameNames.IndexOf(UpperCase(WinName));
  if (!WinName.empty() && I >= 0 && M->FrameNames.Objects(I) == this) M->FrameNames.Delete(I);
  M->Frames.erase(std::remove(M->Frames.begin(), M->Frames.end(), this), M->Frames.end());
  if (Viewer) {
    M->Viewers.erase(std::remove(M->Viewers.begin(), M->Viewers.end(), Viewer), M->Viewers.end());
    if (M->FActive == Viewer) M->FActive = nullptr;
    M->FrameViewer->ViewerProcessing(Viewer, false);
  }
  delete FrameSet;
  FrameSet = nullptr;
}

void TfvFrame::CreateViewer() {
  TFrameViewer* FV = MasterSet->FrameViewer;
  Viewer = new THTMLViewer(this);
  THTMLViewer* V = Viewer;
  V->SetVisible(false);
  V->SetParent(this);
  if (MasterSet->FBorderWidth == 0) V->SetBorderStyle(htNone);
  if (NoScroll) V->SetScrollBars(ssNone);
  V->SetDefBackground(FV->DefBackground());
  V->CharSet = FV->CharSet();
  V->SetImageCache(FV->ImageCache());
  V->SetImageCacheCount(FV->ImageCacheCount());
  V->SetNoSelect(FV->NoSelect());
  V->DefFontColor = FV->DefFontColor();
  V->DefHotSpotColor = FV->DefHotSpotColor();
  V->DefVisitedLinkColor = FV->DefVisitedLinkColor();
  V->DefOverLinkColor = FV->DefOverLinkColor();
  V->SetDefFontSize(FV->DefFontSize());
  V->DefFontName = FV->DefFontName();
  V->SetDefPreFontName(FV->DefPreFontName());
  V->SetCursor(FV->Cursor());
  V->SetHistoryMaxCount(FV->HistoryMaxCount());
  V->SetVisitedMaxCount(0);  // the frames viewer keeps the visited list
  V->PrintMarginLeft = FV->PrintMarginLeft();
  V->PrintMarginRight = FV->PrintMarginRight();
  V->PrintMarginTop = FV->PrintMarginTop();
  V->PrintMarginBottom = FV->PrintMarginBottom();
  V->SetServerRoot(FV->ServerRoot());
  V->MarginWidth = MarginWidth;
  V->MarginHeight = MarginHeight;
  ThtmlViewerOptions O = htPrintTableBackground;
  const TFrameViewerOptions F = FV->fvOptions();
  if (F & fvOverLinksActive) O |= htOverLinksActive;
  if (F & fvNoLinkUnderline) O |= htNoLinkUnderline;
  if (F & fvShowVScroll) O |= htShowVScroll;
  if (!(F & fvPrintTableBackground)) O &= ~htPrintTableBackground;
  V->SetHtOptions(O);
  V->SetViewImages(FV->ViewImages());
  V->OnHotSpotClick = [FV](TObject* S, const std::string& U, bool& H) { FV->HotSpotClick(S, U, H); };
  V->OnHotSpotCovered = [FV](TObject* S, const std::string& U) { FV->HotSpotCovered(S, U); };
  V->OnProcessing = [FV, V](TObject*, bool On) { FV->ViewerProcessing(V, On); };
  V->OnEnter = [this, V](TObject*) { MasterSet->FActive = V; };
  V->OnMeta = [FV](TObject* S, const std::string& H, const std::string& N, const std::string& C) {
    if (FV->OnMeta) FV->OnMeta(S, H, N, C);
  };
  V->OnMetaRefresh = [this](TObject*, int Delay, const std::string& URL) { MetaRefresh(Delay, URL); };
  V->OnPrintHeader = FV->OnPrintHeader;
  V->OnPrintFooter = FV->OnPrintFooter;
  FV->CopyEvents(V);
  if (FV->OnSoundRequest) V->OnSoundRequest = FV->OnSoundRequest;
  Resize();
  V->SetVisible(true);
  V->SendToBack();
  V->SetTabStop(true);
  MasterSet->Viewers.push_back(V);
}

void TfvFrame::Resize() {
  TFrameBase::Resize();
  // The viewer leaves the frame's bevel free, so that the frameset's lines can be taken there.
  const int B = BevelOuter() != bvNone ? BevelWidth() : 0;
  if (Viewer) Viewer->SetBounds(B, B, std::max(1, Width() - 2 * B), std::max(1, Height() - 2 * B));
}

void TfvFrame::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TFrameBase::MouseDown(Button, Shift, X, Y);
  LOwner->MouseDown(Button, Shift, X + Left(), Y + Top());
}
void TfvFrame::MouseMove(TShiftState Shift, int X, int Y) {
  TFrameBase::MouseMove(Shift, X, Y);
  LOwner->MouseMove(Shift, X + Left(), Y + Top());
  SetCursor(LOwner->Cursor());
}
void TfvFrame::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TFrameBase::MouseUp(Button, Shift, X, Y);
  LOwner->MouseUp(Button, Shift, X + Left(), Y + Top());
}

void TfvFrame::MetaRefresh(int Delay, const std::string& URL) {
  TFrameViewer* FV = MasterSet->FrameViewer;
  if (!(FV->fvOptions() & fvMetaRefresh)) return;
  RefreshFile = URL.empty() ? Source : Viewer ? Viewer->HTMLExpandFilename(URL) : FV->HTMLExpandFilename(URL, MasterSet);
  if (!FileExists(RefreshFile)) return;
  if (!RefreshTimer) {
    RefreshTimer = new TTimer(this);
    RefreshTimer->OnTimer = [this](TObject*) { RefreshTick(); };
  }
  RefreshTimer->SetEnabled(false);
  RefreshTimer->SetInterval(static_cast<unsigned>(std::min(Delay, 24 * 3600)) * 1000u);
  RefreshTimer->SetEnabled(true);
}

void TfvFrame::RefreshTick() {
  RefreshTimer->SetEnabled(false);
  if (UnLoaded) return;
  TFrameViewer* FV = MasterSet->FrameViewer;
  if (FV->Processing()) return;
  if (MasterSet->Viewers.size() > 1) {
    try {
      frLoadFromFile(RefreshFile, "", true, true);
    } catch (const Exception&) {
      ShowError();
    }
  } else if (CompareText(RefreshFile, MasterSet->FCurrentFile) != 0) {
    FV->LoadFromFile(RefreshFile);
  } else {
    FV->Reload();
  }
}

void TfvFrame::LoadViewerFrom(const TFrameSource& Src, const std::string& Dest) {
  Viewer->SetBaseEx(MasterSet->FBase);
  switch (Src.Kind) {
    case 1: Viewer->LoadFromBuffer(Src.Buffer, static_cast<int>(Src.Length)); break;
    case 2: {
      TStringList L;
      L.Assign(Src.Strings);
      Viewer->LoadFromStrings(&L);
      break;
    }
    case 3: Viewer->LoadFromStream(Src.Stream); break;
    default: Viewer->LoadFromFile(Src.FileName + Dest); return;
  }
  Viewer->PositionTo(Dest);
}

void TfvFrame::LoadViewer(const std::string& Name, const std::string& Dest) {
  Viewer->SetBaseEx(MasterSet->FBase);
  if (IsImageName(Name)) {
    Viewer->LoadImageDocument(Name);
  } else if (IsTextName(Name)) {
    Viewer->LoadTextFile(Name);
  } else {
    bool Answered = false;
    LoadViewerFrom(MasterSet->FrameViewer->DocumentSource(Name, Answered), Dest);
  }
}

void TfvFrame::ShowError() {
  if (!Viewer) CreateViewer();
  const std::string Page =
      ("<p><img src=\"qw%&.bmp\" alt=\"Error\"> Can't load " + HtmlEscape(Source)).substr(0, 255);
  Viewer->LoadFromBuffer(Page.data(), static_cast<int>(Page.size()));
}

void TfvFrame::LoadNestedFrameset() {
  FrameSet = new TSubFrameSet(this, LOwner, MasterSet);
  FrameSet->FBorderWidth = MasterSet->FBorderWidth;
  FrameSet->SetParent(this);
  FrameSet->SetAlign(alClient);
  SetBevelOuter(bvNone);
  bool Answered = false;
  TSubFrameSet* Set = FrameSet;
  const std::string Src = Source;
  std::string Title, Base;
  ParseFrameDocument(MasterSet->FrameViewer, static_cast<TSubFrameSet*>(FrameSet),
                     MasterSet->FrameViewer->DocumentSource(Source, Answered), &Title, &Base, &FrameSet->FBaseTarget,
                     MasterSet->FrameViewer->FramesetHandlers(Set, Src));
  if (!Base.empty()) FrameSet->FBase = Base;
  for (TFrameBase* F : FrameSet->List) F->LoadFiles();
  FrameSet->CalcSizes();
  bool Lower = false, Upper = false;
  FrameSet->CheckNoResize(Lower, Upper);
  FrameSet->StartRefresh();
}

void TfvFrame::LoadFiles() {
  if (Source.empty() || MasterSet->NestLevel >= MaxFrameNesting) return;
  ++MasterSet->NestLevel;
  try {
    bool Answered = false;
    const bool Plain = IsImageName(Source) || IsTextName(Source);
    const TFrameSource Src = Plain ? FileSource(Source) : MasterSet->FrameViewer->DocumentSource(Source, Answered);
    if (!Plain && IsFramesetDocument(Src)) {
      LoadNestedFrameset();
      History.InsertObject(0, Source, nullptr);
      PositionHistory.insert(PositionHistory.begin(), 0);
    } else {
      if (Src.Kind == 0 && !FileExists(Src.FileName)) throw EfvLoadError("Can't load: " + Source);
      CreateViewer();
      if (Plain)
        LoadViewer(Source, Destination);
      else
        LoadViewerFrom(Src, Destination);
      History.InsertObject(0, Source, nullptr);
      PositionHistory.insert(PositionHistory.begin(), Viewer->Position());
    }
  } catch (const Exception&) {
    delete FrameSet;
    FrameSet = nullptr;
    ShowError();
  }
  --MasterSet->NestLevel;
}

void TfvFrame::UnloadFiles() {
  if (RefreshTimer) RefreshTimer->SetEnabled(false);
  if (FrameSet) {
    FrameSet->UnloadFiles();
  } else if (Viewer) {
    FStoredPosition = Viewer->Position();
    FStoredFormData.reset(Viewer->TakeFormData());
    Viewer->Clear();
    Viewer->OnSoundRequest = nullptr;
  }
  UnLoaded = true;
}

void TfvFrame::ReloadFiles(int APosition) {
  if (FrameSet) {
    FrameSet->ReloadFiles(APosition);
  } else if (Viewer) {
    try {
      LoadViewer(Source, "");
      Viewer->SetPosition(APosition < 0 ? FStoredPosition : APosition);
      Viewer->ReplaceFormData(FStoredFormData.get());
    } catch (const Exception&) {
      ShowError();
    }
    FStoredFormData.reset();
  }
  UnLoaded = false;
}

bool TfvFrame::CheckNoResize(bool& Lower, bool& Upper) {
  Lower = Upper = NoResize;
  if (FrameSet) {
    bool L = false, U = false;
    FrameSet->CheckNoResize(L, U);
  }
  return NoResize;
}

void TfvFrame::BumpHistory(const std::string& NewName, int NewPos, int OldPos) {
  if (HistoryIndex < static_cast<int>(PositionHistory.size()))
    PositionHistory[static_cast<size_t>(HistoryIndex)] = OldPos;
  // Forward entries of every frame are dropped: a new document starts a new branch.
  for (TfvFrame* F : MasterSet->Frames) {
    for (int K = 0; K < F->HistoryIndex; ++K) {
      F->History.Delete(0);
      F->PositionHistory.erase(F->PositionHistory.begin());
    }
    F->HistoryIndex = 0;
  }
  History.InsertObject(0, NewName, nullptr);
  PositionHistory.insert(PositionHistory.begin(), NewPos);
  MasterSet->FrameViewer->FrameHistoryChanged();
}

void TfvFrame::frLoadFromFile(const std::string& Name, const std::string& Dest, bool Bump, bool Reload) {
  TFrameViewer* FV = MasterSet->FrameViewer;
  if (RefreshTimer) RefreshTimer->SetEnabled(false);
  const std::string OldName = Source;
  if (!Name.empty()) Source = Name;
  Destination = Dest;
  const bool SameName = CompareText(Source, OldName) == 0;
  const bool Plain = IsImageName(Source) || IsTextName(Source);
  bool IsFrameset = false;
  if (!Plain) {
    bool Answered = false;
    const TFrameSource Src = FV->DocumentSource(Source, Answered);
    if (Src.Kind == 0 && !FileExists(Src.FileName)) throw EfvLoadError("Can't load: " + Source);
    IsFrameset = IsFramesetDocument(Src);
  }
  if (SameName && FrameSet) {
    // Back to the nested frameset's first state.
    for (TFrameBase* B : FrameSet->List)
      if (auto* F = dynamic_cast<TfvFrame*>(B); F && CompareText(F->Source, F->OrigSource) != 0)
        F->frLoadFromFile(F->OrigSource, "", true, false);
    return;
  }
  if (SameName && Viewer && !IsFrameset) {
    if (Reload) {
      const int Pos = Viewer->Position();
      LoadViewer(Source, "");
      Viewer->SetPosition(Pos);
    } else {
      const int OldPos = Viewer->Position();
      Viewer->PositionTo(Dest);
      if (Bump && OldPos != Viewer->Position()) BumpHistory(Source, Viewer->Position(), OldPos);
    }
    FV->AddVisitedLink(Source + Dest);
    return;
  }
  if (!Viewer || IsFrameset) {
    TSubFrameSet* OldSet = FrameSet;
    THTMLViewer* OldViewer = Viewer;
    FrameSet = nullptr;
    Viewer = nullptr;
    if (OldSet) MasterSet->Detach(OldSet);
    try {
      if (IsFrameset) {
        LoadNestedFrameset();
      } else {
        CreateViewer();
        LoadViewer(Source, Dest);
      }
    } catch (const Exception&) {
      delete FrameSet;
      FrameSet = nullptr;
      ShowError();
    }
    BumpHistory(Source, Viewer ? Viewer->Position() : 0, 0);
    if (OldSet) {
      // The click that led here may come from a viewer inside the old frameset.
      OldSet->SetVisible(false);
      Application->ReleaseObject(OldSet);
    }
    if (OldViewer) {
      MasterSet->Viewers.erase(std::remove(MasterSet->Viewers.begin(), MasterSet->Viewers.end(), OldViewer),
                               MasterSet->Viewers.end());
      if (MasterSet->FActive == OldViewer) MasterSet->FActive = nullptr;
      OldViewer->SetVisible(false);
      Application->ReleaseObject(OldViewer);
    }
    return;
  }
  const int OldPos = Viewer->Position();
  LoadViewer(Source, Dest);
  FV->AddVisitedLink(Source + Dest);
  if (Bump && MasterSet->Viewers.size() > 1) BumpHistory(Source, Viewer->Position(), OldPos);
  if (Bump && MasterSet->Viewers.size() == 1) {
    MasterSet->FCurrentFile = Viewer->CurrentFile();
    MasterSet->FTitle = Viewer->DocumentTitle();
    MasterSet->FBase = Viewer->Base();
    MasterSet->FBaseTarget = Viewer->BaseTarget();
  }
}

// ---- framesets ----------------------------------------------------------------------------------

TSubFrameSet::TSubFrameSet(TComponent* AOwner, TSubFrameSet* AOwnerSet, TFrameSet* AMaster)
    : TFrameBase(AOwner, AOwnerSet, AMaster) {
  if (AMaster) FBorderWidth = AMaster->FBorderWidth;
}

void TSubFrameSet::AddFrame(const TAttributeList& Attributes, const std::string& Path) {
  if (static_cast<int>(List.size()) >= MaxFrameDims) return;
  auto* F = new TfvFrame(this, MasterSet, &Attributes, Path);
  F->SetParent(this);
  F->SetBounds(BorderSize, BorderSize, std::max(1, Width() - 2 * BorderSize), std::max(1, Height() - 2 * BorderSize));
  List.push_back(F);
  MasterSet->Frames.push_back(F);
}

TSubFrameSet* TSubFrameSet::CreateSubFrameset() {
  auto* S = new TSubFrameSet(this, this, MasterSet);
  S->SetParent(this);
  if (static_cast<int>(List.size()) >= MaxFrameDims) {
    // Read but never shown: the frameset has no room for another child.
    S->SetVisible(false);
    return S;
  }
  S->SetBounds(BorderSize, BorderSize, std::max(1, Width() - 2 * BorderSize), std::max(1, Height() - 2 * BorderSize));
  List.push_back(S);
  return S;
}

void TSubFrameSet::DoAttributes(const TAttributeList& Attributes) {
  bool Found = false;
  std::string V = Attr(Attributes, RowsSy, Found);
  if (Found) {
    Rows = true;
    NumDims = ParseFrameDimensions(V, Dim);
  }
  V = Attr(Attributes, ColsSy, Found);
  if (Found && NumDims <= 1) {
    Rows = false;
    NumDims = ParseFrameDimensions(V, Dim);
  }
  if (this == MasterSet && !(MasterSet->FrameViewer->fvOptions() & fvNoBorder)) {
    bool B1 = false, B2 = false;
    const std::string Border = Attr(Attributes, BorderSy, B1);
    const std::string FrameBorder = Attr(Attributes, FrameBorderSy, B2);
    if (B1 || B2) {
      FBorderWidth = std::max(0, AttributeNumber(B1 ? Border : FrameBorder));
      SetBevelWidth(std::max(2 - FBorderWidth, 0));
      SetBevelOuter(2 - FBorderWidth >= 1 ? bvLowered : bvNone);
    }
  }
}

void TSubFrameSet::EndFrameset() {
  const int N = static_cast<int>(List.size());
  for (int I = NumDims + 1; I <= std::min(N, MaxFrameDims); ++I) Dim[static_cast<size_t>(I)] = -1;
  NumDims = std::max(NumDims, std::min(N, MaxFrameDims));
  while (static_cast<int>(List.size()) < NumDims) {
    auto* F = new TfvFrame(this, MasterSet, nullptr, "");
    F->SetParent(this);
    List.push_back(F);
    MasterSet->Frames.push_back(F);
  }
  if (this == MasterSet) CalcSizes();
}

void TSubFrameSet::CalcSizes() {
  const int W = std::max(0, Width() - 2 * BorderSize), H = std::max(0, Height() - 2 * BorderSize);
  std::vector<int> Dims;
  for (size_t I = 0; I < List.size() && static_cast<int>(I) < NumDims; ++I) Dims.push_back(Dim[I + 1]);
  DimF = FrameSizes(Dims, Rows ? H : W);
  DimFTot = 0;
  for (int S : DimF) DimFTot += S;
  Lines.assign(1, BorderSize);
  int Pos = BorderSize;
  for (size_t I = 0; I < List.size(); ++I) {
    const int S = I < DimF.size() ? DimF[I] : 0;
    if (Rows)
      List[I]->SetBounds(BorderSize, Pos, W, S);
    else
      List[I]->SetBounds(Pos, BorderSize, S, H);
    Pos += S;
    Lines.push_back(Pos);
    if (auto* Sub = dynamic_cast<TSubFrameSet*>(List[I])) Sub->CalcSizes();
  }
}

void TSubFrameSet::Resize() {
  TPanel::Resize();
  if (!List.empty()) CalcSizes();
}

void TSubFrameSet::LoadFiles() {
  for (TFrameBase* F : List) F->LoadFiles();
}

void TSubFrameSet::ReloadFiles(int APosition) {
  for (TFrameBase* F : List) F->ReloadFiles(APosition);
  UnLoaded = false;
  StartRefresh();
}

void TSubFrameSet::FrameMeta(const std::string& HttpEq, const std::string& Name, const std::string& Content,
                             const std::string& Source) {
  TFrameViewer* FV = MasterSet->FrameViewer;
  if (FV->OnMeta) FV->OnMeta(FV, HttpEq, Name, Content);
  if (!(FV->fvOptions() & fvMetaRefresh) || CompareText(HttpEq, "refresh") != 0) return;
  int Delay = 0;
  std::string URL;
  if (!ParseRefreshContent(Content, Delay, URL)) return;
  RefreshDelay = Delay;
  // Without a URL the frameset's own document (already a path) is loaded again.
  FRefreshURL = URL;
  RefreshFile = URL.empty() ? Source : std::string();
}

void TSubFrameSet::StartRefresh() {
  if (RefreshDelay <= 0) return;
  if (RefreshFile.empty()) RefreshFile = MasterSet->FrameViewer->HTMLExpandFilename(FRefreshURL, MasterSet);
  if (!FileExists(RefreshFile)) return;
  if (!RefreshTimer) {
    RefreshTimer = new TTimer(this);
    RefreshTimer->OnTimer = [this](TObject*) { RefreshTick(); };
  }
  RefreshTimer->SetEnabled(false);
  RefreshTimer->SetInterval(static_cast<unsigned>(std::min(RefreshDelay, 24 * 3600)) * 1000u);
  RefreshTimer->SetEnabled(true);
}

void TSubFrameSet::RefreshTick() {
  RefreshTimer->SetEnabled(false);
  TFrameViewer* FV = MasterSet->FrameViewer;
  if (UnLoaded || FV->Processing()) return;
  if (this == MasterSet) {
    if (FV->CurFrameSet() == MasterSet) FV->LoadFromFile(RefreshFile);
  } else if (auto* Frame = dynamic_cast<TfvFrame*>(Owner())) {
    try {
      Frame->frLoadFromFile(RefreshFile, "", true, true);
    } catch (const Exception&) {
      // The document went away meanwhile: the frame keeps what it shows.
    }
  }
}

void TSubFrameSet::UnloadFiles() {
  if (RefreshTimer) RefreshTimer->SetEnabled(false);
  for (TFrameBase* F : List) F->UnloadFiles();
  if (MasterSet->FrameViewer->OnSoundRequest) MasterSet->FrameViewer->OnSoundRequest(MasterSet->FrameViewer, "", 0, true);
  UnLoaded = true;
}

bool TSubFrameSet::CheckNoResize(bool& Lower, bool& Upper) {
  Lower = Upper = false;
  LineNoResize.fill(false);
  for (size_t I = 0; I < List.size() && I < MaxFrameDims; ++I) {
    bool L = false, U = false;
    if (List[I]->CheckNoResize(L, U)) {
      // A frame that may not be resized fixes the lines on both of its sides.
      LineNoResize[I] = true;
      LineNoResize[I + 1] = true;
    }
  }
  return false;
}

int TSubFrameSet::LineAt(int P) const {
  int Best = 0, BestDist = 6;
  for (size_t I = 1; I + 1 < Lines.size() && I < LineNoResize.size(); ++I) {
    const int D = std::abs(Lines[I] - P);
    // Ties go to the line at or before the pointer.
    if (D < BestDist || (D == BestDist && Lines[I] <= P)) {
      Best = static_cast<int>(I);
      BestDist = D;
    }
  }
  if (Best == 0 || BestDist > 5 || LineNoResize[static_cast<size_t>(Best)]) return 0;
  return Best;
}

void TSubFrameSet::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TFrameBase::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  FDragLine = LineAt(Rows ? Y : X);
  FDragPos = Rows ? Y : X;
  if (FDragLine > 0) ShowDragBar();
}

void TSubFrameSet::ShowDragBar() {
  // A 2-pixel line across the frameset follows the pointer until the button is released.
  if (!FDragBar) {
    FDragBar = new TPanel(this);
    FDragBar->SetBevelOuter(bvNone);
    FDragBar->SetCaption("");
    FDragBar->SetParentColor(false);
    FDragBar->SetColor(clGray);
    FDragBar->SetParent(this);
  }
  if (Rows)
    FDragBar->SetBounds(0, FDragPos - 1, Width(), 2);
  else
    FDragBar->SetBounds(FDragPos - 1, 0, 2, Height());
  FDragBar->SetVisible(true);
  FDragBar->BringToFront();
}

void TSubFrameSet::MouseMove(TShiftState Shift, int X, int Y) {
  TFrameBase::MouseMove(Shift, X, Y);
  const int P = Rows ? Y : X;
  if (FDragLine > 0) {
    // The line stays between its neighbours, one pixel inside each.
    const size_t I = static_cast<size_t>(FDragLine);
    FDragPos = std::clamp(P, Lines[I - 1] + 1, std::max(Lines[I - 1] + 1, Lines[I + 1] - 1));
    ShowDragBar();
    return;
  }
  SetCursor(LineAt(P) > 0 ? (Rows ? crVSplit : crHSplit) : MasterSet->FrameViewer->Cursor());
}

void TSubFrameSet::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TFrameBase::MouseUp(Button, Shift, X, Y);
  if (FDragLine <= 0) return;
  MouseMove(Shift, X, Y);
  if (FDragBar) FDragBar->SetVisible(false);
  const size_t I = static_cast<size_t>(FDragLine);
  FDragLine = 0;
  Lines[I] = FDragPos;
  // The children keep the proportions of the new lines.
  const int Total = DimFTot, Last = Lines.back() - Lines.front();
  for (size_t K = 1; K < Lines.size() && K <= MaxFrameDims; ++K)
    Dim[K] = std::max(1, Share(Lines[K] - Lines[K - 1], Total, Last));
  CalcSizes();
  Invalidate();
}

void TSubFrameSet::ClearFrames() {
  std::vector<TFrameBase*> Old;
  Old.swap(List);
  for (TFrameBase* F : Old) delete F;
  NumDims = 0;
  Dim.fill(0);
}

TFrameSet::TFrameSet(TComponent* AOwner, TFrameViewer* AViewer)
    : TSubFrameSet(AOwner, nullptr, nullptr), FrameViewer(AViewer) {
  MasterSet = this;
  LOwner = nullptr;
  FBorderWidth = (AViewer->fvOptions() & fvNoBorder) ? 0 : 2;
  FrameNames.SetCaseSensitive(false);
  FrameNames.SetSorted(true);
}

TFrameSet::~TFrameSet() {
  // The frames go while the lists they leave still exist.
  Clear();
}

void TFrameSet::Detach(TSubFrameSet* Set) {
  auto Inside = [Set](const TComponent* C) {
    for (; C; C = C->Owner())
      if (C == Set) return true;
    return false;
  };
  for (int I = FrameNames.Count() - 1; I >= 0; --I)
    if (Inside(static_cast<TfvFrame*>(FrameNames.Objects(I)))) FrameNames.Delete(I);
  Frames.erase(std::remove_if(Frames.begin(), Frames.end(), Inside), Frames.end());
  Viewers.erase(std::remove_if(Viewers.begin(), Viewers.end(), Inside), Viewers.end());
  if (FActive && Inside(FActive)) FActive = nullptr;
}

void TFrameSet::Clear() {
  ClearFrames();
  // Framesets read but never shown (beyond the frame limit) go as well.
  // (The refresh timer stays: a refresh of the same file clears the frames from its own tick.)
  for (int I = ComponentCount() - 1; I >= 0; --I)
    if (!IsHelper(Components(I))) delete Components(I);
  FrameNames.Clear();
  Viewers.clear();
  Frames.clear();
  FTitle.clear();
  FCurrentFile.clear();
  FBaseTarget.clear();
  FActive = nullptr;
  if (RefreshTimer) RefreshTimer->SetEnabled(false);
  RefreshDelay = 0;
  RefreshFile.clear();
}

void TFrameSet::LoadFromFile(const std::string& FName, const std::string& Dest) {
  Clear();
  NestLevel = 0;
  const bool Plain = IsImageName(FName) || IsTextName(FName);
  bool Answered = false;
  const TFrameSource Src = Plain ? FileSource(FName) : FrameViewer->DocumentSource(FName, Answered);
  // A document the program supplied keeps its name as given.
  FCurrentFile = Answered ? FName : ExpandFileName(FName);
  if (!Plain && IsFramesetDocument(Answered ? Src : FileSource(FCurrentFile))) {
    std::string Title, Base, BaseTarget;
    const std::string Self = FCurrentFile;
    ParseFrameDocument(FrameViewer, static_cast<TSubFrameSet*>(this), Answered ? Src : FileSource(FCurrentFile), &Title,
                       &Base, &BaseTarget, FrameViewer->FramesetHandlers(this, Self));
    FTitle = Title;
    FBase = Base;
    FBaseTarget = BaseTarget;
    for (TFrameBase* F : List) F->LoadFiles();
    CalcSizes();
    StartRefresh();
  } else {
    auto* F = new TfvFrame(this, this, nullptr, "");
    F->SetParent(this);
    F->Source = F->OrigSource = FCurrentFile;
    F->Destination = Dest;
    List.push_back(F);
    Frames.push_back(F);
    EndFrameset();
    CalcSizes();
    F->LoadFiles();
    if (F->Viewer) {
      FTitle = F->Viewer->DocumentTitle();
      FBaseTarget = F->Viewer->BaseTarget();
    }
  }
  bool Lower = false, Upper = false;
  CheckNoResize(Lower, Upper);
}

// ---- the frames viewer --------------------------------------------------------------------------

TFrameViewer::TFrameViewer(TComponent* AOwner) : TFrameViewerBase(AOwner) {
  FImageCache = std::make_unique<TStringBitmapList>();
  FVisited.SetCaseSensitive(false);
  SetCursor(ThickIBeamCursor);
  SetColor(clBtnFace);
  SetBounds(0, 0, 150, 150);
  FCurFrameSet = new TFrameSet(this, this);
  FCurFrameSet->SetParent(this);
  FCurFrameSet->SetAlign(alClient);
  FCurFrameSet->BorderSize = 2;
  FCurFrameSet->SetBevelWidth(2);
  FCurFrameSet->SetBevelOuter(bvLowered);
}

TFrameViewer::~TFrameViewer() {
  // The framesets (and their viewers) go while the lists and the image cache they use still exist.
  for (int I = ComponentCount() - 1; I >= 0; --I) delete Components(I);
  FCurFrameSet = nullptr;
}

void TFrameViewer::SetProcessing(bool Value) {
  FProcessing = Value;
  const bool Now = Processing();
  if (Now != FReportedProcessing) {
    FReportedProcessing = Now;
    if (OnProcessing) OnProcessing(this, Now);
  }
}

void TFrameViewer::ViewerProcessing(THTMLViewer* Viewer, bool On) {
  auto It = std::find(FProcessList.begin(), FProcessList.end(), Viewer);
  if (On && It == FProcessList.end()) FProcessList.push_back(Viewer);
  if (!On && It != FProcessList.end()) FProcessList.erase(It);
  SetProcessing(FProcessing);
}

THTMLViewer* TFrameViewer::ActiveViewer() const {
  if (FCurFrameSet->Viewers.size() == 1) return FCurFrameSet->Viewers.front();
  return FCurFrameSet->FActive;
}

void TFrameViewer::SetFocus() {
  THTMLViewer* V = ActiveViewer();
  if (V && V->CanFocus())
    V->SetFocus();
  else
    TFrameViewerBase::SetFocus();
}

void TFrameViewer::LoadFromFile(const std::string& Name) {
  if (Processing()) return;
  std::string S, Dest;
  SplitAt(Name, '#', S, Dest);
  if (!FileExists(S)) throw EfvLoadError("Can't locate file: " + S);
  LoadFromFileInternal(S, Dest);
}

void TFrameViewer::LoadFromFileInternal(const std::string& Name, const std::string& Dest) {
  SetProcessing(true);
  try {
    const std::string OldFile = FCurFrameSet->FCurrentFile;
    FProcessList.clear();
    if (OnSoundRequest) OnSoundRequest(this, "", 0, true);
    const int OldPos = FCurFrameSet->Viewers.size() == 1 ? FCurFrameSet->Viewers.front()->Position() : 0;
    if (CompareText(ExpandFileName(Name), OldFile) != 0) {
      auto* FS = new TFrameSet(this, this);
      FS->SetVisible(false);
      FS->SetParent(this);
      FS->SetAlign(alClient);
      FS->BorderSize = FCurFrameSet->BorderSize;
      FS->SetBevelWidth(FCurFrameSet->BevelWidth());
      FS->SetBevelOuter(FCurFrameSet->BevelOuter());
      FS->SendToBack();
      FS->SetVisible(true);
      try {
        FS->LoadFromFile(Name, Dest);
      } catch (...) {
        delete FS;
        throw;
      }
      FCurFrameSet->UnloadFiles();
      FS->BringToFront();
      TFrameSet* Old = FCurFrameSet;
      FCurFrameSet = FS;
      Old->SetVisible(false);
      AddFrameSetHistory(Old, OldPos);
    } else {
      FCurFrameSet->LoadFromFile(Name, Dest);
      AddFrameSetHistory(nullptr, OldPos);
    }
    AddVisitedLink(ExpandFileName(Name) + Dest);
    CheckVisitedLinks();
  } catch (...) {
    SetProcessing(false);
    throw;
  }
  SetProcessing(false);
}

void TFrameViewer::AddFrameSetHistory(TFrameSet* Old, int OldPos) {
  // The history keeps names, titles and places; a replaced frameset is freed, since nothing
  // moves back into it.
  const std::string OldFile = Old ? Old->FCurrentFile : std::string();
  const std::string OldTitle = Old ? Old->FTitle : std::string();
  if (Old) Application->ReleaseObject(Old);
  if (FHistoryMaxCount < 1 || FCurFrameSet->FCurrentFile.empty()) return;
  if (FHistory.Count() > 0 && Old) {
    FHistory.SetStrings(FHistoryIndex, OldFile);
    FTitleHistory.SetStrings(FHistoryIndex, OldTitle);
    FPosHistory[static_cast<size_t>(FHistoryIndex)] = OldPos;
  }
  for (int K = 0; K < FHistoryIndex; ++K) {
    FHistory.Delete(0);
    FTitleHistory.Delete(0);
    FPosHistory.erase(FPosHistory.begin());
  }
  FHistoryIndex = 0;
  FHistory.Insert(0, FCurFrameSet->FCurrentFile);
  FTitleHistory.Insert(0, FCurFrameSet->FTitle);
  FPosHistory.insert(FPosHistory.begin(), 0);
  while (FHistory.Count() > FHistoryMaxCount) {
    FHistory.Delete(FHistory.Count() - 1);
    FTitleHistory.Delete(FTitleHistory.Count() - 1);
    FPosHistory.pop_back();
  }
  if (OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::FrameHistoryChanged() {
  if (OnHistoryChange) OnHistoryChange(this);
}

void TFrameViewer::ClearHistory() {
  bool Had = FHistory.Count() > 0;
  FHistory.Clear();
  FTitleHistory.Clear();
  FPosHistory.clear();
  FHistoryIndex = 0;
  for (TfvFrame* F : FCurFrameSet->Frames) {
    Had = Had || F->History.Count() > 0;
    F->History.Clear();
    F->PositionHistory.clear();
    F->HistoryIndex = 0;
  }
  if (Had && OnHistoryChange) OnHistoryChange(this);
}

bool TFrameViewer::FwdButtonEnabled() const {
  if (FHistoryIndex >= 1) return true;
  for (TfvFrame* F : FCurFrameSet->Frames)
    if (F->HistoryIndex >= 1) return true;
  return false;
}

bool TFrameViewer::BackButtonEnabled() const {
  if (FHistory.Count() - 2 >= FHistoryIndex) return true;
  for (TfvFrame* F : FCurFrameSet->Frames)
    if (F->History.Count() - 2 >= F->HistoryIndex) return true;
  return false;
}

TStringList* TFrameViewer::ViewerEdges() {
  FEdges.Clear();
  const TPoint Origin = FCurFrameSet->ClientOrigin();
  const int W = FCurFrameSet->Width(), H = FCurFrameSet->Height();
  for (THTMLViewer* V : FCurFrameSet->Viewers) {
    if (V->IsEmpty()) continue;
    auto* Frame = FrameOf(V);
    if (!Frame) continue;
    const TPoint P = Frame->ClientOrigin();
    const int L = P.X - Origin.X, T = P.Y - Origin.Y, R = L + Frame->Width(), B = T + Frame->Height();
    std::string E;
    if (L <= 2) E += 'l';
    if (T <= 2) E += 't';
    if (R >= W - 2) E += 'r';
    if (B >= H - 2) E += 'b';
    FEdges.AddObject(E, V);
  }
  return &FEdges;
}

void TFrameViewer::Reload() {
  SetProcessing(true);
  FProcessList.clear();
  FCurFrameSet->UnloadFiles();
  FCurFrameSet->ReloadFiles(-1);
  CheckVisitedLinks();
  SetProcessing(false);
}

void TFrameViewer::AddFrame(void* Frameset, const TAttributeList& Attributes, const std::string& Path) {
  static_cast<TSubFrameSet*>(Frameset)->AddFrame(Attributes, Path);
}
void* TFrameViewer::CreateSubFrameset(void* Frameset) {
  return static_cast<TSubFrameSet*>(Frameset)->CreateSubFrameset();
}
void TFrameViewer::DoAttributes(void* Frameset, const TAttributeList& Attributes) {
  static_cast<TSubFrameSet*>(Frameset)->DoAttributes(Attributes);
}
void TFrameViewer::EndFrameset(void* Frameset) { static_cast<TSubFrameSet*>(Frameset)->EndFrameset(); }

void TFrameViewer::HotSpotCovered(TObject* Sender, const std::string& URL) {
  auto* V = dynamic_cast<THTMLViewer*>(Sender);
  if (OnHotSpotTargetCovered) OnHotSpotTargetCovered(Sender, V ? V->Target() : std::string(), URL);
}

void TFrameViewer::HotSpotClick(TObject* Sender, const std::string& URL, bool& Handled) {
  if (Processing()) {
    Handled = true;
    return;
  }
  auto* V = dynamic_cast<THTMLViewer*>(Sender);
  TfvFrame* Frame = FrameOf(V);
  std::string Target = V ? V->Target() : std::string();
  if (Target.empty() && V) Target = V->BaseTarget();
  for (TSubFrameSet* S = Frame ? Frame->LOwner : nullptr; Target.empty() && S; S = S->LOwner)
    Target = S->FBaseTarget;
  if (OnHotSpotTargetClick) {
    OnHotSpotTargetClick(this, Target, URL, Handled);
    if (Handled) return;
  }
  Handled = true;
  std::string Rest, Dest, Name, Query;
  SplitAt(URL, '#', Rest, Dest);
  SplitAt(Rest, '?', Name, Query);
  if (!Name.empty() && V && !RequestMode()) Name = V->HTMLExpandFilename(Name);
  TfvFrame* DestFrame = nullptr;
  bool Top = false;
  int Found = -1;
  if (Target.empty() || CompareText(Target, "_self") == 0) {
    DestFrame = Frame;
    if (!DestFrame) return;
  } else if ((Found = FCurFrameSet->FrameNames.IndexOf(UpperCase(Target))) >= 0) {
    DestFrame = static_cast<TfvFrame*>(FCurFrameSet->FrameNames.Objects(Found));
  } else if (CompareText(Target, "_top") == 0) {
    Top = true;
  } else if (CompareText(Target, "_parent") == 0) {
    // The frame that holds the frameset of the viewer's frame, or the top frameset.
    for (TComponent* C = Frame ? Frame->LOwner : nullptr; C && !DestFrame && !Top; C = C->Owner()) {
      if (dynamic_cast<TFrameSet*>(C)) Top = true;
      DestFrame = dynamic_cast<TfvFrame*>(C);
    }
    Top = Top || !DestFrame;
  } else {
    if (OnBlankWindowRequest) {
      AddVisitedLink(Name + Query + Dest);
      CheckVisitedLinks();
      OnBlankWindowRequest(this, Target, URL);
    }
    return;
  }
  SetProcessing(true);
  try {
    if (DestFrame && FCurFrameSet->Viewers.size() == 1 && !Name.empty() &&
        CompareText(Name, FCurFrameSet->FCurrentFile) != 0)
      Top = true;
    if (Top) {
      if (!Name.empty()) LoadFromFileInternal(Name, Dest);
    } else {
      DestFrame->frLoadFromFile(Name, Dest, true, false);
    }
    if (!Query.empty()) AddVisitedLink(Name + Query + Dest);
    CheckVisitedLinks();
  } catch (...) {
    SetProcessing(false);
    throw;
  }
  SetProcessing(false);
}

TFrameSource TFrameViewer::DocumentSource(const std::string& Name, bool& Answered) {
  Answered = false;
  TFrameSource S = FileSource(Name);
  if (!RequestMode()) return S;
  Answered = true;
  TStrings* Strings = nullptr;
  if (OnStringsRequest) OnStringsRequest(this, Name, Strings);
  if (Strings) {
    S.Kind = 2;
    S.Strings = Strings;
    return S;
  }
  TStream* Stream = nullptr;
  if (OnStreamRequest) OnStreamRequest(this, Name, Stream);
  if (Stream) {
    S.Kind = 3;
    S.Stream = Stream;
    return S;
  }
  const char* Buffer = nullptr;
  int Size = 0;
  if (OnBufferRequest) OnBufferRequest(this, Name, Buffer, Size);
  if (Buffer && Size > 0) {
    // Kept here while the frame reads it.
    FRequestBuffer.assign(Buffer, static_cast<size_t>(Size));
    S.Kind = 1;
    S.Buffer = FRequestBuffer.data();
    S.Length = FRequestBuffer.size();
    return S;
  }
  std::string NewName;
  if (OnFileRequest) OnFileRequest(this, Name, NewName);
  if (!NewName.empty()) {
    S.FileName = NewName;
    return S;
  }
  // Unanswered: the name is a file after all.
  Answered = false;
  S.FileName = HTMLExpandFilename(Name);
  return S;
}

std::string TFrameViewer::HTMLExpandFilename(const std::string& Filename, TFrameSet* Set) {
  if (!Set) Set = FCurFrameSet;
  std::string S = ServerPathToDos(TrimText(Filename), FServerRoot);
  if ((S.size() > 1 && S[1] == ':') || S.rfind("\\\\", 0) == 0) return S;
  THTMLViewer* A = Set->Viewers.size() == 1 ? Set->Viewers.front() : Set->FActive;
  const std::string Base = A ? A->Base() : Set->FBase;
  if (CompareText(Base, "DosPath") == 0) return S;
  if (!Base.empty()) return ExpandFileName(ExtractFilePath(UrlToDosPath(Base)) + S);
  if (A) return A->HTMLExpandFilename(S);
  return ExpandFileName(ExtractFilePath(Set->FCurrentFile) + S);
}

void TFrameViewer::AddVisitedLink(const std::string& S) {
  if (FVisitedMaxCount == 0) return;
  const int I = FVisited.IndexOf(S);
  if (I == 0) return;
  if (I > 0) FVisited.Delete(I);
  FVisited.Insert(0, S);
  while (FVisited.Count() > FVisitedMaxCount) FVisited.Delete(FVisited.Count() - 1);
}

void TFrameViewer::CheckVisitedLinks() {
  if (FVisited.Count() == 0) return;
  for (THTMLViewer* V : FCurFrameSet->Viewers) {
    for (TFontObj* F : V->SectionList()->Links)
      if (!F->Url.empty() && FVisited.IndexOf(V->LinkTarget(F->Url)) >= 0) F->SetVisited(true);
    V->PaintPanel()->Invalidate();
  }
}

void TFrameViewer::SetVisitedMaxCount(int Value) {
  Value = std::max(Value, 0);
  if (Value == FVisitedMaxCount) return;
  FVisitedMaxCount = Value;
  while (FVisited.Count() > Value) FVisited.Delete(FVisited.Count() - 1);
  if (Value == 0)
    for (THTMLViewer* V : FCurFrameSet->Viewers) {
      for (TFontObj* F : V->SectionList()->Links) F->SetVisited(false);
      V->PaintPanel()->Invalidate();
    }
}

void TFrameViewer::SetHistoryMaxCount(int Value) {
  if (Value < 0 || Value == FHistoryMaxCount) return;
  ClearHistory();
  FHistoryMaxCount = Value;
  for (THTMLViewer* V : FCurFrameSet->Viewers) {
    V->ClearHistory();
    V->SetHistoryMaxCount(Value);
  }
}

void TFrameViewer::SetFvOptions(TFrameViewerOptions Value) {
  if ((Value & fvNoBorder) != (FOptions & fvNoBorder)) {
    if (Value & fvNoBorder) {
      FCurFrameSet->BorderSize = 0;
      FCurFrameSet->SetBevelOuter(bvNone);
    } else {
      FCurFrameSet->BorderSize = 2;
      FCurFrameSet->SetBevelWidth(2);
      FCurFrameSet->SetBevelOuter(bvLowered);
    }
    FCurFrameSet->FBorderWidth = (Value & fvNoBorder) ? 0 : 2;
  }
  FOptions = Value;
  for (THTMLViewer* V : FCurFrameSet->Viewers) {
    ThtmlViewerOptions O = V->htOptions() & ~(htOverLinksActive | htNoLinkUnderline | htPrintTableBackground | htShowVScroll);
    if (Value & fvOverLinksActive) O |= htOverLinksActive;
    if (Value & fvNoLinkUnderline) O |= htNoLinkUnderline;
    if (Value & fvPrintTableBackground) O |= htPrintTableBackground;
    if (Value & fvShowVScroll) O |= htShowVScroll;
    V->SetHtOptions(O);
  }
}

void TFrameViewer::ForEachViewer(const std::function<void(THTMLViewer*)>& Fn) {
  if (FCurFrameSet)
    for (THTMLViewer* V : FCurFrameSet->Viewers) Fn(V);
}

void TFrameViewer::SetViewImages(bool Value) {
  if (Value == FViewImages || Processing()) return;
  FViewImages = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->SetViewImages(Value); });
}
void TFrameViewer::SetImageCacheCount(int Value) {
  if (Value == FImageCacheCount || Processing()) return;
  FImageCacheCount = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->SetImageCacheCount(Value); });
}
void TFrameViewer::SetNoSelect(bool Value) {
  if (Value == FNoSelect) return;
  FNoSelect = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->SetNoSelect(Value); });
}
void TFrameViewer::SetDefBackground(TColor Value) {
  if (Value == FDefBackground) return;
  FDefBackground = Value;
  SetColor(Value);
  ForEachViewer([Value](THTMLViewer* V) { V->SetDefBackground(Value); });
}
void TFrameViewer::SetDefFontName(const std::string& Value) {
  if (CompareText(Value, FDefFontName) == 0) return;
  FDefFontName = Value;
  ForEachViewer([&Value](THTMLViewer* V) { V->DefFontName = Value; });
}
void TFrameViewer::SetDefPreFontName(const std::string& Value) {
  if (CompareText(Value, FDefPreFontName) == 0) return;
  FDefPreFontName = Value;
  ForEachViewer([&Value](THTMLViewer* V) { V->SetDefPreFontName(Value); });
}
void TFrameViewer::SetDefFontSize(int Value) {
  FDefFontSize = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->SetDefFontSize(Value); });
}
void TFrameViewer::SetDefFontColor(TColor Value) {
  FDefFontColor = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->DefFontColor = Value; });
}
void TFrameViewer::SetDefHotSpotColor(TColor Value) {
  FDefHotSpotColor = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->DefHotSpotColor = Value; });
}
void TFrameViewer::SetDefVisitedLinkColor(TColor Value) {
  if (Value == FDefVisitedLinkColor) return;
  FDefVisitedLinkColor = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->DefVisitedLinkColor = Value; });
}
void TFrameViewer::SetDefOverLinkColor(TColor Value) {
  FDefOverLinkColor = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->DefOverLinkColor = Value; });
}
void TFrameViewer::SetCharSet(int Value) {
  if (Value == FCharSet) return;
  FCharSet = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->CharSet = Value; });
}
void TFrameViewer::SetMarginWidth(int Value) {
  if (Value == FMarginWidth) return;
  FMarginWidth = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->MarginWidth = Value; });
}
void TFrameViewer::SetMarginHeight(int Value) {
  if (Value == FMarginHeight) return;
  FMarginHeight = Value;
  ForEachViewer([Value](THTMLViewer* V) { V->MarginHeight = Value; });
}
void TFrameViewer::SetPrintMargins(double Left, double Top, double Right, double Bottom) {
  FPrintMargins = {Left, Top, Right, Bottom};
  ForEachViewer([&](THTMLViewer* V) {
    V->PrintMarginLeft = Left;
    V->PrintMarginTop = Top;
    V->PrintMarginRight = Right;
    V->PrintMarginBottom = Bottom;
  });
}

void TFrameViewer::SetServerRoot(const std::string& Value) { FServerRoot = ServerRootOf(Value); }

TParseHandlers TFrameViewer::FramesetHandlers(TSubFrameSet* Set, const std::string& Source) {
  TParseHandlers H;
  H.OnMeta = [Set, Source](const std::string& HttpEq, const std::string& Name, const std::string& Content) {
    Set->FrameMeta(HttpEq, Name, Content, Source);
  };
  if (OnSoundRequest)
    H.OnSoundRequest = [this](const std::string& Src, int Loop) { OnSoundRequest(this, Src, Loop, false); };
  if (FOnScript)
    H.OnScript = [this](const std::string& Name, const std::string& Language, const std::string& Script) {
      FOnScript(this, Name, Language, Script);
    };
  if (FOnInclude)
    H.OnInclude = [this](const std::string& Command, const std::vector<std::string>& Params, std::string& Buffer) {
      FOnInclude(this, Command, Params, Buffer);
    };
  return H;
}

void TFrameViewer::CopyEvents(THTMLViewer* V) const {
  V->OnImageClick = FOnImageClick;
  V->OnImageOver = FOnImageOver;
  V->OnRightClick = FOnRightClick;
  V->OnMouseDouble = FOnMouseDouble;
  V->OnInclude = FOnInclude;
  V->OnScript = FOnScript;
  V->OnParseBegin = FOnParseBegin;
  V->OnFormSubmit = FOnFormSubmit;
  V->SetOnBitmapRequest(FOnBitmapRequest);
  V->SetOnImageRequest(FOnImageRequest);
  V->SetOnObjectClick(FOnObjectClick);
  V->SetOnPanelCreate(FOnPanelCreate);
  V->SetOnPanelDestroy(FOnPanelDestroy);
}
void TFrameViewer::SetOnImageClick(decltype(THTMLViewer::OnImageClick) E) {
  FOnImageClick = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnImageClick = FOnImageClick; });
}
void TFrameViewer::SetOnImageOver(decltype(THTMLViewer::OnImageOver) E) {
  FOnImageOver = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnImageOver = FOnImageOver; });
}
void TFrameViewer::SetOnRightClick(decltype(THTMLViewer::OnRightClick) E) {
  FOnRightClick = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnRightClick = FOnRightClick; });
}
void TFrameViewer::SetOnMouseDouble(TMouseEvent E) {
  FOnMouseDouble = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnMouseDouble = FOnMouseDouble; });
}
void TFrameViewer::SetOnInclude(decltype(THTMLViewer::OnInclude) E) {
  FOnInclude = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnInclude = FOnInclude; });
}
void TFrameViewer::SetOnScript(decltype(THTMLViewer::OnScript) E) {
  FOnScript = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnScript = FOnScript; });
}
void TFrameViewer::SetOnParseBegin(decltype(THTMLViewer::OnParseBegin) E) {
  FOnParseBegin = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnParseBegin = FOnParseBegin; });
}
void TFrameViewer::SetOnFormSubmit(decltype(THTMLViewer::OnFormSubmit) E) {
  FOnFormSubmit = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->OnFormSubmit = FOnFormSubmit; });
}
void TFrameViewer::SetOnBitmapRequest(TBitmapRequestEvent E) {
  FOnBitmapRequest = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->SetOnBitmapRequest(FOnBitmapRequest); });
}
void TFrameViewer::SetOnImageRequest(TImageRequestEvent E) {
  FOnImageRequest = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->SetOnImageRequest(FOnImageRequest); });
}
void TFrameViewer::SetOnObjectClick(TObjectClickEvent E) {
  FOnObjectClick = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->SetOnObjectClick(FOnObjectClick); });
}
void TFrameViewer::SetOnPanelCreate(decltype(TSectionList::OnPanelCreate) E) {
  FOnPanelCreate = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->SetOnPanelCreate(FOnPanelCreate); });
}
void TFrameViewer::SetOnPanelDestroy(decltype(TSectionList::OnPanelDestroy) E) {
  FOnPanelDestroy = std::move(E);
  ForEachViewer([this](THTMLViewer* V) { V->SetOnPanelDestroy(FOnPanelDestroy); });
}
