#include "htmlview/htmlobjects.h"

#include <algorithm>
#include <charconv>

#include "htmlview/htmldraw.h"
#include "htmlview/htmlimages.h"
#include "htmlview/htmlsection.h"
#include "htmlview/imagecache.h"
#include "htmlview/readhtml.h"
#include "platform/core/classes.h"
#include "platform/core/fileutils.h"
#include "platform/gui/graphics.h"
#include "platform/gui/stdctrls.h"

// ALIGN of images and panels (upper case); other values keep Default.
static uint8_t AlignOfAttribute(const std::string& U, uint8_t Default) {
  if (U == "TOP") return ATop;
  if (U == "MIDDLE" || U == "ABSMIDDLE") return AMiddle;
  if (U == "LEFT") return ALeft;
  if (U == "RIGHT") return ARight;
  return Default;
}

TStyleSizes StyleSizes(TProperties& Props) {
  TMarginArray VM;
  Props.GetMarginArray(VM);
  ThtMarginArray M{};
  int AutoCount = 0;
  ConvertMargins(VM, 400, 400, Props.EmSize, Props.ExSize, M, AutoCount);
  auto Set = [](const TPropValue& V) { return !IsEmpty(V) && !(IsInt(V) && std::get<int>(V) == NotSet); };
  auto Size = [](int V) { return V == Auto ? 0 : std::max(0, V); };
  TStyleSizes Z;
  Z.HasLeft = Set(VM[MI(MarginLeft)]) && M[MI(MarginLeft)] != Auto;
  Z.HasRight = Set(VM[MI(MarginRight)]) && M[MI(MarginRight)] != Auto;
  Z.Left = std::clamp(M[MI(MarginLeft)], 0, 400);
  Z.Right = std::clamp(M[MI(MarginRight)], 0, 400);
  Z.HasWidth = Set(VM[MI(WidthProp)]);
  Z.HasHeight = Set(VM[MI(HeightProp)]);
  Z.Width = Size(M[MI(WidthProp)]);
  Z.Height = Size(M[MI(HeightProp)]);
  return Z;
}

TImageObj::TImageObj(TSectionList* ADocument, int Position, const TAttributeList& Attributes)
    : Document(ADocument) {
  Pos = Position;
  ObjAlign = ABaseline;
  int HSpace = -1;
  for (int I = 0; I < Attributes.Count(); ++I) {
    const TAttribute* A = Attributes[I];
    const std::string U = UpperCase(Trim(A->Text));
    switch (A->Symbol) {
      case SrcSy: Source = Trim(A->Text); break;
      case AltSy: Alt = A->Text; break;
      case AlignSy:
        ObjAlign = AlignOfAttribute(U, ObjAlign);
        break;
      case WidthSy:
        if (A->Text.find('%') != std::string::npos) {
          if (A->Value >= 1 && A->Value <= 100) {
            GivenWidth = A->Value;
            WidthIsPercent = true;
          }
        } else if (A->Value > 0) {
          GivenWidth = std::min(A->Value, MaxShownImageSide);
        }
        break;
      case HeightSy:
        if (A->Value >= 1) GivenHeight = std::min(A->Value, MaxShownImageSide);
        break;
      case HSpaceSy: HSpace = std::min(40, std::abs(A->Value)); break;
      case VSpaceSy: VSpaceT = VSpaceB = std::min(40, std::abs(A->Value)); break;
      case BorderSy: NoBorder = A->Value == 0; break;
      case IsMapSy: IsMap = true; break;
      case UseMapSy:
        MapName = U;
        if (MapName.size() > 1 && MapName[0] == '#') MapName.erase(0, 1);
        HasUseMap = true;
        break;
      case TranspSy: Transparent = LLCorner; break;
      case ActiveSy: Active = true; break;
      case IDSy:
        if (ADocument && !A->Text.empty()) {
          ADocument->IDNameList.AddObject(A->Text, this);
          HasID = true;
        }
        break;
      default: break;
    }
  }
  HSpaceL = HSpace >= 0 ? HSpace : Floating() ? 3 : 0;
  HSpaceR = HSpaceL;
}

TImageObj::TImageObj(TSectionList* ADocument, const std::string& ASource) : Source(ASource), Document(ADocument) {
  ObjAlign = ABaseline;
  NoBorder = true;
}

TImageObj::TImageObj(TSectionList* ADocument, const TImageObj& S)
    : GivenWidth(S.GivenWidth),
      WidthIsPercent(S.WidthIsPercent),
      GivenHeight(S.GivenHeight),
      ShownWidth(S.ShownWidth),
      ShownHeight(S.ShownHeight),
      SizeKnown(S.SizeKnown),
      Source(S.Source),
      Alt(S.Alt),
      MapName(S.MapName),
      NoBorder(S.NoBorder),
      Border(S.Border),
      IsMap(S.IsMap),
      HasUseMap(S.HasUseMap),
      Transparent(S.Transparent),
      Active(S.Active),
      Image(S.Image),
      Mask(S.Mask),
      IsError(S.IsError),
      IsPlaceholder(S.IsPlaceholder),
      Document(ADocument),
      FFetched(S.FFetched) {
  Pos = S.Pos;
  ImageHeight = S.ImageHeight;
  ImageWidth = S.ImageWidth;
  ObjAlign = S.ObjAlign;
  HSpaceL = S.HSpaceL;
  HSpaceR = S.HSpaceR;
  VSpaceT = S.VSpaceT;
  VSpaceB = S.VSpaceB;
  if (S.Gif) {
    FOwnGif = S.Gif->Clone();
    Gif = FOwnGif.get();
  }
  if (Document && Document->ImageCache && !Source.empty() && (Image || Gif)) Document->ImageCache->AddUser(Source);
}

TImageObj::~TImageObj() {
  if (Document) {
    if (HasID) Document->IDNameList.RemoveObject(this);
    auto& A = Document->AnimatedImages;
    A.erase(std::remove(A.begin(), A.end(), this), A.end());
    auto& P = Document->PendingImages;
    P.erase(std::remove_if(P.begin(), P.end(), [this](const auto& E) { return E.second == this; }), P.end());
    if (Document->ActiveImage == this) Document->ActiveImage = nullptr;
    if (Document->ImageCache && !Source.empty() && (Image || Gif)) Document->ImageCache->RemoveUser(Source);
  }
}

void TImageObj::ApplyStyle(TProperties& Props) {
  const int V = Props.GetVertAlign();
  if (V == ATop || V == AMiddle || V == ABaseline || V == ABottom) ObjAlign = static_cast<uint8_t>(V);
  const int F = Props.GetFloat();
  if (F == ALeft || F == ARight) {
    ObjAlign = static_cast<uint8_t>(F);
    if (HSpaceR == 0) HSpaceL = HSpaceR = 3;
  }
  const TStyleSizes Z = StyleSizes(Props);
  if (Z.HasLeft) HSpaceL = Z.Left;
  if (Z.HasRight) HSpaceR = Z.Right;
  if (Z.HasWidth) {
    GivenWidth = std::min(Z.Width, MaxShownImageSide);
    WidthIsPercent = false;
  }
  if (Z.HasHeight) GivenHeight = std::min(Z.Height, MaxShownImageSide);
}

void TImageObj::Fetch() {
  FFetched = true;
  if (!Document || !Document->ImagesShown || Source.empty()) return;
  std::string Name = Source;
  if (Document->ExpandName) Name = Document->ExpandName(Name);
  const std::string Key = UpperCase(Name);
  for (const auto& P : Document->PendingImages)
    if (P.first == Key) {
      IsPlaceholder = true;
      Document->PendingImages.emplace_back(Key, this);
      return;
    }
  uint8_t Transp = Transparent;
  bool FromCache = false, Delayed = false;
  TPixelBuffer* Bitmap = nullptr;
  TGIFImage* G = nullptr;
  TMaskBuffer* M = nullptr;
  Document->FetchImage(Name, Transp, FromCache, Delayed, Bitmap, G, M);
  if (G) {
    // Every animated picture keeps its own frame counter.
    FOwnGif = G->Clone();
    Gif = FOwnGif.get();
    if (Active)
      Gif->SetAnimate(false, GetTickCount());
    else if (Gif->IsAnimated)
      Document->AnimatedImages.push_back(this);
    Source = Name;
  } else if (Bitmap) {
    Image = Bitmap;
    Mask = M;
    Source = Name;
  } else if (Delayed) {
    IsPlaceholder = true;
    Document->PendingImages.emplace_back(Key, this);
  } else {
    IsError = true;
  }
}

void TImageObj::ReplaceImage(TStream* Stream) {
  (void)Stream;
  // The document fetches again on the next layout: the data is now in the cache.
  FFetched = false;
  IsPlaceholder = false;
  SizeKnown = false;
}

void TImageObj::Measure(TCanvas* Canvas, TFontObj* Font, int AvailableWidth) {
  if (!FFetched && Document && Document->ImagesShown) Fetch();
  const bool Shown = Document && Document->ImagesShown;
  int PicW = 0, PicH = 0;
  bool Real = false;
  if (Shown && Gif) {
    PicW = Gif->Width;
    PicH = Gif->Height;
    Real = true;
  } else if (Shown && Image) {
    PicW = Image->Width;
    PicH = Image->Height;
    Real = true;
  } else if (Shown && IsError) {
    PicW = ErrorImage().Width;
    PicH = ErrorImage().Height;
  } else {
    PicW = PlaceholderImage().Width;
    PicH = PlaceholderImage().Height;
  }
  if (!SizeKnown) {
    if (!Real) {
      if (GivenWidth > 0 && GivenHeight > 0 && !WidthIsPercent) {
        ShownWidth = GivenWidth;
        ShownHeight = GivenHeight;
        SizeKnown = true;
      } else {
        ShownWidth = PicW;
        ShownHeight = PicH;
      }
    } else if (WidthIsPercent) {
      ShownWidth = static_cast<int>(static_cast<int64_t>(std::max(0, AvailableWidth)) * GivenWidth / 100);
      ShownHeight = GivenHeight > 0 ? GivenHeight
                                    : (PicW > 0 ? static_cast<int>(static_cast<int64_t>(ShownWidth) * PicH / PicW) : PicH);
    } else {
      if (GivenWidth > 0 && GivenHeight > 0) {
        ShownWidth = GivenWidth;
        ShownHeight = GivenHeight;
      } else if (GivenHeight > 0) {
        ShownHeight = GivenHeight;
        ShownWidth = PicH > 0 ? static_cast<int>(static_cast<int64_t>(GivenHeight) * PicW / PicH) : PicW;
      } else if (GivenWidth > 0) {
        ShownWidth = GivenWidth;
        ShownHeight = PicW > 0 ? static_cast<int>(static_cast<int64_t>(GivenWidth) * PicH / PicW) : PicH;
      } else {
        ShownWidth = PicW;
        ShownHeight = PicH;
      }
      SizeKnown = true;
    }
    if (!Real && !SizeKnown && Canvas) {
      // The placeholder box is wide enough for its ALT text beside the icon.
      TFont F;
      F.SetName("Arial");
      F.SetSize(8);
      Canvas->SetFont(F);
      const TSize T = Alt.empty() ? TSize(0, 0) : Canvas->TextExtent(Alt);
      ShownWidth = std::max(ShownWidth, Alt.empty() ? 24 : T.cx + 2 + 24);
      ShownHeight = std::max(ShownHeight, std::max(24, T.cy));
    }
    ShownWidth = std::clamp(ShownWidth, 0, MaxShownImageSide);
    ShownHeight = std::clamp(ShownHeight, 0, MaxShownImageSide);
  }
  ImageWidth = ShownWidth;
  ImageHeight = ShownHeight;
  Border = !NoBorder && Font && !Font->Url.empty();
  if (Border) {
    ImageWidth += 2;
    ImageHeight += 2;
  }
}

void TImageObj::Draw(TCanvas* Canvas, int X, int Top, int Baseline, TFontObj* Font) {
  const int Scroll = Document ? Document->ScrollY : 0;
  const bool Shown = Document && Document->ImagesShown;
  const bool PlaceholderMode = !Shown || (!Gif && !Image);
  int Y;
  switch (ObjAlign) {
    case ATop: case ALeft: case ARight: Y = Top + VSpaceT; break;
    case AMiddle:
      Y = Baseline + (Font ? Font->Descent - Font->FontHeight / 2 : 0) - (ImageHeight - VSpaceT + VSpaceB) / 2;
      break;
    default: Y = Baseline - ImageHeight - VSpaceB; break;
  }
  DrawX = X;
  DrawYY = Y + Scroll;
  int PX = X, PY = Y;
  if (Border) {
    ++PX;
    ++PY;
  }
  if (!PlaceholderMode) {
    if (Gif) {
      Gif->ShownOnScreen = true;
      DrawGif(Canvas, *Gif, PX, PY, ShownWidth, ShownHeight);
    } else {
      DrawTransparentImage(Canvas, *Image, Mask, PX, PY, ShownWidth, ShownHeight);
    }
  } else {
    if (ShownWidth >= 24 && ShownHeight >= 24) {
      if (Shown && IsError)
        DrawTransparentImage(Canvas, ErrorImage(), &ErrorImageMask(), PX, PY + 4, ErrorImage().Width,
                             ErrorImage().Height);
      else
        DrawTransparentImage(Canvas, PlaceholderImage(), nullptr, PX, PY + 4, PlaceholderImage().Width,
                             PlaceholderImage().Height);
    }
    TFont F;
    F.SetName("Arial");
    F.SetSize(8);
    if (Font) F.SetColor(Font->TheFont.Color());
    Canvas->SetFont(F);
    Canvas->Brush()->SetStyle(bsClear);
    if (!Alt.empty()) WrapTextInRect(Canvas, PX + 24, PY + 4, PX + ShownWidth - 2, PY + ShownHeight - 1, Alt);
    if (!Border)
      DrawRaisedRect(Canvas, X, Y, X + ShownWidth - 1, Y + ShownHeight - 1, false, false, false,
                     static_cast<TColor>(Document ? Document->Background : 0xFFFFFF));
  }
  if (Border) {
    Canvas->Pen()->SetColor(Font ? static_cast<TColor>(Font->TheFont.Color() & 0xFFFFFF) : 0);
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->Rectangle(X, Y, X + ImageWidth, Y + ImageHeight);
  }
}

void TImageObj::SetHover(bool Value) {
  if (Value == Hover) return;
  Hover = Value;
  if (!Active || !Gif || !Document) return;
  auto& A = Document->AnimatedImages;
  if (!Value) {
    Gif->SetAnimate(false, GetTickCount());
    Gif->SetCurrentFrame(1);
    A.erase(std::remove(A.begin(), A.end(), this), A.end());
  } else if (Gif->FrameCount() == 2) {
    Gif->SetCurrentFrame(2);
  } else {
    Gif->SetAnimate(true, GetTickCount());
    A.push_back(this);
  }
}

// ---- TPanelObj ----

TPanelObj::TPanelObj(TSectionList* ADocument, int Position, const TAttributeList& Attributes) : Document(ADocument) {
  Pos = Position;
  ObjAlign = ABottom;
  HSpaceL = HSpaceR = 3;
  for (int I = 0; I < Attributes.Count(); ++I) {
    const TAttribute* A = Attributes[I];
    const std::string U = UpperCase(Trim(A->Text));
    switch (A->Symbol) {
      case HeightSy: SetHeight = std::clamp(A->Value, 0, MaxShownImageSide); break;
      case WidthSy:
        if (A->Text.find('%') != std::string::npos) {
          SetWidth = std::clamp(A->Value, 1, 100);
          IsPercent = true;
        } else {
          SetWidth = std::clamp(A->Value, 0, MaxShownImageSide);
        }
        break;
      case HSpaceSy: HSpaceL = HSpaceR = std::min(40, std::abs(A->Value)); break;
      case VSpaceSy: VSpaceT = VSpaceB = std::min(40, std::abs(A->Value)); break;
      case RatioSy: {
        // Read with a point whatever the locale says.
        const std::string T = Trim(A->Text);
        double R = 0;
        std::from_chars(T.data(), T.data() + T.size(), R);
        Ratio = std::clamp(R, 0.0, 100.0);
        break;
      }
      case AlignSy:
        ObjAlign = AlignOfAttribute(U, ObjAlign);
        break;
      case AltSy: Alt = A->Text; break;
      case NameSy: Name = A->Text; break;
      case SrcSy: Source = A->Text; break;
      case TypeSy: Type = A->Text; break;
      default: break;
    }
  }
  Panel = new TPanel(nullptr);
  Panel->SetBounds(-400, -400, 30, 20);
  Panel->SetBevelOuter(bvNone);
  Panel->SetBevelInner(bvNone);
  Panel->SetBorderStyle(bsSingleBorder);
  Panel->SetColor(clWhite);
  Panel->SetParentFont(false);
  Panel->SetVisible(false);
  if (Document && Document->PaintPanel) Panel->SetParent(Document->PaintPanel);
  if (Document) {
    Document->Panels.push_back(this);
    if (Document->OnPanelCreate) Document->OnPanelCreate(Document->OwnerControl, Name, Type, Source, Panel);
  }
}

TPanelObj::TPanelObj(TSectionList* ADocument, const TPanelObj& S)
    : Document(ADocument), Alt(S.Alt), Name(S.Name), Source(S.Source), Type(S.Type), SetWidth(S.SetWidth),
      SetHeight(S.SetHeight), IsPercent(S.IsPercent), Ratio(S.Ratio) {
  // The printed copy draws a look-alike of the same panel; it owns no control.
  Pos = S.Pos;
  ObjAlign = S.ObjAlign;
  HSpaceL = S.HSpaceL;
  HSpaceR = S.HSpaceR;
  VSpaceT = S.VSpaceT;
  VSpaceB = S.VSpaceB;
  ImageWidth = S.ImageWidth;
  ImageHeight = S.ImageHeight;
}

TPanelObj::~TPanelObj() {
  if (Document) {
    auto& P = Document->Panels;
    P.erase(std::remove(P.begin(), P.end(), this), P.end());
    if (Panel && Document->OnPanelDestroy) Document->OnPanelDestroy(Document->OwnerControl, Panel);
  }
  delete Panel;
}

void TPanelObj::Measure(TCanvas* Canvas, TFontObj* Font, int AvailableWidth) {
  (void)Canvas, (void)Font;
  ImageWidth = IsPercent ? static_cast<int>(static_cast<int64_t>(std::max(0, AvailableWidth)) * SetWidth / 100) : SetWidth;
  ImageHeight = Ratio > 0 ? std::clamp(static_cast<int>(ImageWidth * Ratio + 0.5), 0, MaxShownImageSide) : SetHeight;
  if (Panel) Panel->SetBounds(Panel->Left(), Panel->Top(), ImageWidth, ImageHeight);
}

void TPanelObj::Draw(TCanvas* Canvas, int X, int Top, int Baseline, TFontObj* Font) {
  (void)Font;
  int Y;
  switch (ObjAlign) {
    case ATop: case ALeft: case ARight: Y = Top + VSpaceT; break;
    case AMiddle: Y = Baseline - ImageHeight / 2; break;
    default: Y = Baseline - ImageHeight - VSpaceB; break;
  }
  DrawX = X;
  DrawYY = Y + (Document ? Document->ScrollY : 0);
  if (Document && Document->Printing) {
    // Printed: a rectangle in the panel's colour with its ALT text.
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(clWhite);
    Canvas->Pen()->SetColor(clBlack);
    Canvas->Rectangle(X, Y, X + ImageWidth, Y + ImageHeight);
    if (!Alt.empty()) {
      Canvas->Brush()->SetStyle(bsClear);
      WrapTextInRect(Canvas, X + 15, Y + 15, X + ImageWidth - 15, Y + ImageHeight - 15, Alt);
    }
    return;
  }
  Placed = true;
  if (Panel) {
    Panel->SetBounds(X, Y, ImageWidth, ImageHeight);
    Panel->SetVisible(true);
  }
}

// ---- TImageObjList ----

TFloatingObj* TImageObjList::FindAt(int Position) const {
  for (int I = 0; I < Count(); ++I)
    if (Items(I)->Pos == Position) return Items(I);
  return nullptr;
}

int TImageObjList::HeightAt(int Position, uint8_t& Align, TFloatingObj*& Obj) const {
  Obj = FindAt(Position);
  if (!Obj) return -1;
  Align = Obj->ObjAlign;
  return Obj->ImageHeight + Obj->VSpaceT + Obj->VSpaceB;
}

int TImageObjList::WidthAt(int Position, uint8_t& Align, int& SpaceLeft, int& SpaceRight, TFloatingObj*& Obj) const {
  Obj = FindAt(Position);
  if (!Obj) return -1;
  Align = Obj->ObjAlign;
  SpaceLeft = Obj->HSpaceL;
  SpaceRight = Obj->HSpaceR;
  return Obj->ImageWidth;
}

void TImageObjList::RemovePosition(int N) {
  for (int I = 0; I < Count(); ++I)
    if (Items(I)->Pos > N) --Items(I)->Pos;
}

bool TImageObjList::HitImage(int X, int Y, int& IX, int& IY, TImageObj*& Image) const {
  for (int I = 0; I < Count(); ++I) {
    auto* Img = dynamic_cast<TImageObj*>(Items(I));
    if (!Img) continue;
    int W = Img->ImageWidth, H = Img->ImageHeight;
    if (Img->Border) {
      W -= 2;
      H -= 2;
    }
    if (X >= Img->DrawX && X < Img->DrawX + W && Y >= Img->DrawYY && Y < Img->DrawYY + H) {
      IX = X - Img->DrawX;
      IY = Y - Img->DrawYY;
      Image = Img;
      return true;
    }
  }
  return false;
}
