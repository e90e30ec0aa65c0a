// The document as a whole: layout of all sections, painting with the scroll offset, hover
// tracking of links and images, form control placement, animation of GIF pictures and the
// image fetch through the shared image cache.
#include <algorithm>

#include "htmlview/htmlforms.h"
#include "htmlview/htmlimages.h"
#include "htmlview/htmlobjects.h"
#include "htmlview/htmlsection.h"
#include "htmlview/htmlsubs.h"
#include "htmlview/imagecache.h"
#include "platform/core/classes.h"
#include "platform/core/fileutils.h"
#include "platform/gui/controls.h"
#include "platform/gui/graphics.h"
#include "platform/gui/stdctrls.h"

namespace {

TStringBitmapList& SharedImageCache() {
  static TStringBitmapList Cache;
  return Cache;
}

std::vector<uint8_t> ReadStream(TStream* S) {
  std::vector<uint8_t> Data;
  S->SetPosition(0);
  const int64_t Size = S->Size();
  if (Size <= 0 || Size > 256 * 1024 * 1024) return Data;
  Data.resize(static_cast<size_t>(Size));
  Data.resize(static_cast<size_t>(S->Read(Data.data(), Size)));
  S->SetPosition(0);
  return Data;
}

bool IsGifData(const std::vector<uint8_t>& D) {
  const TImageType T = DetectImageType(D.data(), D.size());
  return T == itGIF87 || T == itGIF89;
}

// A GIF of one frame becomes a plain picture; an animated one stays a GIF.
TBitmapItem* ItemFromGif(std::unique_ptr<TGIFImage> Gif) {
  if (Gif->FrameCount() == 1) {
    const TPixelBuffer* B = Gif->GetBitmap();
    if (B && !B->Empty()) {
      auto Pixels = std::make_unique<TPixelBuffer>(*B);
      std::unique_ptr<TMaskBuffer> Mask;
      const TMaskBuffer* M = Gif->GetFirstMask();
      if (Gif->IsTransparent && M && !M->Empty()) Mask = std::make_unique<TMaskBuffer>(*M);
      const uint8_t Tr = Mask ? TrGif : NotTransp;
      return new TBitmapItem(std::move(Pixels), std::move(Mask), Tr);
    }
  }
  if (Gif->FrameCount() == 0) return nullptr;
  const uint8_t Tr = Gif->IsTransparent ? TrGif : NotTransp;
  return new TBitmapItem(std::move(Gif), Tr);
}

}  // namespace

TSectionList::TSectionList(TWinControl* AOwner, TWinControl* APaintPanel)
    : TCell(this), OwnerControl(AOwner), PaintPanel(APaintPanel) {
  ImageCache = &SharedImageCache();
  IDNameList.PositionToY = [this](int Source) {
    // An ID read by the tokenizer names a source offset: the line of the first character that
    // comes from there or later.
    for (TSectionBase* S : PositionList)
      if (auto* Sec = dynamic_cast<TSection*>(S)) {
        const int Pos = Sec->SourceAtOrAfter(Source);
        if (Pos < 0) continue;
        int X = 0, Y = 0;
        return Sec->CaretPoint(Pos, X, Y) ? Y : Sec->YPosition();
      }
    return 0;
  };
}

TSectionList::TSectionList(const TSectionList& Source, bool ForPrinting) : TCell(this) {
  Printing = ForPrinting;
  PrintTableBackground = Source.PrintTableBackground;
  ImageCache = Source.ImageCache;
  ImagesShown = Source.ImagesShown;
  HoverLinks = Source.HoverLinks;
  OwnerControl = Source.OwnerControl;
  PaintPanel = Source.PaintPanel;
  OnBitmapRequest = Source.OnBitmapRequest;
  OnImageRequest = Source.OnImageRequest;
  ExpandName = Source.ExpandName;
  Background = Source.Background;
  BackgroundName = Source.BackgroundName;
  OwnerTag = Source.OwnerTag;
  for (int I = 0; I < Source.Count(); ++I) Add(Source[I]->CloneFor(this));
}

TSectionList::~TSectionList() {
  // Sections first: their images and controls leave the document's lists as they go.
  Clear();
}

void TSectionList::Clear() {
  if (!Printing) {
    IDNameList.Clear();
    PositionList.clear();
  }
  BackgroundBitmap = nullptr;
  BackgroundMask = nullptr;
  BackgroundName.clear();
  BackgroundLoaded = false;
  // The link list goes first, so that freeing the sections does not search it.
  Links.clear();
  ActiveLink = nullptr;
  TCellBasic::Clear();
  CurrentForm = nullptr;
  if (!Printing) Forms.Clear();
  FormControlList.clear();
  AnimatedImages.clear();
  Panels.clear();
  PendingImages.clear();
  Links.clear();
  MapList.Clear();
  DrawList.clear();
  delete AnimationTimer;
  AnimationTimer = nullptr;
  SelStart = SelEnd = 0;
  ActiveLink = nullptr;
  ActiveImage = nullptr;
  ActiveImageButton = nullptr;
  if (!Printing) Styles.Clear();
  Title.clear();
  BaseURL.clear();
  BaseTarget.clear();
  if (ImageCache && !Printing) ImageCache->AgeAndPrune();
}

void TSectionList::SetDefaults(const std::string& FontName, const std::string& PreFontName, double PointSize,
                               int32_t TextColour, int32_t LinkColour, int32_t VisitedColour, int32_t HoverColour,
                               bool LinksActive, int32_t BackgroundColour, uint8_t CharSet, bool UnderlineLinks) {
  Styles.Initialize(FontName, PreFontName.substr(0, 32), 10, 5, CharSet, UnderlineLinks, HoverColour, VisitedColour,
                    LinkColour, TextColour, PointSize);
  HoverLinks = LinksActive;
  SetBackgroundColour(BackgroundColour);
}

int TSectionList::Arrange(TCanvas* Canvas, int Y, int& Curs, int& MaxWidth, int X, int AWidth) {
  if (AnimationTimer) AnimationTimer->SetEnabled(false);
  for (int I = 0; I < Forms.Count(); ++I) Forms[I]->SizeControls(Canvas);
  const int MW = std::clamp(MarginWidth, 0, std::max(0, AWidth / 2 - 1));
  ArrangedLeft = X + MW;
  const int Height = TCell::Arrange(Canvas, Y + MarginHeight, Curs, MaxWidth, X + MW, AWidth - 2 * MW) + 2 * MarginHeight;
  MaxWidth += 2 * MW;
  const uint32_t Now = GetTickCount();
  for (TImageObj* Img : AnimatedImages)
    if (Img->Gif) {
      Img->Gif->SetCurrentFrame(1);
      Img->Gif->SetAnimate(false, Now);
      if (!Printing) Img->Gif->SetAnimate(true, Now);
    }
  // The animation timer exists only for pages that animate and are shown on a panel.
  if (!Printing && !AnimationTimer && !AnimatedImages.empty() && PaintPanel) {
    AnimationTimer = new TTimer(nullptr);
    AnimationTimer->SetInterval(50);
    AnimationTimer->OnTimer = [this](TObject*) { AnimationStep(GetTickCount()); };
  }
  if (AnimationTimer) AnimationTimer->SetEnabled(!AnimatedImages.empty());
  PlaceFormControls();
  if (!Printing && PositionList.empty()) TCellBasic::Register();
  return Height;
}

int TSectionList::Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* AIMgr, int X, int XRef, int YRef) {
  return TCell::Paint(Canvas, ARect, AIMgr, X, XRef, YRef);
}

void TSectionList::PaintDocument(TCanvas* Canvas, const TRect& ARect) {
  PrintPageBottom = ScrollY + ARect.Bottom;
  if (AnimationTimer) AnimationTimer->SetEnabled(false);
  for (TImageObj* Img : AnimatedImages)
    if (Img->Gif) Img->Gif->ShownOnScreen = false;
  LoadBackground();
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(static_cast<TColor>(Background & 0xFFFFFF));
  Canvas->FillRect(ARect);
  if (BackgroundBitmap && !BackgroundBitmap->Empty()) {
    // The background tiles the page and scrolls with it.
    const int W = BackgroundBitmap->Width, H = BackgroundBitmap->Height;
    auto Tile = BitmapFromPixels(*BackgroundBitmap);
    for (int TY = ARect.Top - ((ScrollY + ARect.Top) % H + H) % H; TY < ARect.Bottom; TY += H)
      for (int TX = ARect.Left - (ARect.Left % W); TX < ARect.Right; TX += W) Canvas->Draw(TX, TY, Tile.get());
  }
  // Controls the paint does not place are hidden afterwards.
  if (ScrollChanged) {
    for (TFormControlObj* C : FormControlList) C->Placed = false;
    for (TPanelObj* P : Panels) P->Placed = false;
  }
  DrawList.clear();
  TCell::Paint(Canvas, ARect, nullptr, ArrangedLeft, 0, ScrollY);
  for (const TImageRec& R : DrawList) R.Image->Draw(Canvas, R.X, R.Y, R.Y + R.Image->ImageHeight, nullptr);
  DrawList.clear();
  if (ScrollChanged) {
    PlaceFormControls();
    for (TPanelObj* P : Panels)
      if (!P->Placed && P->Panel) P->Panel->SetVisible(false);
    ScrollChanged = false;
  }
  if (AnimationTimer) AnimationTimer->SetEnabled(!AnimatedImages.empty());
}

void TSectionList::PlaceFormControls() {
  if (Printing || FormControlList.empty()) return;
  bool FocusInside = false;
  for (TFormControlObj* C : FormControlList)
    if (TWinControl* W = C->WindowedControl(); W && W->Focused()) FocusInside = true;
  for (TFormControlObj* C : FormControlList) {
    if (C->Placed || !C->Control) continue;
    if (FocusInside) {
      // The focus may move through controls out of view: they are parked outside the panel.
      C->Control->SetLeft(-4000);
      C->Control->SetVisible(true);
    } else {
      C->Control->SetVisible(false);
    }
  }
}

TImageFormControlObj* TSectionList::ImageButtonOf(const TImageObj* Image) const {
  if (!Image) return nullptr;
  for (TFormControlObj* C : FormControlList)
    if (auto* B = dynamic_cast<TImageFormControlObj*>(C); B && B->MyImage == Image) return B;
  return nullptr;
}

bool TSectionList::LinkAt(int X, int Y, TUrlTarget*& UrlTarget, int& FormControl) {
  TFontObj* OldLink = ActiveLink;
  TImageObj* OldImage = ActiveImage;
  ActiveLink = nullptr;
  ActiveImage = nullptr;
  ActiveImageButton = nullptr;
  const int DocY = Y + ScrollY;
  const bool Result = TCellBasic::LinkAt(X, DocY, UrlTarget, FormControl);
  if (!Result) ActiveLink = nullptr;
  void* Obj = nullptr;
  if (TCellBasic::ObjectAt(X, DocY, Obj)) ActiveImage = static_cast<TImageObj*>(Obj);
  bool Changed = false;
  if (HoverLinks && ActiveLink != OldLink) {
    // Every piece of a link lights up together.
    auto SetLinkHover = [this](TFontObj* F, bool Value) {
      if (!F) return;
      for (TFontObj* L : Links)
        if (L == F || (F->LinkID != 0 && L->LinkID == F->LinkID)) L->SetHover(Value);
    };
    SetLinkHover(OldLink, false);
    SetLinkHover(ActiveLink, true);
    Changed = true;
  }
  if (ActiveImage != OldImage) {
    if (OldImage) OldImage->SetHover(false);
    if (ActiveImage) ActiveImage->SetHover(true);
    Changed = true;
  }
  if (Changed && PaintPanel) PaintPanel->Invalidate();
  return Result;
}

void TSectionList::ClearHover() {
  bool Changed = false;
  if (ActiveLink) {
    for (TFontObj* L : Links)
      if (L == ActiveLink || (ActiveLink->LinkID != 0 && L->LinkID == ActiveLink->LinkID)) L->SetHover(false);
    ActiveLink = nullptr;
    Changed = true;
  }
  if (ActiveImage) {
    ActiveImage->SetHover(false);
    ActiveImage = nullptr;
    Changed = true;
  }
  if (Changed && PaintPanel) PaintPanel->Invalidate();
}

void TSectionList::SetScroll(int Y) {
  if (Y == ScrollY) return;
  ScrollY = Y;
  ScrollChanged = true;
  for (TFormControlObj* C : FormControlList) C->Placed = false;
  for (TPanelObj* P : Panels) P->Placed = false;
}

void TSectionList::SetBackgroundColour(int32_t Colour) {
  Background = Colour;
  if (OnBackgroundChange) OnBackgroundChange();
}

void TSectionList::SetBackgroundName(const std::string& Name) {
  BackgroundName = Name;
  BackgroundBitmap = nullptr;
  BackgroundMask = nullptr;
  BackgroundLoaded = false;
}

TSectionBase* TSectionList::SectionAtY(int Y, int& Top, int& Index) {
  // The registered elements are in document order, so their Y values rise.
  int Lo = 0, Hi = static_cast<int>(PositionList.size()) - 1, Found = -1;
  while (Lo <= Hi) {
    const int Mid = (Lo + Hi) / 2;
    if (PositionList[static_cast<size_t>(Mid)]->YPosition() <= Y) {
      Found = Mid;
      Lo = Mid + 1;
    } else {
      Hi = Mid - 1;
    }
  }
  if (Found < 0) return nullptr;
  TSectionBase* S = PositionList[static_cast<size_t>(Found)];
  Top = S->YPosition();
  Index = Found;
  return S;
}

void TSectionList::AnimationStep(uint32_t Now) {
  if (Printing) return;
  for (TImageObj* Img : AnimatedImages) {
    TGIFImage* G = Img->Gif;
    if (!G || !G->ShownOnScreen) continue;
    if (G->AnimationStep(Now) && PaintPanel)
      PaintPanel->InvalidateRect(TRect(G->DrawLeft, G->DrawTop, G->DrawLeft + G->DrawWidth, G->DrawTop + G->DrawHeight));
  }
  if (AnimationTimer) AnimationTimer->SetInterval(50);
}

bool TSectionList::FetchImage(const std::string& Name, uint8_t& Transparency, bool& FromCache, bool& Delayed,
                              TPixelBuffer*& Bitmap, TGIFImage*& Gif, TMaskBuffer*& Mask) {
  Bitmap = nullptr;
  Gif = nullptr;
  Mask = nullptr;
  FromCache = Delayed = false;
  if (Name.empty() || !ImageCache) return false;
  const std::string Key = UpperCase(Name);
  const int Index = ImageCache->IndexOf(Key);
  if (Index >= 0) {
    TBitmapItem* Item = ImageCache->TakeImage(Index);
    FromCache = true;
    Bitmap = Item->Bitmap();
    Gif = Item->Gif();
    Mask = Item->Mask();
    if (Item->Transparency != NotTransp) Transparency = Item->Transparency;
    return Bitmap || Gif;
  }
  TBitmapItem* Item = nullptr;
  try {
    if (OnBitmapRequest) {
      int32_t Colour = -1;
      TPixelBuffer* B = nullptr;
      OnBitmapRequest(OwnerControl, Name, Colour, B);
      if (B) {
        std::unique_ptr<TPixelBuffer> Pixels(B);
        std::unique_ptr<TMaskBuffer> M;
        uint8_t Tr = NotTransp;
        if (Colour != -1) {
          M = std::make_unique<TMaskBuffer>(MakeImageMask(*Pixels, true, Colour));
          Tr = TrGif;
        } else if (Transparency == LLCorner) {
          M = std::make_unique<TMaskBuffer>(MakeImageMask(*Pixels, false, 0));
          Tr = LLCorner;
        }
        Item = new TBitmapItem(std::move(Pixels), std::move(M), Tr);
      }
    } else if (OnImageRequest) {
      TStream* S = nullptr;
      OnImageRequest(OwnerControl, Name, S);
      if (S == WaitStream()) {
        Delayed = true;
        return false;
      }
      if (S && S->Size() > 0) {
        std::vector<uint8_t> Data = ReadStream(S);
        if (IsGifData(Data)) {
          auto G = std::make_unique<TGIFImage>();
          if (G->LoadFromBytes(Data.data(), Data.size())) Item = ItemFromGif(std::move(G));
        }
        if (!Item) {
          uint8_t Tr = Transparency;
          std::unique_ptr<TMaskBuffer> M;
          auto Pixels = LoadImageFromStream(S, Tr, M);
          const bool HasMask = M != nullptr;
          if (Pixels) Item = new TBitmapItem(std::move(Pixels), std::move(M), HasMask ? Tr : static_cast<uint8_t>(NotTransp));
        }
      }
    } else {
      const std::string Ext = LowerCase(ExtractFileExt(Name)).substr(0, 10);
      if (Ext == ".gif") {
        auto G = std::make_unique<TGIFImage>();
        if (G->LoadFromFile(Name)) Item = ItemFromGif(std::move(G));
      }
      if (!Item) {
        uint8_t Tr = Transparency;
        std::unique_ptr<TMaskBuffer> M;
        auto Pixels = LoadImageAndMask(Name, Tr, M);
        if (Pixels) {
          const bool HasMask = M != nullptr;
          Item = new TBitmapItem(std::move(Pixels), std::move(M), HasMask ? Tr : static_cast<uint8_t>(NotTransp));
        }
      }
    }
  } catch (const Exception&) {
    // A picture that cannot be read shows the error picture.
    delete Item;
    Item = nullptr;
  }
  if (!Item) return false;
  ImageCache->AddObject(Key, Item);
  Bitmap = Item->Bitmap();
  Gif = Item->Gif();
  Mask = Item->Mask();
  if (Item->Transparency != NotTransp) Transparency = Item->Transparency;
  return true;
}

void TSectionList::LoadBackground() {
  if (!ImagesShown || BackgroundLoaded || BackgroundName.empty()) return;
  BackgroundLoaded = true;
  std::string Name = BackgroundName;
  if (ExpandName) Name = ExpandName(Name);
  uint8_t Tr = NotTransp;
  bool FromCache = false, Delayed = false;
  TPixelBuffer* B = nullptr;
  TGIFImage* G = nullptr;
  TMaskBuffer* M = nullptr;
  FetchImage(Name, Tr, FromCache, Delayed, B, G, M);
  if (B) {
    BackgroundBitmap = B;
    BackgroundMask = M;
  } else if (G) {
    BackgroundBitmap = &G->Canvas();
    BackgroundMask = G->IsTransparent ? &G->CanvasMask() : nullptr;
  } else if (Delayed) {
    PendingImages.emplace_back(UpperCase(Name), nullptr);
  }
}

std::string TSectionList::SelectedText() {
  CopyBuffer.clear();
  if (SelEnd > SelStart) TCellBasic::CopySelection();
  std::string R;
  R.swap(CopyBuffer);
  return R;
}

std::vector<std::vector<std::string>> TSectionList::SaveFormState() {
  std::vector<std::vector<std::string>> R;
  for (int I = 0; I < Forms.Count(); ++I) R.push_back(Forms[I]->CollectSubmission());
  return R;
}

void TSectionList::RestoreFormState(const std::vector<std::vector<std::string>>& State) {
  for (int I = 0; I < Forms.Count() && I < static_cast<int>(State.size()); ++I)
    Forms[I]->RestoreData(State[static_cast<size_t>(I)]);
}
