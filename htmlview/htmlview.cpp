// The HTML viewer control: the road of a document from its source to the screen, scrolling,
// the mouse (links, selection, images), history and visited links.
#include "htmlview/htmlview.h"

#include <algorithm>

#include "htmlview/htmlbuilder.h"
#include "htmlview/htmlfonts.h"
#include "htmlview/htmlforms.h"
#include "htmlview/htmlimages.h"
#include "htmlview/imagecache.h"
#include "platform/core/fileutils.h"
#include "platform/gui/controls.h"

namespace {

constexpr unsigned wm_AutoScroll = WM_USER + 102;
constexpr int MaxScrollWidth = 6000;
constexpr int SmallV = 16, SmallH = 15;

// The name before the first '#' and what follows it (with or without the '#').
void SplitDest(const std::string& S, std::string& Name, std::string& Dest, bool KeepHash) {
  const size_t P = S.find('#');
  if (P == std::string::npos) {
    Name = S;
    Dest.clear();
  } else {
    Name = S.substr(0, P);
    Dest = S.substr(KeepHash ? P : P + 1);
  }
}

std::string ReadTextFile(const std::string& Name) {
  TFileStream S(Name, fmOpenRead | fmShareDenyWrite);
  std::string Text(static_cast<size_t>(std::max<int64_t>(0, S.Size())), '\0');
  if (!Text.empty()) Text.resize(static_cast<size_t>(S.Read(Text.data(), S.Size())));
  return Text;
}

bool IsWordChar(char C) {
  const unsigned char U = static_cast<unsigned char>(C);
  return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || U >= 192;
}

// The HTML of a document that shows one picture; the name is written as an attribute value.
std::string ImageDocument(const std::string& Name) { return ("<img src=\"" + HtmlEscape(Name) + "\">").substr(0, 255); }

}  // namespace

std::string HtmlEscape(const std::string& Text) {
  std::string R;
  for (char C : Text) {
    switch (C) {
      case '&': R += "&amp;"; break;
      case '"': R += "&quot;"; break;
      case '<': R += "&lt;"; break;
      case '>': R += "&gt;"; break;
      default: R += C;
    }
  }
  return R;
}

std::string ServerRootOf(const std::string& Value) {
  std::string S = Trim(Value);
  if (!S.empty() && (S.back() == '\\' || S.back() == '/')) S.pop_back();
  return S;
}

// ---- drawing panel ------------------------------------------------------------------------------

TPaintPanel::TPaintPanel(TComponent* AOwner, THTMLViewer* AViewer) : TCustomControl(AOwner), Viewer(AViewer) {
  SetEraseBackground(false);
  SetControlStyle(ControlStyle() | csDoubleClicks);
}
void TPaintPanel::Paint() { Viewer->DrawPanel(Canvas()); }
void TPaintPanel::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // The press of a double click belongs to the double click alone.
  if (Shift & ssDouble) return;
  TCustomControl::MouseDown(Button, Shift, X, Y);
  Viewer->PanelMouseDown(Button, Shift, X, Y);
}
void TPaintPanel::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  Viewer->PanelMouseMove(Shift, X, Y);
}
void TPaintPanel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  Viewer->PanelMouseUp(Button, Shift, X, Y);
}
void TPaintPanel::DblClick() {
  TCustomControl::DblClick();
  Viewer->PanelDblClick();
}
void TPaintPanel::MouseLeave() {
  TCustomControl::MouseLeave();
  Viewer->FMouseOutside = true;
}
bool TPaintPanel::DoMouseWheel(TShiftState, int WheelDelta, TPoint) { return Viewer->PanelWheel(WheelDelta); }

// ---- construction -------------------------------------------------------------------------------

THTMLViewer::THTMLViewer(TComponent* AOwner) : TWinControl(AOwner) {
  InstallViewerCursors();
  FMeasure = std::make_unique<TBitmap>();
  FMeasure->SetSize(8, 8);
  FBorderPanel = new TPanel(this);
  FBorderPanel->SetParent(this);
  FBorderPanel->SetBevelOuter(bvNone);
  FBorderPanel->SetParentColor(true);
  FBorderPanel->SetAlign(alClient);
  FPaintPanel = new TPaintPanel(this, this);
  FPaintPanel->SetParent(this);
  FPaintPanel->SetBounds(1, 1, 100, 100);
  FVScrollBar = new TScrollBar(this);
  FVScrollBar->SetKind(sbVertical);
  FVScrollBar->SetSmallChange(SmallV);
  FVScrollBar->SetTabStop(false);
  FVScrollBar->SetParent(this);
  FVScrollBar->SetVisible(false);
  FVScrollBar->SetWidth(16);
  FVScrollBar->OnScroll = [this](TObject*, TScrollCode Code, int& Pos) {
    int Y = FSectionList->ScrollY;
    switch (Code) {
      case scLineUp: Y -= SmallV; break;
      case scLineDown: Y += SmallV; break;
      case scPageUp: Y -= std::max(1, PanelHeight() - 16); break;
      case scPageDown: Y += std::max(1, PanelHeight() - 16); break;
      case scTop: Y = 0; break;
      case scBottom: Y = FDocHeight - PanelHeight(); break;
      case scTrack: case scPosition: Y = Pos; break;
      default: break;
    }
    ScrollTo(Y);
    Pos = FSectionList->ScrollY;
  };
  FHScrollBar = new TScrollBar(this);
  FHScrollBar->SetKind(sbHorizontal);
  FHScrollBar->SetSmallChange(SmallH);
  FHScrollBar->SetTabStop(false);
  FHScrollBar->SetParent(this);
  FHScrollBar->SetVisible(false);
  FHScrollBar->OnScroll = [this](TObject*, TScrollCode Code, int& Pos) {
    int X = FHScrollBar->Position();
    switch (Code) {
      case scLineUp: X -= SmallH; break;
      case scLineDown: X += SmallH; break;
      case scPageUp: X -= FHScrollBar->LargeChange(); break;
      case scPageDown: X += FHScrollBar->LargeChange(); break;
      case scTop: X = 0; break;
      case scBottom: X = FHScrollBar->Max(); break;
      default: X = Pos;
    }
    SetHScrollBarPosition(X);
    Pos = FHScrollBar->Position();
  };
  FSectionList = std::make_unique<TSectionList>(this, FPaintPanel);
  FSectionList->OnBackgroundChange = [this] { SetColor(static_cast<TColor>(FSectionList->Background & 0xFFFFFF)); };
  FSectionList->OnFormSubmit = [this](TObject*, const std::string& Action, const std::string& Target,
                                      const std::string& EncType, const std::string& Method,
                                      const std::vector<std::string>& Results) {
    FSubmit = TSubmit{Action, Target, EncType, Method, Results};
    PostMessage(wm_FormSubmit);
  };
  FSectionList->OnControlEnter = [this](TFormControlObj* C) {
    const int Top = C->YPosition();
    const int Y = FSectionList->ScrollY;
    if (Top < Y || Top > Y + PanelHeight() - 20) ScrollTo(Top - PanelHeight() / 2);
  };
  FSectionList->ExpandName = [this](const std::string& Name) {
    if (FCurrentFile.empty() && FBase.empty()) return Name;
    return HTMLExpandFilename(Name);
  };
  FSectionList->PrintTableBackground = true;
  FVisited.SetCaseSensitive(false);
  FTimer = new TTimer(this);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(200);
  FTimer->OnTimer = [this](TObject*) { HotSpotTimer(); };
  SetCursor(ThickIBeamCursor);
  SetColor(clBtnFace);
  SetTabStop(true);
  SetBounds(0, 0, 150, 150);
}

THTMLViewer::~THTMLViewer() {
  // The document goes first: its form controls and panels live on the drawing panel.
  FSectionList.reset();
}

void THTMLViewer::SetProcessing(bool Value) {
  if (FProcessing == Value) return;
  FProcessing = Value;
  if (OnProcessing) OnProcessing(this, Value);
}

// ---- loading ------------------------------------------------------------------------------------

void THTMLViewer::ApplyDefaults() {
  FSectionList->SetDefaults(DefFontName, FPreFontName, FFontSize, ColorToRGB(DefFontColor), ColorToRGB(DefHotSpotColor),
                            ColorToRGB(DefVisitedLinkColor), ColorToRGB(DefOverLinkColor),
                            (FOptions & htOverLinksActive) != 0, ColorToRGB(FBackground),
                            static_cast<uint8_t>(CharSet), (FOptions & htNoLinkUnderline) == 0);
}

void THTMLViewer::ResetDocument() {
  if (!FSharedCache && !FOwnCache) {
    FOwnCache = std::make_unique<TStringBitmapList>();
    FOwnCache->SetMaxAge(FImageCacheCount);
  }
  FSectionList->ImageCache = FSharedCache ? FSharedCache : FOwnCache.get();
  FSectionList->Clear();
  FSectionList->SetScroll(0);
  ApplyDefaults();
  FSectionList->MarginWidth = MarginWidth;
  FSectionList->MarginHeight = MarginHeight;
  FSectionList->PrintTableBackground = (FOptions & htPrintTableBackground) != 0;
}

void THTMLViewer::ParseSource(int FileType, const std::string& ImageName) {
  TMyFont Font;
  Font.SetName(DefFontName);
  Font.SetSize(FFontSize);
  Font.SetColor(ColorToRGB(DefFontColor));
  Font.SetCharset(CharSet);
  if (FileType == 1) {
    ParsePlainText(FDocumentSource, FSectionList.get(), Font);
    return;
  }
  if (FileType == 2) {
    ParseHtmlDocument(ImageDocument(ImageName), FSectionList.get(), Font);
    return;
  }
  TParseHandlers H;
  H.OnMeta = [this](const std::string& HttpEq, const std::string& Name, const std::string& Content) {
    MetaHandler(HttpEq, Name, Content);
  };
  if (OnSoundRequest)
    H.OnSoundRequest = [this](const std::string& Src, int Loop) { OnSoundRequest(this, Src, Loop, false); };
  if (OnInclude)
    H.OnInclude = [this](const std::string& Command, const std::vector<std::string>& Params, std::string& Buffer) {
      OnInclude(this, Command, Params, Buffer);
    };
  if (OnScript)
    H.OnScript = [this](const std::string& Name, const std::string& Language, const std::string& Script) {
      OnScript(this, Name, Language, Script);
    };
  H.OnStyleSheet = [this](const std::string& Href, std::string& Sheet, std::string& BasePath) {
    if (FCurrentFile.empty() && FBase.empty()) return false;
    const std::string Path = HTMLExpandFilename(Href);
    if (!FileExists(Path)) return false;
    Sheet = ReadTextFile(Path);
    BasePath = ExtractFilePath(Path);
    return true;
  };
  ParseHtmlDocument(FDocumentSource, FSectionList.get(), Font, H);
}

void THTMLViewer::FinishLoad() {
  FTitle = FSectionList->Title;
  FBase = !FSectionList->BaseURL.empty() ? FSectionList->BaseURL : FBaseEx;
  FBaseTarget = FSectionList->BaseTarget;
  FLayingOut = true;
  try {
    DoLayout();
  } catch (...) {
    FLayingOut = false;
    throw;
  }
  FLayingOut = false;
}

void THTMLViewer::MetaHandler(const std::string& HttpEq, const std::string& Name, const std::string& Content) {
  if (OnMeta) OnMeta(this, HttpEq, Name, Content);
  if (!OnMetaRefresh || CompareText(HttpEq, "refresh") != 0) return;
  int Delay = 0;
  std::string URL;
  if (!ParseRefreshContent(Content, Delay, URL)) return;
  FRefreshURL = URL;
  FRefreshDelay = Delay;
}

bool ParseRefreshContent(const std::string& Content, int& Delay, std::string& URL) {
  const std::string Num = Trim(Content.substr(0, Content.find(';')));
  if (Num.empty() || Num.size() >= 9 ||
      !std::all_of(Num.begin(), Num.end(), [](char C) { return C >= '0' && C <= '9'; }))
    return false;
  Delay = std::max(1, std::stoi(Num));
  const size_t U = LowerCase(Content).find("url=");
  URL = U == std::string::npos ? std::string() : Content.substr(U + 4);
  return true;
}

void THTMLViewer::LoadFile(const std::string& FileName, int FileType) {
  const TCursor OldCursor = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  std::string Name, Dest;
  SplitDest(FileName, Name, Dest, false);
  Dest = Dest.substr(0, 255);
  FRefreshDelay = 0;
  const int OldY = FSectionList->ScrollY;
  SetProcessing(true);
  try {
    if (!FileExists(Name)) throw EfvLoadError("Can't locate file: " + Name);
    ResetDocument();
    FCaretPos = 0;
    FSelAnchor = -1;
    const std::string OldFile = FCurrentFile;
    FCurrentFile = ExpandFileName(Name);
    FFileType = FileType;
    if (FileType != 2) {
      FDocumentSource = ReadTextFile(Name);
      if (OnParseBegin) OnParseBegin(this, FDocumentSource);
    } else {
      FDocumentSource.clear();
    }
    if (FileType == 0 && OnSoundRequest) OnSoundRequest(this, "", 0, true);
    ParseSource(FileType, Name);
    FinishLoad();
    CheckVisitedLinks();
    if (Dest.empty() || !PositionTo(Dest)) {
      if (CompareText(OldFile, FCurrentFile) != 0) {
        ScrollTo(0);
        SetHScrollBarPosition(0);
      } else {
        ScrollTo(OldY);
      }
    }
    FPaintPanel->Invalidate();
  } catch (...) {
    if (Screen) Screen->SetCursor(OldCursor);
    FRefreshDelay = 0;
    SetProcessing(false);
    throw;
  }
  if (Screen) Screen->SetCursor(OldCursor);
  SetProcessing(false);
  if (FRefreshDelay > 0 && OnMetaRefresh) OnMetaRefresh(this, FRefreshDelay, FRefreshURL);
}

void THTMLViewer::LoadDocument(const std::string& FileName, int FileType) {
  if (FProcessing || FileName.empty()) return;
  const std::string OldFile = FCurrentFile, OldTitle = FTitle;
  const int OldPos = Position();
  const int OldType = FFileType;
  auto* FormData = new std::vector<std::vector<std::string>>(FSectionList->SaveFormState());
  try {
    LoadFile(FileName, FileType);
  } catch (...) {
    delete FormData;
    throw;
  }
  if (OldFile != FCurrentFile || OldType != FFileType)
    AddHistory(OldFile, OldTitle, OldType, OldPos, FormData);
  else
    delete FormData;
}

void THTMLViewer::LoadFromFile(const std::string& FileName) { LoadDocument(FileName, 0); }
void THTMLViewer::LoadTextFile(const std::string& FileName) { LoadDocument(FileName, 1); }
void THTMLViewer::LoadImageDocument(const std::string& FileName) { LoadDocument(FileName, 2); }

void THTMLViewer::LoadFromStrings(TStrings* Strings) {
  std::string Text;
  if (Strings)
    for (int I = 0; I < Strings->Count(); ++I) Text += Strings->Strings(I) + "\r\n";
  LoadFromBuffer(Text.data(), static_cast<int>(Text.size()));
}

void THTMLViewer::LoadFromStream(TStream* Stream) {
  std::string Text;
  if (Stream) {
    TMemoryStream M;
    Stream->SetPosition(0);
    M.CopyFrom(Stream, 0);
    Text.assign(reinterpret_cast<const char*>(M.Memory()), static_cast<size_t>(M.Size()));
  }
  LoadFromBuffer(Text.data(), static_cast<int>(Text.size()));
}

void THTMLViewer::LoadFromBuffer(const char* Buffer, int BufSize) {
  if (FProcessing) return;
  SetProcessing(true);
  FRefreshDelay = 0;
  try {
    ResetDocument();
    FCaretPos = 0;
    FSelAnchor = -1;
    if (OnSoundRequest) OnSoundRequest(this, "", 0, true);
    FDocumentSource.assign(Buffer ? Buffer : "", Buffer && BufSize > 0 ? static_cast<size_t>(BufSize) : 0);
    if (OnParseBegin) OnParseBegin(this, FDocumentSource);
    FCurrentFile.clear();
    FFileType = 0;
    ParseSource(0, "");
    FinishLoad();
    ScrollTo(0);
    SetHScrollBarPosition(0);
    FPaintPanel->Invalidate();
  } catch (...) {
    SetProcessing(false);
    throw;
  }
  SetProcessing(false);
  if (FRefreshDelay > 0 && OnMetaRefresh) OnMetaRefresh(this, FRefreshDelay, FRefreshURL);
}

void THTMLViewer::Clear() {
  if (FProcessing) return;
  FTimer->SetEnabled(false);
  FSectionList->Clear();
  FSectionList->SetScroll(0);
  if (FOwnCache) FOwnCache->Clear();
  ApplyDefaults();
  FBase.clear();
  FBaseEx.clear();
  FBaseTarget.clear();
  FTitle.clear();
  FCurrentFile.clear();
  FDocumentSource.clear();
  FDocHeight = 0;
  FScrollWidth = 0;
  FVScrollBar->SetParams(0, 0, 0);
  FVScrollBar->SetVisible(false);
  FHScrollBar->SetVisible(false);
  DoScrollBars();
  FCaretPos = 0;
  FSelAnchor = -1;
  if (OnSoundRequest) OnSoundRequest(this, "", 0, true);
  FPaintPanel->Invalidate();
}

bool THTMLViewer::PositionTo(std::string Dest) {
  if (!Dest.empty() && Dest[0] == '#') Dest.erase(0, 1);
  if (Dest.empty()) return false;
  const int I = FSectionList->IDNameList.IndexOf(UpperCase(Dest));
  if (I < 0) return false;
  if (TIDObject* Obj = FSectionList->IDNameList.Objects(I)) ScrollTo(Obj->YPosition());
  SetHScrollBarPosition(0);
  AddVisited(FCurrentFile + "#" + Dest);
  return true;
}

void THTMLViewer::Relayout() {
  if (FProcessing) return;
  SetProcessing(true);
  const int Pos = Position();
  try {
    DoLayout();
  } catch (...) {
    SetProcessing(false);
    throw;
  }
  SetPosition(Pos);
  SetProcessing(false);
  FPaintPanel->Invalidate();
}

// ---- positions and scrolling --------------------------------------------------------------------

int THTMLViewer::Position() {
  const int Y = FSectionList->ScrollY;
  int Top = 0, Index = 0;
  if (FSectionList->SectionAtY(Y, Top, Index)) return ((Index + 1) << 16) + ((Y - Top) & 0xFFFF);
  return Y;
}

void THTMLViewer::SetPosition(int Value) {
  const int High = (Value >> 16) & 0xFFFF;
  if (High == 0) {
    ScrollTo(Value);
    return;
  }
  const size_t Index = static_cast<size_t>(High - 1);
  if (Index < FSectionList->PositionList.size())
    ScrollTo(FSectionList->PositionList[Index]->YPosition() + (Value & 0xFFFF));
}

int THTMLViewer::VScrollBarPosition() const { return FSectionList->ScrollY; }

void THTMLViewer::SetVScrollBarPosition(int Value) {
  Value = std::clamp(Value, 0, std::max(0, FDocHeight - PanelHeight()));
  if (Value != FSectionList->ScrollY) ScrollTo(Value);
}

int THTMLViewer::HScrollBarPosition() const { return FHScrollBar->Position(); }

void THTMLViewer::SetHScrollBarPosition(int Value) {
  const int Max = std::max(0, FScrollWidth - PanelWidth());
  FHScrollBar->SetPosition(std::clamp(Value, 0, Max));
  FPaintPanel->Invalidate();
}

int THTMLViewer::PanelHeight() const { return FPaintPanel->Height(); }
int THTMLViewer::PanelWidth() const { return FPaintPanel->Width(); }

void THTMLViewer::ScrollTo(int Y) {
  Y = std::clamp(Y, 0, std::max(0, FDocHeight - PanelHeight()));
  FVScrollBar->SetPosition(Y);
  FSectionList->SetScroll(Y);
  FPaintPanel->Invalidate();
}

void THTMLViewer::DoLayout() {
  FScrollWidth = 0;
  int W = Width() - (FBorderStyle == htNone ? 1 : 3);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth) W -= FVScrollBar->Width();
  int Curs = 0, MaxWidth = 0;
  FDocHeight = FSectionList->Arrange(FMeasure->Canvas(), 0, Curs, MaxWidth, 0, std::max(W, 1));
  FScrollWidth = MaxWidth;
  DoScrollBars();
  if (Cursor() == crIBeam) SetCursor(ThickIBeamCursor);
}

void THTMLViewer::DoScrollBars() {
  const int B = FBorderStyle != htNone ? 1 : 0;
  const int SBW = FVScrollBar->Width();
  const int W = Width(), H = Height();
  FScrollWidth = std::min(FScrollWidth, MaxScrollWidth);
  FBorderPanel->SetVisible(B == 1);
  const bool VAllowed = FScrollBars == ssVertical || FScrollBars == ssBoth;
  const bool HAllowed = FScrollBars == ssHorizontal || FScrollBars == ssBoth;
  const bool ShowV = (FOptions & htShowVScroll) != 0;
  bool VNeeded = false, VShown = false, HNeeded = false;
  if (VAllowed) {
    VNeeded = !(FDocHeight < H - 2 && (!HAllowed || FDocHeight < H - 2 - SBW || FScrollWidth <= W - SBW));
    VShown = VNeeded || ShowV;
    HNeeded = HAllowed && (W < FScrollWidth || (VShown && W - SBW < FScrollWidth));
  } else {
    HNeeded = HAllowed && W < FScrollWidth;
  }
  const int EW = VShown ? W - SBW : W;
  FPaintPanel->SetBounds(B, B, std::max(1, EW - 2 * B), std::max(1, H - 2 * B - (HNeeded ? SBW : 0)));
  FHScrollBar->SetVisible(HNeeded);
  FHScrollBar->SetBounds(B, H - SBW - B, std::max(1, EW - 2 * B), SBW);
  FHScrollBar->SetPageSize(std::max(1, PanelWidth()));
  FHScrollBar->SetParams(FHScrollBar->Position(), 0, std::max(FScrollWidth, EW - 2 * B));
  FHScrollBar->SetLargeChange(std::max(1, EW - 20));
  FVScrollBar->SetBounds(W - SBW - B, B, SBW, std::max(1, H - 2 * B));
  FVScrollBar->SetVisible(VAllowed && (VShown || ShowV));
  FVScrollBar->SetEnabled(VNeeded || !ShowV);
  FVScrollBar->SetPageSize(PanelHeight() + 1);
  FVScrollBar->SetParams(FSectionList->ScrollY, 0, std::max(0, FDocHeight));
  FVScrollBar->SetLargeChange(std::max(1, PanelHeight() - 16));
}

void THTMLViewer::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!FSectionList) return;
  if (FProcessing) {
    DoScrollBars();
  } else {
    const int Pos = Position();
    DoLayout();
    SetPosition(Pos);
  }
  ScrollTo(FSectionList->ScrollY);
  SetHScrollBarPosition(FHScrollBar->Position());
}

// ---- painting -----------------------------------------------------------------------------------

void THTMLViewer::UpdateBorder() {
  const bool Show = FBorderStyle == htSingle || (FBorderStyle == htFocused && FFocused);
  FBorderPanel->SetBorderStyle(Show ? bsSingleBorder : bsNoBorder);
}

void THTMLViewer::DrawPanel(TCanvas* Canvas) {
  if (!FLayingOut) UpdateBorder();
  const int HP = FHScrollBar->Position();
  const TRect R(0, 0, PanelWidth(), PanelHeight());
  Canvas->SetWindowOrg(HP, 0);
  FSectionList->PaintDocument(Canvas, TRect(R.Left + HP, R.Top, std::min(R.Right, MaxScrollWidth) + HP, R.Bottom));
  Canvas->SetWindowOrg(0, 0);
}

void THTMLViewer::DoEnter() {
  FFocused = true;
  TWinControl::DoEnter();
  UpdateBorder();
}

void THTMLViewer::DoExit() {
  FFocused = false;
  TWinControl::DoExit();
  UpdateBorder();
}

// ---- keys and mouse -----------------------------------------------------------------------------

bool THTMLViewer::WantsKey(uint16_t Key, TShiftState Shift) {
  switch (Key) {
    case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT: case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END:
      return true;
    default: return TWinControl::WantsKey(Key, Shift);
  }
}

void THTMLViewer::KeyDown(uint16_t& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (FMiddleScroll) {
    FMiddleScroll = false;
    FPaintPanel->SetCursor(Cursor());
    return;
  }
  int Y = FSectionList->ScrollY;
  const int Large = std::max(1, PanelHeight() - 16);
  switch (Key) {
    case VK_PRIOR: Y -= Large; break;
    case VK_NEXT: Y += Large; break;
    case VK_HOME: Y = 0; break;
    case VK_END: Y = FDocHeight; break;
    case VK_UP: Y -= SmallV; break;
    case VK_DOWN: Y += SmallV; break;
    case VK_LEFT: SetHScrollBarPosition(FHScrollBar->Position() - SmallH); return;
    case VK_RIGHT: SetHScrollBarPosition(FHScrollBar->Position() + SmallH); return;
    default: return;
  }
  ScrollTo(std::max(0, Y));
}

bool THTMLViewer::PanelWheel(int WheelDelta) {
  ScrollTo(FSectionList->ScrollY - WheelDelta / 2);
  return true;
}

void THTMLViewer::PanelMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
  FLastX = X;
  FLastY = Y;
  if (CanFocus()) SetFocus();
  FLinkClicked = false;
  if (FMiddleScroll) {
    FMiddleScroll = false;
    FPaintPanel->SetCursor(Cursor());
    return;
  }
  if (Button == mbMiddle) {
    FMiddleScroll = true;
    FMiddleY = Y;
    FPaintPanel->SetCursor(UpDownCursor);
    return;
  }
  if (Button != mbLeft) return;
  FClickPending = true;
  FLeftButtonDown = true;
  FSelAnchor = FSectionList->PositionAt(X + FHScrollBar->Position(), Y);
  if (FSelAnchor >= 0) {
    if (SelLength() > 0) FPaintPanel->Invalidate();
    FSectionList->SelStart = FSectionList->SelEnd = FSelAnchor;
    FCaretPos = FSelAnchor;
  }
}

void THTMLViewer::PanelMouseMove(TShiftState Shift, int X, int Y) {
  FLastX = X;
  FLastY = Y;
  FMouseOutside = false;
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
  if (FMiddleScroll) {
    if (std::abs(Y - FMiddleY) > 20 && !FAutoScrolling) PostMessage(wm_AutoScroll);
    return;
  }
  const int HP = FHScrollBar->Position();
  TCursor C = crArrow;
  std::string Url, Tgt;
  TUrlTarget* UT = nullptr;
  int FC = -1;
  const bool OverLink = FSectionList->LinkAt(X + HP, Y, UT, FC);
  if (OverLink) C = HandCursor;  // a link, or a form's image button
  if (OverLink && UT) {
    Url = UT->URL;
    Tgt = UT->Target;
  }
  delete UT;
  if (OnImageOver || OnImageClick) {
    void* Obj = nullptr;
    if (FSectionList->ObjectAt(X + HP, Y + FSectionList->ScrollY, Obj)) {
      if (!OverLink) C = crArrow;
      if (OnImageOver) OnImageOver(this, Obj, Shift, X, Y);
    }
  }
  if (!OverLink && FSectionList->PositionAt(X + HP, Y) >= 0) C = Cursor();
  FPaintPanel->SetCursor(C);
  FTimer->SetEnabled(C == HandCursor || FSectionList->ActiveLink != nullptr);
  if (Url != FURL || Tgt != FTarget) {
    FURL = Url;
    FTarget = Tgt;
    if (OnHotSpotCovered) OnHotSpotCovered(this, Url);
  }
  if (FLeftButtonDown) {
    if ((Y < 1 || Y >= PanelHeight()) && !FAutoScrolling) PostMessage(wm_AutoScroll);
    if (!FNoSelect) ExtendSelection(X, Y);
  }
}

void THTMLViewer::ExtendSelection(int X, int Y) {
  if (!FLeftButtonDown || FSelAnchor < 0) return;
  Y = std::clamp(Y, 0, std::max(0, PanelHeight() - 1));
  const int Pos = FSectionList->PositionAt(X + FHScrollBar->Position(), Y);
  if (Pos < 0) return;
  if (!FNoSelect) {
    FSectionList->SelStart = std::min(FSelAnchor, Pos);
    FSectionList->SelEnd = std::max(FSelAnchor, Pos);
    FPaintPanel->Invalidate();
  }
  FCaretPos = Pos;
}

void THTMLViewer::PanelMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
  if (FMiddleScroll) {
    if (!(Button == mbMiddle && Y == FMiddleY)) {
      FMiddleScroll = false;
      FPaintPanel->SetCursor(Cursor());
    }
    return;
  }
  const int HP = FHScrollBar->Position();
  void* Obj = nullptr;
  if (OnImageClick || OnRightClick) {
    if (FSectionList->ObjectAt(X + HP, Y + FSectionList->ScrollY, Obj) && OnImageClick)
      OnImageClick(this, Obj, Button, Shift, X, Y);
  }
  if (Button == mbRight && OnRightClick) {
    TRightClickParameters P;
    P.Image = Obj;
    TUrlTarget* UT = nullptr;
    int FC = -1;
    if (FSectionList->LinkAt(X + HP, Y, UT, FC) && UT) {
      P.URL = UT->URL;
      P.Target = UT->Target;
    }
    delete UT;
    int S = 0, E = 0;
    P.ClickWord = WordAt(X, Y, S, E);
    FTimer->SetEnabled(false);
    OnRightClick(this, P);
    FTimer->SetEnabled(true);
  } else if (Button == mbLeft) {
    ExtendSelection(X, Y);
    FLeftButtonDown = false;
    TUrlTarget* UT = nullptr;
    int FC = -1;
    const bool OverLink = FClickPending && SelLength() == 0 && FSectionList->LinkAt(X + HP, Y, UT, FC);
    if (OverLink && FSectionList->ActiveImageButton) {
      delete UT;
      FSectionList->ActiveImageButton->ImageClicked();
    } else if (OverLink && UT) {
      FURL = UT->URL;
      FTarget = UT->Target;
      delete UT;
      FLinkClicked = true;
      LinkClick();
    } else {
      delete UT;
    }
  }
  FClickPending = false;
}

std::string THTMLViewer::WordAt(int X, int Y, int& Start, int& End) {
  const int Pos = FSectionList->PositionAt(X + FHScrollBar->Position(), Y);
  Start = End = -1;
  if (Pos < 0) return "";
  FCaretPos = Pos;
  // A character counts only when it comes from the same section as the first one.
  auto SectionOf = [this](int P) {
    for (size_t K = 0; K < FSectionList->PositionList.size(); ++K) {
      const TSectionBase* S = FSectionList->PositionList[K];
      if (P >= S->FirstPosition && P < S->FirstPosition + std::max(1, S->PositionCount)) return static_cast<int>(K);
    }
    return -1;
  };
  auto WordChar = [this](int P, char& C) {
    int Font = 0;
    return P >= 0 && FSectionList->CharAt(P, C, Font) && IsWordChar(C);
  };
  char Ch = 0;
  if (!WordChar(Pos, Ch)) return "";
  const int Section = SectionOf(Pos);
  std::string W(1, Ch);
  Start = Pos;
  while (WordChar(Start - 1, Ch) && SectionOf(Start - 1) == Section) {
    --Start;
    W.insert(W.begin(), Ch);
  }
  End = Pos + 1;
  while (WordChar(End, Ch) && SectionOf(End) == Section) {
    ++End;
    W += Ch;
  }
  return W;
}

void THTMLViewer::PanelDblClick() {
  if (FProcessing || FLinkClicked) return;
  int S = 0, E = 0;
  if (!FNoSelect && !WordAt(FLastX, FLastY, S, E).empty()) {
    FSectionList->SelStart = S;
    FSectionList->SelEnd = E;
    FCaretPos = S;
    FPaintPanel->Invalidate();
  }
  if (OnMouseDouble) OnMouseDouble(this, mbLeft, 0, FLastX, FLastY);
}

void THTMLViewer::HotSpotTimer() {
  if (!FMouseOutside) return;
  FSectionList->ClearHover();
  FTimer->SetEnabled(false);
  if (!FURL.empty()) {
    FURL.clear();
    FTarget.clear();
    if (OnHotSpotCovered) OnHotSpotCovered(this, "");
  }
}

void THTMLViewer::WndProc(TMessage& Message) {
  if (Message.Msg == wm_FormSubmit) {
    if (OnFormSubmit)
      OnFormSubmit(this, FSubmit.Action, FSubmit.Target, FSubmit.EncType, FSubmit.Method, FSubmit.Results);
    return;
  }
  if (Message.Msg == wm_AutoScroll) {
    AutoScroll();
    return;
  }
  TWinControl::WndProc(Message);
}

void THTMLViewer::AutoScroll() {
  // Runs while a selection is dragged above or below the panel, or while the middle-button mode
  // points more than 20 pixels away from where it started; one step every 100 ms.
  if (FAutoScrolling || !Application) return;
  FAutoScrolling = true;
  auto Active = [this] {
    return (FLeftButtonDown && (FLastY < 1 || FLastY >= PanelHeight())) ||
           (FMiddleScroll && std::abs(FLastY - FMiddleY) > 20);
  };
  uint32_t Last = GetTickCount() - 100;
  while (Active() && !Application->Terminated()) {
    const uint32_t Now = GetTickCount();
    if (Now - Last >= 100) {
      Last = Now;
      const int Y = FLastY, H = PanelHeight();
      int Step = 0;
      if (FMiddleScroll) {
        const int D = Y - FMiddleY;
        Step = D < -60 ? -32 : D < -20 ? -8 : D > 60 ? 32 : 8;
        FPaintPanel->SetCursor(Step < 0 ? UpOnlyCursor : DownOnlyCursor);
      } else {
        Step = Y < -15 ? -8 * SmallV : Y < 1 ? -SmallV : Y < H + 15 ? SmallV : 8 * SmallV;
      }
      ScrollTo(FSectionList->ScrollY + Step);
      if (FLeftButtonDown && !FNoSelect) ExtendSelection(FLastX, Y);
      FPaintPanel->Repaint();
    }
    for (int I = 0; I < 4 && Active(); ++I) Application->ProcessMessages();
    Sleep(5);
  }
  FAutoScrolling = false;
  if (FMiddleScroll) FPaintPanel->SetCursor(UpDownCursor);
}

// ---- links, history, visited --------------------------------------------------------------------

std::string THTMLViewer::HTMLExpandFilename(const std::string& Filename) {
  std::string Name = ServerPathToDos(TrimText(Filename), FServerRoot);
  if (!Name.empty() && (Name[0] == '\\' || Name[0] == '/') && !(Name.size() > 1 && Name[1] == '\\'))
    return ExpandFileName(Name);
  const bool Drive = Name.size() > 1 && Name[1] == ':';
  const bool Unc = Name.rfind("\\\\", 0) == 0;
  if (Drive || Unc || CompareText(FBase, "DosPath") == 0) return Name;
  if (!FBase.empty()) return ExpandFileName(ExtractFilePath(UrlToDosPath(FBase)) + Name);
  return ExpandFileName(ExtractFilePath(FCurrentFile) + Name);
}

void THTMLViewer::LinkClick() {
  bool Handled = false;
  if (OnHotSpotClick) OnHotSpotClick(this, FURL, Handled);
  if (Handled) return;
  const int Pos = Position();
  const std::string S = FURL;
  if (!S.empty() && S[0] == '#') {
    if (PositionTo(S)) {
      AddHistory(FCurrentFile, FTitle, FFileType, Pos, nullptr);
      AddVisited(FCurrentFile + S);
    }
    return;
  }
  std::string Name, Dest;
  SplitDest(S, Name, Dest, true);
  const std::string Path = HTMLExpandFilename(Name);
  const std::string Ext = UpperCase(ExtractFileExt(Path)).substr(0, 5);
  if (Ext == ".HTM" || Ext == ".HTML") {
    if (CompareText(Path, FCurrentFile) != 0) {
      LoadFromFile(Path + Dest);
      AddVisited(Path + Dest);
    } else if (PositionTo(Dest)) {
      AddHistory(FCurrentFile, FTitle, 0, Pos, nullptr);
      AddVisited(Path + Dest);
    }
  } else if (Ext == ".BMP" || Ext == ".GIF" || Ext == ".JPG" || Ext == ".JPEG" || Ext == ".PNG") {
    LoadImageDocument(Path);
  }
}

void THTMLViewer::AddHistory(const std::string& File, const std::string& Title, int FileType, int Pos,
                             std::vector<std::vector<std::string>>* FormData) {
  std::unique_ptr<std::vector<std::vector<std::string>>> Data(FormData);
  if (FHistoryMaxCount < 1 || FCurrentFile.empty()) return;
  if (File == FCurrentFile && FileType == FFileType && Pos == Position()) return;
  if (FHistory.Count() > 0 && !File.empty()) {
    const int I = FHistoryIndex;
    FHistory.SetStrings(I, File);
    FTitleHist.SetStrings(I, Title);
    PositionObj& P = *FPositionHistory[static_cast<size_t>(I)];
    P.Pos = Pos;
    P.FileType = static_cast<uint8_t>(FileType);
    if (File != FCurrentFile) P.FormData = std::move(Data);
    for (int K = 0; K < I; ++K) {
      FHistory.Delete(0);
      FTitleHist.Delete(0);
      FPositionHistory.erase(FPositionHistory.begin());
    }
  }
  FHistoryIndex = 0;
  FHistory.Insert(0, FCurrentFile);
  FTitleHist.Insert(0, FTitle);
  auto P = std::make_unique<PositionObj>();
  P->Pos = Position();
  P->FileType = static_cast<uint8_t>(FFileType);
  FPositionHistory.insert(FPositionHistory.begin(), std::move(P));
  while (FHistory.Count() > FHistoryMaxCount) {
    FHistory.Delete(FHistory.Count() - 1);
    FTitleHist.Delete(FTitleHist.Count() - 1);
    FPositionHistory.pop_back();
  }
  if (OnHistoryChange) OnHistoryChange(this);
}

void THTMLViewer::ClearHistory() {
  const bool Had = FHistory.Count() > 0;
  FHistory.Clear();
  FTitleHist.Clear();
  FPositionHistory.clear();
  FHistoryIndex = 0;
  if (Had && OnHistoryChange) OnHistoryChange(this);
}

std::string THTMLViewer::LinkTarget(const std::string& Link) {
  if (!Link.empty() && Link[0] == '#') return FCurrentFile + Link;
  return HTMLExpandFilename(Link);
}

void THTMLViewer::AddVisited(const std::string& S) {
  if (FVisitedMaxCount <= 0) return;
  const int I = FVisited.IndexOf(S);
  if (I == 0) return;
  if (I > 0) {
    FVisited.Delete(I);
  } else {
    for (TFontObj* F : FSectionList->Links)
      if (!F->Url.empty() && CompareText(LinkTarget(F->Url), S) == 0) F->SetVisited(true);
  }
  FVisited.Insert(0, S);
  while (FVisited.Count() > FVisitedMaxCount) FVisited.Delete(FVisited.Count() - 1);
  FPaintPanel->Invalidate();
}

void THTMLViewer::CheckVisitedLinks() {
  if (FVisited.Count() == 0) return;
  for (TFontObj* F : FSectionList->Links)
    if (!F->Url.empty() && FVisited.IndexOf(LinkTarget(F->Url)) >= 0) F->SetVisited(true);
}

// ---- properties ---------------------------------------------------------------------------------

void THTMLViewer::SetSelection(int Start, int Length) {
  FSectionList->SelStart = std::max(0, Start);
  FSectionList->SelEnd = std::max(FSectionList->SelStart, Start + Length);
  FCaretPos = FSectionList->SelStart;
  FPaintPanel->Invalidate();
}

void THTMLViewer::SelectAll() {
  int Last = 0;
  for (TSectionBase* S : FSectionList->PositionList) Last = std::max(Last, S->FirstPosition + S->PositionCount);
  SetSelection(0, Last);
}

void THTMLViewer::SetDefBackground(TColor Value) {
  if (FProcessing) return;
  FBackground = Value;
  FSectionList->SetBackgroundColour(ColorToRGB(Value));
  SetColor(Value);
  FPaintPanel->Invalidate();
}

void THTMLViewer::SetDefPreFontName(const std::string& Value) {
  if (CompareText(Value, FPreFontName) != 0) FPreFontName = Value.substr(0, 33);
}

void THTMLViewer::SetVisitedMaxCount(int Value) {
  Value = std::max(Value, 0);
  if (Value == FVisitedMaxCount) return;
  FVisitedMaxCount = Value;
  if (Value == 0) {
    FVisited.Clear();
    for (TFontObj* F : FSectionList->Links) F->SetVisited(false);
    FPaintPanel->Invalidate();
  }
  while (FVisited.Count() > Value) FVisited.Delete(FVisited.Count() - 1);
}

void THTMLViewer::SetHistoryMaxCount(int Value) {
  if (Value < 0 || Value == FHistoryMaxCount) return;
  if (Value < FHistoryMaxCount) ClearHistory();
  FHistoryMaxCount = Value;
}

void THTMLViewer::SetImageCacheCount(int Value) {
  FImageCacheCount = std::clamp(Value, 0, 20);
  if (FOwnCache) FOwnCache->SetMaxAge(FImageCacheCount);
}

void THTMLViewer::SetViewImages(bool Value) {
  if (FProcessing || Value == FSectionList->ImagesShown) return;
  FSectionList->ImagesShown = Value;
  if (!IsEmpty() && !FDocumentSource.empty()) {
    // The pictures come (or go) with a new build of the document; the place is kept.
    const int Pos = Position();
    SetProcessing(true);
    try {
      ResetDocument();
      FSectionList->ImagesShown = Value;
      ParseSource(FFileType, FCurrentFile);
      FinishLoad();
    } catch (...) {
      SetProcessing(false);
      throw;
    }
    SetProcessing(false);
    SetPosition(Pos);
  }
  FPaintPanel->Invalidate();
}

void THTMLViewer::SetNoSelect(bool Value) {
  FNoSelect = Value;
  if (Value) {
    FSectionList->SelStart = FSectionList->SelEnd = 0;
    FPaintPanel->Invalidate();
  }
}

void THTMLViewer::SetScrollBars(TScrollStyle Value) {
  if (Value == FScrollBars) return;
  FScrollBars = Value;
  if (FProcessing) return;
  SetProcessing(true);
  DoLayout();
  SetProcessing(false);
  FPaintPanel->Invalidate();
}

void THTMLViewer::SetBorderStyle(THTMLBorderStyle Value) {
  FBorderStyle = Value;
  UpdateBorder();
  if (!FProcessing) {
    DoLayout();
    FPaintPanel->Invalidate();
  }
}

void THTMLViewer::SetServerRoot(const std::string& Value) { FServerRoot = ServerRootOf(Value); }

void THTMLViewer::SetHtOptions(ThtmlViewerOptions Value) {
  FOptions = Value;
  FSectionList->HoverLinks = (Value & htOverLinksActive) != 0;
  FSectionList->PrintTableBackground = (Value & htPrintTableBackground) != 0;
  if (!FProcessing) DoScrollBars();
}

void THTMLViewer::SetImageCache(TStringBitmapList* Cache) {
  FSharedCache = Cache;
  FOwnCache.reset();
  FSectionList->ImageCache = Cache;
}

std::vector<std::vector<std::string>>* THTMLViewer::TakeFormData() {
  return new std::vector<std::vector<std::string>>(FSectionList->SaveFormState());
}

void THTMLViewer::ReplaceFormData(std::vector<std::vector<std::string>>* Data) {
  if (Data) FSectionList->RestoreFormState(*Data);
}
