#include "htmlview/htmlun2.h"

#include <algorithm>

#include "htmlview/htmlsym.h"
#include "platform/core/classes.h"
#include "htmlview/stylepars.h"
#include "htmlview/styleun.h"

// ---- TAttributeList ----

TAttributeList::~TAttributeList() {
  delete FProperties;
}

bool TAttributeList::Find(uint8_t Symbol, TAttribute*& Attribute) const {
  for (int I = 0; I < Count(); ++I)
    if (Items(I)->Symbol == Symbol) {
      Attribute = Items(I);
      return true;
    }
  Attribute = nullptr;
  return false;
}

std::string TAttributeList::ClassValue() const {
  TAttribute* A;
  if (Find(ClassSy, A)) return LowerCase(A->Text);
  return std::string();
}

std::string TAttributeList::IdValue() {
  TAttribute* A;
  if (FCachedID.empty() && Find(IDSy, A)) FCachedID = LowerCase(A->Text);
  return FCachedID;
}

TProperties* TAttributeList::StyleProperties() {
  TAttribute* A;
  if (!Find(StyleSy, A)) return nullptr;
  delete FProperties;
  FProperties = nullptr;
  FProperties = new TProperties();
  ParseStyleAttribute(*FProperties, A->Text);
  return FProperties;
}

void TAttributeList::Clear() {
  FCachedID.clear();
  TFreeList<TAttribute>::Clear();
}

// ---- TUrlTarget ----

namespace {
int UrlTargetCounter = 10;
}

void TUrlTarget::Assign(const std::string& AUrl, const std::string& ATarget) {
  URL = AUrl;
  Target = ATarget;
  ID = UrlTargetCounter++;
}

void TUrlTarget::Copy(const TUrlTarget& Other) {
  URL = Other.URL;
  Target = Other.Target;
  ID = Other.ID;
}

void TUrlTarget::Clear() {
  URL.clear();
  Target.clear();
  ID = 0;
}

// ---- image maps ----

bool THtRegion::Contains(int X, int Y) const {
  if (X < Left || X >= Right || Y < Top || Y >= Bottom) return false;
  const double PX = X + 0.5, PY = Y + 0.5;  // pixel centres
  switch (Kind) {
    case rkRect:
      return true;
    case rkEllipse: {
      const double CX = (Left + Right) / 2.0, CY = (Top + Bottom) / 2.0;
      const double A = (Right - Left) / 2.0, B = (Bottom - Top) / 2.0;
      if (A <= 0 || B <= 0) return false;
      const double DX = (PX - CX) / A, DY = (PY - CY) / B;
      return DX * DX + DY * DY <= 1.0;
    }
    case rkPolygon: {
      int Winding = 0;
      const size_t N = Points.size();
      for (size_t I = 0; I < N; ++I) {
        const auto& [X1, Y1] = Points[I];
        const auto& [X2, Y2] = Points[(I + 1) % N];
        const double Cross = (X2 - X1) * (PY - Y1) - (PX - X1) * (Y2 - Y1);
        if (Y1 <= PY) {
          if (Y2 > PY && Cross > 0) ++Winding;
        } else if (Y2 <= PY && Cross < 0) {
          --Winding;
        }
      }
      return Winding != 0;
    }
  }
  return false;
}

void TMapItem::AddArea(const TAttributeList& Attributes) {
  std::vector<int> Coords;
  std::string Href, Target, Shape;
  for (int I = 0; I < Attributes.Count(); ++I) {
    const TAttribute* A = Attributes[I];
    switch (A->Symbol) {
      case CoordsSy: {
        std::string S = Trim(A->Text);
        size_t P = 0;
        while (P < S.size() && Coords.size() < 301) {
          size_t E = S.find_first_of(", ", P);
          std::string Num = S.substr(P, E == std::string::npos ? std::string::npos : E - P).substr(0, 20);
          Coords.push_back(StrToIntDef(Num, 0));
          if (E == std::string::npos) break;
          P = S.find_first_not_of(", ", E);
          if (P == std::string::npos) break;
        }
        break;
      }
      case NoHrefSy:
        Href.clear();
        break;
      case TargetSy:
        Target = A->Text;
        break;
      case HrefSy:
        Href = A->Text;
        break;
      case ShapeSy:
        Shape = LowerCase(A->Text.substr(0, 4));
        break;
      default:
        break;
    }
  }
  THtRegion R;
  if (Shape == "circ") {
    if (Coords.size() < 3) return;
    const int X = Coords[0], Y = Coords[1], Rad = Coords[2];
    R.Kind = THtRegion::rkEllipse;
    R.Left = X - Rad;
    R.Top = Y - Rad;
    R.Right = X + Rad + 1;
    R.Bottom = Y + Rad + 1;
  } else if (Shape == "poly") {
    if (Coords.size() < 6) return;
    R.Kind = THtRegion::rkPolygon;
    for (size_t I = 0; I + 1 < Coords.size(); I += 2) R.Points.emplace_back(Coords[I], Coords[I + 1]);
    R.Left = R.Right = R.Points[0].first;
    R.Top = R.Bottom = R.Points[0].second;
    for (const auto& [X, Y] : R.Points) {
      R.Left = std::min(R.Left, X);
      R.Right = std::max(R.Right, X + 1);
      R.Top = std::min(R.Top, Y);
      R.Bottom = std::max(R.Bottom, Y + 1);
    }
  } else {
    if (Coords.size() < 4) return;
    R.Kind = THtRegion::rkRect;
    R.Left = Coords[0];
    R.Top = Coords[1];
    R.Right = Coords[2] + 1;
    R.Bottom = Coords[3] + 1;
  }
  Areas.push_back(TArea{Href, std::move(R), Target});
}

bool TMapItem::UrlAt(int X, int Y, TUrlTarget*& UrlTarget) const {
  UrlTarget = nullptr;
  for (const TArea& A : Areas) {
    if (!A.Region.Contains(X, Y)) continue;
    if (A.Href.empty()) return false;
    UrlTarget = new TUrlTarget();
    UrlTarget->URL = A.Href;
    UrlTarget->Target = A.Target;
    return true;
  }
  return false;
}

// ---- IndentManagerBasic ----

void IndentManagerBasic::Reset(int ALeftEdge, int AWidth) {
  LeftEdge = ALeftEdge;
  Width = AWidth;
  CurrentBlock = 0;
}

void IndentManagerBasic::Clear() {
  LeftList.Clear();
  RightList.Clear();
  CurrentBlock = 0;
}

int IndentManagerBasic::LeftEdgeAt(int Y) const {
  int Result = 0;
  for (int I = 0; I < LeftList.Count(); ++I) {
    const IndentRec* R = LeftList[I];
    if (R->Top <= Y && Y < R->Bottom && (R->Block == 0 || R->Block == CurrentBlock)) Result = std::max(Result, R->X);
  }
  return Result + LeftEdge;
}

int IndentManagerBasic::RightEdgeAt(int Y) const {
  bool Found = false;
  int Result = 0;
  for (int I = 0; I < RightList.Count(); ++I) {
    const IndentRec* R = RightList[I];
    if (R->Top <= Y && Y < R->Bottom && (R->Block == 0 || R->Block == CurrentBlock)) {
      Result = Found ? std::min(Result, R->X) : R->X;
      Found = true;
    }
  }
  // Records never reach past the manager's own right side.
  return Found ? std::min(Result + LeftEdge, Width) : Width;
}

int IndentManagerBasic::FloatBottom() const {
  int Result = 0;
  for (const TFreeList<IndentRec>* L : {&LeftList, &RightList})
    for (int I = 0; I < L->Count(); ++I)
      if ((*L)[I]->Block == 0 && (*L)[I]->Bottom < OpenBottom) Result = std::max(Result, (*L)[I]->Bottom);
  return Result;
}

void IndentManagerBasic::ClearLevels(int& Left, int& Right) const {
  auto Level = [](const TFreeList<IndentRec>& L, bool DocumentOnly) {
    bool Any = false;
    int Bottom = 0;
    for (int I = 0; I < L.Count(); ++I)
      if ((!DocumentOnly || L[I]->Block == 0) && L[I]->Bottom < OpenBottom) {
        Bottom = Any ? std::max(Bottom, L[I]->Bottom) : L[I]->Bottom;
        Any = true;
      }
    return Any ? Bottom + 1 : 0;
  };
  Left = Level(LeftList, true);
  Right = Level(RightList, false);
}

int IndentManagerBasic::NextWiderY(int Y) const {
  auto Smallest = [Y](const TFreeList<IndentRec>& L, bool DocumentOnly, int& Out) {
    bool Any = false;
    for (int I = 0; I < L.Count(); ++I) {
      const IndentRec* R = L[I];
      // Open-ended records are the edges of enclosing blocks, not floats that end somewhere.
      if ((DocumentOnly && R->Block != 0) || R->Bottom <= Y || R->Bottom >= OpenBottom) continue;
      Out = Any ? std::min(Out, R->Bottom) : R->Bottom;
      Any = true;
    }
    return Any;
  };
  int L = 0, R = 0;
  bool HasL = Smallest(LeftList, true, L);
  bool HasR = Smallest(RightList, false, R);
  if (HasL && HasR) return std::min(L, R);
  if (HasL) return L;
  if (HasR) return R;
  return Y;
}

void IndentManagerBasic::AddLeftFloat(int X, int Top) {
  LeftList.Add(new IndentRec{X, Top, OpenBottom, CurrentBlock, 0});
}

void IndentManagerBasic::AddRightFloat(int X, int Top) {
  RightList.Add(new IndentRec{X, Top, OpenBottom, CurrentBlock, 0});
}

void IndentManager::AddImageFloat(int Y, bool AlignLeft, bool AlignRight, int BoxWidth, int BoxHeight,
                                  int SpaceLeft, int SpaceRight, int SpaceTop, int SpaceBottom, int& Indent) {
  const int W = BoxWidth + SpaceLeft + SpaceRight;
  const int H = BoxHeight + SpaceTop + SpaceBottom;
  if (AlignLeft) {
    const int Left = LeftEdgeAt(Y) - LeftEdge;
    Indent = Left + SpaceLeft;
    LeftList.Add(new IndentRec{Left + W, Y, Y + H, CurrentBlock, 0});
  } else if (AlignRight) {
    // Records and the indent are relative to the left edge, like those of left floats.
    const int X = RightEdgeAt(Y) - W - LeftEdge;
    Indent = X + SpaceLeft;
    RightList.Add(new IndentRec{X, Y, Y + H, CurrentBlock, 0});
  }
}

void IndentManager::AddBlockFloat(int Y, int X, bool AlignLeft, bool AlignRight, int Height) {
  if (AlignLeft)
    LeftList.Add(new IndentRec{X - LeftEdge, Y, Y + Height, CurrentBlock, 1});
  else if (AlignRight)
    RightList.Add(new IndentRec{X - LeftEdge, Y, Y + Height, CurrentBlock, 1});
}

// ---- TIDNameList ----

int TChPosObj::YPosition() {
  if (List && List->PositionToY) return List->PositionToY(Position);
  return 0;
}

bool TIDNameList::Find(const std::string& Name, size_t& Index) const {
  size_t Lo = 0, Hi = FItems.size();
  while (Lo < Hi) {
    size_t Mid = (Lo + Hi) / 2;
    int C = CompareText(FItems[Mid].Name, Name);
    if (C < 0)
      Lo = Mid + 1;
    else
      Hi = Mid;
  }
  Index = Lo;
  return Lo < FItems.size() && CompareText(FItems[Lo].Name, Name) == 0;
}

int TIDNameList::IndexOf(const std::string& Name) const {
  size_t I;
  return Find(Name, I) ? static_cast<int>(I) : -1;
}

void TIDNameList::AddObject(const std::string& Name, TIDObject* Obj) {
  size_t I;
  if (Find(Name, I)) {
    // The later element of a duplicated ID wins.
    if (FItems[I].Owned) delete FItems[I].Obj;
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(I));
  }
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(I), Item{Name, Obj, false});
}

void TIDNameList::AddPosition(const std::string& Name, int Position) {
  auto* P = new TChPosObj(this, Position);
  AddObject(Name, P);
  size_t I;
  Find(Name, I);
  FItems[I].Owned = true;
}

void TIDNameList::RemoveObject(const TIDObject* Obj) {
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(), [Obj](const Item& It) { return !It.Owned && It.Obj == Obj; }),
               FItems.end());
}

void TIDNameList::Clear() {
  for (Item& It : FItems)
    if (It.Owned) delete It.Obj;
  FItems.clear();
}

// ---- TokenObj ----

TokenObj::TokenObj() : FChars(300), FPositions(300) {}

void TokenObj::AppendChar(char C, int Position) {
  if (FLength >= FCapacity) {
    FCapacity += 50;
    FChars.resize(static_cast<size_t>(FCapacity));
    FPositions.resize(static_cast<size_t>(FCapacity));
  }
  FChars[static_cast<size_t>(FLength)] = C;
  FPositions[static_cast<size_t>(FLength)] = Position;
  ++FLength;
  FTextValid = false;
}

void TokenObj::AppendToken(const TokenObj& Other) {
  int NewLength = FLength + Other.FLength;
  if (NewLength > FCapacity) {
    FCapacity = NewLength + 50;
    FChars.resize(static_cast<size_t>(FCapacity));
    FPositions.resize(static_cast<size_t>(FCapacity));
  }
  std::copy_n(Other.FChars.begin(), Other.FLength, FChars.begin() + FLength);
  std::copy_n(Other.FPositions.begin(), Other.FLength, FPositions.begin() + FLength);
  FLength = NewLength;
  FTextValid = false;
}

void TokenObj::Clear() {
  FLength = 0;
  FText.clear();
  FTextValid = true;
}

const std::string& TokenObj::AsString() {
  if (!FTextValid) {
    FText.assign(FChars.data(), static_cast<size_t>(FLength));
    FTextValid = true;
  }
  return FText;
}

// ---- link names to paths ----

std::string TrimText(const std::string& S) {
  size_t B = 0, E = S.size();
  while (E > 0 && static_cast<unsigned char>(S[E - 1]) <= 32) --E;
  while (B < E && static_cast<unsigned char>(S[B]) < 33) ++B;
  return S.substr(B, E - B);
}

namespace {
int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

void ReplaceAll(std::string& S, char From, char To) {
  std::replace(S.begin(), S.end(), From, To);
}
}  // namespace

void DecodePercent(std::string& S) {
  for (;;) {
    size_t P = S.find('%');
    // A "%" in the first place, or one without two following characters, ends decoding.
    if (P == std::string::npos || P == 0 || S.size() - P < 3) return;
    int H = HexDigit(S[P + 1]), L = HexDigit(S[P + 2]);
    if (H < 0 || L < 0) return;
    S[P] = static_cast<char>(H * 16 + L);
    S.erase(P + 1, 2);
  }
}

std::string UrlToDosPath(std::string Name) {
  DecodePercent(Name);
  if (Name.find('/') != std::string::npos) {
    std::string Lower = LowerCase(Name);
    size_t P = Lower.find("file:///");
    if (P != std::string::npos)
      Name.erase(P, 8);
    else if ((P = Lower.find("file://")) != std::string::npos)
      Name.erase(P, 7);
    ReplaceAll(Name, '|', ':');
    ReplaceAll(Name, '/', '\\');
  }
  return Name;
}

std::string ServerPathToDos(const std::string& Name, const std::string& Drive) {
  std::string Result = UrlToDosPath(Name);
  if (!Result.empty() && Result[0] == '\\' && (Result.size() < 2 || Result[1] != '\\')) Result = Drive + Result;
  return Result;
}

void WriteLine(TStream& Stream, const std::string& Text, int Length) {
  const int64_t N = std::clamp<int64_t>(Length, 0, static_cast<int64_t>(Text.size()));
  if (N > 0) Stream.Write(Text.data(), N);
  Stream.Write("\r\n", 2);
}
