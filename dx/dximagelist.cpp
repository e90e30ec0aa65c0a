#include "dx/dximagelist.h"

#include <algorithm>
#include <climits>

#include "platform/core/cp1250.h"

// ---------------------------------------------------------------------------------------------
void TDXPicture::SetGraphic(const TGraphic* Value) {
  if (!Value) {
    FGraphic.reset();
    return;
  }
  auto dib = std::make_unique<TDIB>();
  dib->Assign(Value);
  FGraphic = std::move(dib);
}

// ---------------------------------------------------------------------------------------------
TPictureCollectionItem::TPictureCollectionItem(TCollection* ACollection)
    : THashCollectionItem(ACollection), FPicture(std::make_unique<TDXPicture>()) {}

TPictureCollectionItem::~TPictureCollectionItem() { Finalize(); }

TPictureCollection* TPictureCollectionItem::PictureCollection() const {
  return static_cast<TPictureCollection*>(Collection());
}

void TPictureCollectionItem::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentColor = Value;
  for (TDirectDrawSurface* s : FSurfaces) s->SetTransparentColor(s->ColorMatch(Value));
}

int TPictureCollectionItem::Width() const { return FPatternWidth > 0 ? FPatternWidth : FPicture->Width(); }
int TPictureCollectionItem::Height() const { return FPatternHeight > 0 ? FPatternHeight : FPicture->Height(); }

int TPictureCollectionItem::PatternCount() const {
  if (!FSurfaces.empty()) return static_cast<int>(FPatterns.size());
  // A cell pitch of zero or less counts as one column (or row): the whole picture.
  auto cells = [](int Pic, int Pattern, int Skip) {
    const int pitch = Pattern + Skip;
    if (pitch <= 0) return 1;
    return Pic / pitch + (Pic % pitch == Pattern ? 1 : 0);
  };
  return cells(FPicture->Width(), FPatternWidth, FSkipWidth) * cells(FPicture->Height(), FPatternHeight, FSkipHeight);
}

TRect TPictureCollectionItem::PatternRect(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FPatterns.size())) return TRect();
  return FPatterns[static_cast<size_t>(Index)].Rect;
}

TDirectDrawSurface* TPictureCollectionItem::PatternSurface(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FPatterns.size())) return nullptr;
  return FPatterns[static_cast<size_t>(Index)].Surface;
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* Dest, int X, int Y, int PatternIndex) {
  if (!FInitialized || !Dest || PatternIndex < 0 || PatternIndex >= static_cast<int>(FPatterns.size())) return;
  const TPictureCollectionItemPattern& p = FPatterns[static_cast<size_t>(PatternIndex)];
  Dest->Draw(X, Y, p.Rect, p.Surface, FTransparent);
}

void TPictureCollectionItem::Initialize() {
  Finalize();
  FInitialized = PictureCollection() && PictureCollection()->DisplayReady();
}

void TPictureCollectionItem::ClearSurfaces() {
  FPatterns.clear();
  for (TDirectDrawSurface* s : FSurfaces) delete s;
  FSurfaces.clear();
}

void TPictureCollectionItem::Finalize() {
  if (!FInitialized) return;
  FInitialized = false;
  ClearSurfaces();
}

TDirectDrawSurface* TPictureCollectionItem::AddSurface(const TRect& R) {
  auto* s = new TDirectDrawSurface(PictureCollection()->DXDraw()->DDraw());
  FSurfaces.push_back(s);
  s->SetSystemMemory(FSystemMemory);
  s->LoadFromGraphicRect(FPicture->Graphic(), 0, 0, R);
  s->SetTransparentColor(s->ColorMatch(FTransparentColor));
  return s;
}

void TPictureCollectionItem::Restore() {
  if (!FPicture->Graphic() || FPicture->Graphic()->Empty()) return;
  if (!FInitialized) {
    if (PictureCollection() && PictureCollection()->DisplayReady()) Initialize();
    if (!FInitialized) return;
  }
  ClearSurfaces();
  const int picW = FPicture->Width(), picH = FPicture->Height();
  const int w = Width(), h = Height();
  const int cellW = w + FSkipWidth, cellH = h + FSkipHeight;
  if (w == picW && h == picH) {
    TDirectDrawSurface* s = AddSurface(TRect(0, 0, picW, picH));
    FPatterns.push_back({TRect(0, 0, picW, picH), s});
    return;
  }
  if (cellW <= 0 || cellH <= 0) return;
  const int rows = (picH + FSkipHeight) / cellH, cols = (picW + FSkipWidth) / cellW;
  if (FSystemMemory) {
    TDirectDrawSurface* s = AddSurface(TRect(0, 0, picW, picH));
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) FPatterns.push_back({TRect(c * cellW, r * cellH, c * cellW + w, r * cellH + h), s});
    return;
  }
  // Blocks of whole cells about 512 pixels wide and high, so that each surface stays small.
  const int blockW = std::min(((cellW + 511) / cellW) * cellW, ((picW + FSkipWidth) / cellW) * cellW);
  const int blockH = std::min(((cellH + 511) / cellH) * cellH, ((picH + FSkipHeight) / cellH) * cellH);
  if (blockW <= 0 || blockH <= 0) return;
  const int blocksX = (picW + blockW - 1) / blockW, blocksY = (picH + blockH - 1) / blockH;
  for (int by = 0; by < blocksY; ++by)
    for (int bx = 0; bx < blocksX; ++bx) {
      int sw = std::min(blockW, std::max(picW - bx * blockW, 0));
      if (sw == 0) sw = blockW;
      int sh = std::min(blockH, std::max(picH - by * blockH, 0));
      if (sh == 0) sh = blockH;
      AddSurface(TRect(bx * blockW, by * blockH, bx * blockW + sw, by * blockH + sh));
    }
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int x = c * cellW, y = r * cellH;
      const size_t n = static_cast<size_t>(x / blockW + (y / blockH) * blocksX);
      if (n >= FSurfaces.size()) continue;
      const int rx = x - (x / blockW) * blockW, ry = y % blockH;
      FPatterns.push_back({TRect(rx, ry, rx + w, ry + h), FSurfaces[n]});
    }
}

void TPictureCollectionItem::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TPictureCollectionItem*>(Source);
  if (!s) {
    THashCollectionItem::Assign(Source);
    return;
  }
  const bool was = FInitialized;
  Finalize();
  SetName(s->Name());
  FPatternHeight = s->FPatternHeight;
  FPatternWidth = s->FPatternWidth;
  FSkipHeight = s->FSkipHeight;
  FSkipWidth = s->FSkipWidth;
  FSystemMemory = s->FSystemMemory;
  FTransparent = s->FTransparent;
  FTransparentColor = s->FTransparentColor;
  FPicture->Assign(s->FPicture.get());
  if (was) Restore();
}

// ---------------------------------------------------------------------------------------------
TPictureCollection::TPictureCollection(TPersistent* AOwner)
    : THashCollection([](TCollection* C) { return new TPictureCollectionItem(C); }), FOwner(AOwner) {}

TPictureCollection::~TPictureCollection() {
  Finalize();
  Clear();
}

TPictureCollectionItem* TPictureCollection::Items(int Index) const {
  return static_cast<TPictureCollectionItem*>(TCollection::Items(Index));
}

TPictureCollectionItem* TPictureCollection::ItemByName(const std::string& Name) const {
  const int i = IndexByName(Name);
  if (i < 0) throw EPictureCollectionError(Format(SDXImageNotFound, {Name}));
  return Items(i);
}

bool TPictureCollection::DisplayReady() const { return FDXDraw && FDXDraw->Initialized(); }

void TPictureCollection::Initialize(TCustomDXDraw* DXDraw) {
  Finalize();
  FDXDraw = DXDraw;
  if (!DisplayReady()) throw EPictureCollectionError(Format(SDXCannotInitialize, {ClassName()}));
  for (int i = 0; i < Count(); ++i) Items(i)->Initialize();
}

void TPictureCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) Items(i)->Finalize();
  FDXDraw = nullptr;
}

void TPictureCollection::Restore() {
  for (int i = 0; i < Count(); ++i) Items(i)->Restore();
}

void TPictureCollection::BuildColorTable() {
  ColorTable = TRGBQuads{};
  std::array<bool, 256> used{};
  int count = 0;
  auto fixed = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
    ColorTable[static_cast<size_t>(i)] = TRGBQuad{b, g, r, 0};
    used[static_cast<size_t>(i)] = true;
    ++count;
  };
  fixed(0, 0, 0, 0);
  fixed(1, 128, 0, 0);
  fixed(2, 0, 128, 0);
  fixed(3, 128, 128, 0);
  fixed(4, 0, 0, 128);
  fixed(5, 128, 0, 128);
  fixed(6, 0, 128, 128);
  fixed(7, 192, 192, 192);
  fixed(248, 128, 128, 128);
  fixed(249, 255, 0, 0);
  fixed(250, 0, 255, 0);
  fixed(251, 255, 255, 0);
  fixed(252, 0, 0, 255);
  fixed(253, 255, 0, 255);
  fixed(254, 0, 255, 255);
  fixed(255, 255, 255, 255);
  for (int i = 0; i < Count() && count < 256; ++i) {
    auto* dib = dynamic_cast<TDIB*>(Items(i)->Picture()->Graphic());
    if (!dib || dib->BitCount() > 8) continue;
    for (const TRGBQuad& q : dib->ColorTable()) {
      bool present = false;
      for (size_t k = 0; k < 256 && !present; ++k) present = used[k] && ColorTable[k] == q;
      if (present) continue;
      const auto freeIt = std::find(used.begin(), used.end(), false);
      if (freeIt == used.end()) break;
      const size_t k = static_cast<size_t>(freeIt - used.begin());
      ColorTable[k] = q;
      used[k] = true;
      ++count;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The .DXG image: a resource header followed by a binary component stream whose root is a picture
// collection component with the properties "List.ColorTable" and "List".
namespace {

enum TValueType : uint8_t {
  vaNull = 0, vaList, vaInt8, vaInt16, vaInt32, vaExtended, vaString, vaIdent, vaFalse, vaTrue, vaBinary, vaSet,
  vaLString, vaNil, vaCollection, vaSingle, vaCurrency, vaDate, vaWString, vaInt64, vaUTF8String
};

[[noreturn]] void BadFormat() { throw EInvalidImage(SInvalidStreamFormat); }

// Reads the component stream with every length checked against what is left.
class TDXGReader {
 public:
  explicit TDXGReader(TStream* S) : FS(S), FEnd(S->Size()) {}

  uint8_t Byte() {
    uint8_t b;
    if (FS->Read(&b, 1) != 1) BadFormat();
    return b;
  }
  uint8_t PeekByte() {
    const uint8_t b = Byte();
    FS->Seek(-1, soFromCurrent);
    return b;
  }
  std::string Bytes(int64_t N) {
    if (N < 0 || N > FEnd - FS->Position()) BadFormat();
    std::string s(static_cast<size_t>(N), '\0');
    if (N > 0) FS->ReadBuffer(s.data(), N);
    return s;
  }
  uint32_t U32() {
    const std::string b = Bytes(4);
    return static_cast<uint32_t>(static_cast<uint8_t>(b[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(b[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[3])) << 24);
  }
  std::string ShortString() { return Bytes(Byte()); }

  int64_t IntegerOf(uint8_t Tag) {
    switch (Tag) {
      case vaInt8: return static_cast<int8_t>(Byte());
      case vaInt16: {
        const std::string b = Bytes(2);
        return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | (static_cast<uint8_t>(b[1]) << 8)));
      }
      case vaInt32: return static_cast<int32_t>(U32());
      case vaInt64: {
        const uint64_t lo = U32(), hi = U32();
        return static_cast<int64_t>(lo | (hi << 32));
      }
    }
    BadFormat();
  }
  int32_t Integer() {
    const int64_t v = IntegerOf(Byte());
    if (v < INT32_MIN || v > INT32_MAX) BadFormat();
    return static_cast<int32_t>(v);
  }
  bool Boolean() {
    const uint8_t t = Byte();
    if (t == vaFalse) return false;
    if (t == vaTrue) return true;
    BadFormat();
  }
  std::string String() {
    const uint8_t t = Byte();
    switch (t) {
      case vaString: return ShortString();
      case vaLString: return Bytes(U32());
      case vaUTF8String: return Utf8ToCp1250(Bytes(U32()));
      case vaWString: {
        const uint32_t n = U32();
        if (n > (FEnd - FS->Position()) / 2) BadFormat();
        const std::string raw = Bytes(int64_t{n} * 2);
        std::u16string w(n, u'\0');
        for (size_t i = 0; i < n; ++i)
          w[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
        return Utf16ToCp1250(w);
      }
    }
    BadFormat();
  }
  std::string Binary() {
    if (Byte() != vaBinary) BadFormat();
    return Bytes(U32());
  }
  // A property value of any kind, skipped.
  void SkipValue() {
    const uint8_t t = Byte();
    switch (t) {
      case vaNull: case vaNil: case vaFalse: case vaTrue: return;
      case vaInt8: case vaInt16: case vaInt32: case vaInt64: IntegerOf(t); return;
      case vaExtended: Bytes(10); return;
      case vaSingle: Bytes(4); return;
      case vaCurrency: case vaDate: Bytes(8); return;
      case vaString: case vaIdent: ShortString(); return;
      case vaLString: case vaUTF8String: Bytes(U32()); return;
      case vaWString: Bytes(int64_t{U32()} * 2); return;
      case vaBinary: Bytes(U32()); return;
      case vaSet:
        while (!ShortString().empty()) {
        }
        return;
    }
    BadFormat();
  }

  TStream* FS;
  int64_t FEnd;
};

void ReadItemProperty(TDXGReader& R, TPictureCollectionItem* Item, const std::string& Name) {
  auto size = [&]() {
    const int32_t v = R.Integer();
    if (v < 0) BadFormat();  // negative cell sizes would make no sense and break the cell arithmetic
    return v;
  };
  if (SameText(Name, "Name")) {
    Item->SetName(R.String());
  } else if (SameText(Name, "PatternHeight")) {
    Item->SetPatternHeight(size());
  } else if (SameText(Name, "PatternWidth")) {
    Item->SetPatternWidth(size());
  } else if (SameText(Name, "SkipHeight")) {
    Item->SetSkipHeight(size());
  } else if (SameText(Name, "SkipWidth")) {
    Item->SetSkipWidth(size());
  } else if (SameText(Name, "SystemMemory")) {
    Item->SetSystemMemory(R.Boolean());
  } else if (SameText(Name, "Transparent")) {
    Item->SetTransparent(R.Boolean());
  } else if (SameText(Name, "TransparentColor")) {
    const uint8_t t = R.PeekByte();
    if (t == vaIdent) {
      R.Byte();
      TColor c;
      if (!IdentToColor(R.ShortString(), c)) BadFormat();
      Item->SetTransparentColor(c);
    } else {
      Item->SetTransparentColor(R.Integer());
    }
  } else if (SameText(Name, "Picture.Data")) {
    // The graphic is read from exactly the bytes of the property, so that a picture whose own
    // header disagrees with the length cannot desynchronise the rest of the stream.
    TMemoryStream sub;
    sub.WriteString(R.Binary());
    sub.SetPosition(0);
    TDXGReader in(&sub);
    const std::string cls = in.ShortString();
    if (cls.empty()) {
      Item->Picture()->SetGraphic(nullptr);
      return;
    }
    if (!SameText(cls, "TDIB")) BadFormat();
    auto dib = std::make_unique<TDIB>();
    try {
      dib->ReadData(&sub);
    } catch (const EReadError&) {
      BadFormat();
    }
    Item->Picture()->SetGraphic(std::move(dib));
  } else {
    throw EReadError(Format("Property %s does not exist", {Name}));
  }
}

void ReadCollection(TDXGReader& R, TPictureCollection* List) {
  if (R.Byte() != vaCollection) BadFormat();
  for (;;) {
    uint8_t t = R.Byte();
    if (t == vaNull) return;
    if (t == vaInt8 || t == vaInt16 || t == vaInt32) {
      R.IntegerOf(t);  // order value
      t = R.Byte();
    }
    if (t != vaList) BadFormat();
    TPictureCollectionItem* item = List->Add();
    for (;;) {
      const std::string name = R.ShortString();
      if (name.empty()) break;
      ReadItemProperty(R, item, name);
    }
  }
}

void ReadResourceHeader(TStream* S) {
  const int64_t start = S->Position();
  uint8_t h[3];
  if (S->Read(h, 3) != 3 || h[0] != 0xFF || (h[1] | (h[2] << 8)) != 10) BadFormat();
  // The resource name, byte by byte up to its terminating zero.
  for (;;) {
    uint8_t b;
    if (S->Read(&b, 1) != 1) BadFormat();
    if (b == 0) break;
    if (S->Position() - start > 4096) BadFormat();
  }
  const int64_t pos = S->Position() + 6;
  if (pos > S->Size()) BadFormat();
  S->SetPosition(pos);
}

void Put(std::string& S, uint32_t V, int N) {
  for (int i = 0; i < N; ++i) S += static_cast<char>((V >> (8 * i)) & 255);
}
void PutShort(std::string& S, const std::string& V) {
  S += static_cast<char>(V.size());
  S += V;
}
void PutInteger(std::string& S, int32_t V) {
  if (V >= -128 && V <= 127) {
    S += static_cast<char>(vaInt8);
    Put(S, static_cast<uint32_t>(V), 1);
  } else if (V >= -32768 && V <= 32767) {
    S += static_cast<char>(vaInt16);
    Put(S, static_cast<uint32_t>(V), 2);
  } else {
    S += static_cast<char>(vaInt32);
    Put(S, static_cast<uint32_t>(V), 4);
  }
}
void PutString(std::string& S, const std::string& V) {
  if (V.size() <= 255) {
    S += static_cast<char>(vaString);
    PutShort(S, V);
  } else {
    S += static_cast<char>(vaLString);
    Put(S, static_cast<uint32_t>(V.size()), 4);
    S += V;
  }
}

}  // namespace

class TPictureCollectionComponent : public TComponent {
 public:
  TPictureCollectionComponent() : TComponent(nullptr) {}
  std::string ClassName() const override { return "TPictureCollectionComponent"; }
  TPictureCollection* List = nullptr;
};

void TPictureCollection::LoadFromStream(TStream* Stream) {
  Clear();
  TPictureCollectionComponent root;
  root.List = this;
  ReadResourceHeader(Stream);
  TDXGReader r(Stream);
  if (r.Bytes(4) != "TPF0") BadFormat();
  uint8_t first = r.PeekByte();
  if ((first & 0xF0) == 0xF0) {
    r.Byte();
    if (first & 0x02) r.Integer();  // child position
  }
  if (!SameText(r.ShortString(), root.ClassName())) BadFormat();
  r.ShortString();  // object name
  for (;;) {
    const std::string name = r.ShortString();
    if (name.empty()) break;
    if (SameText(name, "List.ColorTable")) {
      const std::string t = r.Binary();
      if (t.size() != 1024) BadFormat();
      for (size_t i = 0; i < 256; ++i)
        ColorTable[i] = TRGBQuad{static_cast<uint8_t>(t[4 * i]), static_cast<uint8_t>(t[4 * i + 1]),
                                 static_cast<uint8_t>(t[4 * i + 2]), static_cast<uint8_t>(t[4 * i + 3])};
    } else if (SameText(name, "List")) {
      ReadCollection(r, this);
    } else {
      throw EReadError(Format("Property %s does not exist", {name}));
    }
  }
  if (r.Byte() != vaNull) BadFormat();  // no child objects
  if (DisplayReady()) {
    Initialize(FDXDraw);
    Restore();
  }
}

void TPictureCollection::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(&f);
}

void TPictureCollection::SaveToStream(TStream* Stream) {
  std::string c = "TPF0";
  PutShort(c, "TPictureCollectionComponent");
  PutShort(c, "");
  PutShort(c, "List.ColorTable");
  c += static_cast<char>(vaBinary);
  Put(c, 1024, 4);
  for (const TRGBQuad& q : ColorTable) {
    c += static_cast<char>(q.rgbBlue);
    c += static_cast<char>(q.rgbGreen);
    c += static_cast<char>(q.rgbRed);
    c += static_cast<char>(q.rgbReserved);
  }
  PutShort(c, "List");
  c += static_cast<char>(vaCollection);
  for (int i = 0; i < Count(); ++i) {
    TPictureCollectionItem* it = Items(i);
    c += static_cast<char>(vaList);
    if (!it->Name().empty()) {
      PutShort(c, "Name");
      PutString(c, it->Name());
    }
    const std::pair<const char*, int> ints[] = {{"PatternHeight", it->PatternHeight()},
                                                {"PatternWidth", it->PatternWidth()}};
    for (const auto& [n, v] : ints)
      if (v != 0) {
        PutShort(c, n);
        PutInteger(c, v);
      }
    TGraphic* g = it->Picture()->Graphic();
    auto* dib = dynamic_cast<TDIB*>(g);
    std::unique_ptr<TDIB> converted;
    if (g && !dib) {
      converted = std::make_unique<TDIB>();
      converted->Assign(static_cast<const TGraphic*>(g));
      dib = converted.get();
    }
    if (dib && !dib->Empty()) {
      TMemoryStream data;
      dib->WriteData(&data);
      data.SetPosition(0);
      std::string v;
      PutShort(v, "TDIB");
      v += data.ReadString(data.Size());
      PutShort(c, "Picture.Data");
      c += static_cast<char>(vaBinary);
      Put(c, static_cast<uint32_t>(v.size()), 4);
      c += v;
    }
    const std::pair<const char*, int> skips[] = {{"SkipHeight", it->SkipHeight()}, {"SkipWidth", it->SkipWidth()}};
    for (const auto& [n, v] : skips)
      if (v != 0) {
        PutShort(c, n);
        PutInteger(c, v);
      }
    if (it->SystemMemory()) {
      PutShort(c, "SystemMemory");
      c += static_cast<char>(vaTrue);
    }
    if (!it->Transparent()) {
      PutShort(c, "Transparent");
      c += static_cast<char>(vaFalse);
    }
    if (it->TransparentColor() != 0) {
      PutShort(c, "TransparentColor");
      std::string ident;
      if (ColorToIdent(it->TransparentColor(), ident)) {
        c += static_cast<char>(vaIdent);
        PutShort(c, ident);
      } else {
        PutInteger(c, it->TransparentColor());
      }
    }
    c += '\0';
  }
  c += '\0';  // end of the collection
  c += '\0';  // end of the root's properties
  c += '\0';  // no child objects
  std::string h;
  h += static_cast<char>(0xFF);
  Put(h, 10, 2);
  h += "TPICTURECOLLECTIONCOMPONENT";
  h += '\0';
  Put(h, 0x1030, 2);
  Put(h, static_cast<uint32_t>(c.size()), 4);
  Stream->WriteString(h);
  Stream->WriteString(c);
}

void TPictureCollection::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(&f);
}

// ---------------------------------------------------------------------------------------------
TCustomDXImageList::TCustomDXImageList(TComponent* AOwner)
    : TComponent(AOwner), FItems(std::make_unique<TPictureCollection>(nullptr)) {}

TCustomDXImageList::~TCustomDXImageList() {
  SetDXDraw(nullptr);
  FItems.reset();
}

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* Value) {
  TCustomDXDraw::Rebind(this, FDXDraw, Value,
                        [this](TCustomDXDraw* S, TDXDrawNotifyType N) { DXDrawNotify(S, N); });
}

void TCustomDXImageList::DXDrawNotify(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType) {
  switch (NotifyType) {
    case dnDestroying: FDXDraw = nullptr; break;
    case dnInitialize: FItems->Initialize(Sender); break;
    case dnFinalize: FItems->Finalize(); break;
    case dnRestore: FItems->Restore(); break;
    default: break;
  }
}

void TCustomDXImageList::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDXDraw) {
    FDXDraw->UnregisterListener(this);
    FDXDraw = nullptr;
  }
}
