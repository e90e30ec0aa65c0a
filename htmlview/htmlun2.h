#pragma once
// Small building blocks shared by the whole HTML viewer: owning lists, tag attributes, link
// targets, the float bookkeeping of the layout, the document's ID index, the tokenizer's text
// buffer and the conversion of link names to file paths.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/sysutils.h"

// A list that owns its items; Clear and destruction free them.
template <class T>
class TFreeList {
 public:
  TFreeList() = default;
  TFreeList(const TFreeList&) = delete;
  TFreeList& operator=(const TFreeList&) = delete;
  virtual ~TFreeList() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  T* Items(int I) const { return FItems.at(static_cast<size_t>(I)).get(); }
  T* operator[](int I) const { return Items(I); }
  T* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  int Add(T* Item) {
    FItems.emplace_back(Item);
    return Count() - 1;
  }
  void Insert(int I, T* Item) { FItems.emplace(FItems.begin() + I, Item); }
  // Frees the item at I and removes it.
  void Delete(int I) { FItems.erase(FItems.begin() + I); }
  // Takes the item at I out of the list without freeing it.
  T* Extract(int I) {
    T* P = FItems.at(static_cast<size_t>(I)).release();
    FItems.erase(FItems.begin() + I);
    return P;
  }
  int IndexOf(const T* Item) const {
    for (size_t I = 0; I < FItems.size(); ++I)
      if (FItems[I].get() == Item) return static_cast<int>(I);
    return -1;
  }
  virtual void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<T>> FItems;
};

class TProperties;  // the property set of a STYLE attribute, built by the style model

// One attribute of a tag as the tokenizer read it.
class TAttribute {
 public:
  TAttribute(uint8_t ASymbol, int32_t AValue, std::string AText)
      : Symbol(ASymbol), Value(AValue), Text(std::move(AText)) {}
  uint8_t Symbol;
  int32_t Value;
  std::string Text;
};

class TAttributeList : public TFreeList<TAttribute> {
 public:
  ~TAttributeList() override;
  bool Find(uint8_t Symbol, TAttribute*& Attribute) const;
  std::string ClassValue() const;
  std::string IdValue();
  // With a STYLE attribute: a fresh property set filled from its text (owned by the list);
  // without one: nullptr, and the previous set stays.
  TProperties* StyleProperties();
  void Clear() override;
  TProperties* Properties() const { return FProperties; }

 private:
  TProperties* FProperties = nullptr;
  std::string FCachedID;
};

// A link with its target frame; the fonts of one link share one ID.
class TUrlTarget {
 public:
  std::string URL;
  std::string Target;
  int ID = 0;
  void Assign(const std::string& AUrl, const std::string& ATarget);
  void Copy(const TUrlTarget& Other);
  void Clear();
};

// The area of an image-map entry: a rectangle, an ellipse in its box or a polygon (winding fill).
struct THtRegion {
  enum TKind { rkRect, rkEllipse, rkPolygon } Kind = rkRect;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // the bounding box; right and bottom exclusive
  std::vector<std::pair<int, int>> Points;       // polygon corners
  bool Contains(int X, int Y) const;
};

// A client-side image map: per AREA its link, its region and its target.
class TMapItem {
 public:
  std::string Name;
  struct TArea {
    std::string Href;
    THtRegion Region;
    std::string Target;
  };
  std::vector<TArea> Areas;
  void AddArea(const TAttributeList& Attributes);
  // The first area holding the point decides: its link (a new object the caller owns) when it
  // has one; an area without a link hides those under it.
  bool UrlAt(int X, int Y, TUrlTarget*& UrlTarget) const;
};

// An entry of the float bookkeeping; Bottom 9999999 is open-ended.
struct IndentRec {
  int X = 0;
  int Top = 0;
  int Bottom = 0;
  int Block = 0;
  int Float = 0;
};

class IndentManagerBasic {
 public:
  static constexpr int OpenBottom = 9999999;
  virtual ~IndentManagerBasic() = default;
  TFreeList<IndentRec> LeftList;
  TFreeList<IndentRec> RightList;
  int CurrentBlock = 0;
  int LeftEdge = 0;
  int Width = 0;

  void Reset(int ALeftEdge, int AWidth);
  void Clear();
  int LeftEdgeAt(int Y) const;
  int RightEdgeAt(int Y) const;
  int FloatBottom() const;
  void ClearLevels(int& Left, int& Right) const;
  int NextWiderY(int Y) const;
  void AddLeftFloat(int X, int Top);
  void AddRightFloat(int X, int Top);
  void DeleteLeftFloat(int I) { LeftList.Delete(I); }
  void DeleteRightFloat(int I) { RightList.Delete(I); }
};

// The float updates of the layout: floating images and floating blocks.
class IndentManager : public IndentManagerBasic {
 public:
  // A left or right aligned image of the given box and spaces at height Y; Indent receives the
  // image's x relative to the left edge. Other alignments add nothing.
  void AddImageFloat(int Y, bool AlignLeft, bool AlignRight, int BoxWidth, int BoxHeight, int SpaceLeft,
                     int SpaceRight, int SpaceTop, int SpaceBottom, int& Indent);
  // AlignLeft/AlignRight as above; X is the block's absolute left (left floats) or right edge.
  void AddBlockFloat(int Y, int X, bool AlignLeft, bool AlignRight, int Height);
};

// Something that an ID names inside a laid-out document.
class TIDObject {
 public:
  virtual ~TIDObject() = default;
  virtual int YPosition() = 0;
};

class TIDNameList;

// An ID that names a character position of the document rather than an element.
class TChPosObj : public TIDObject {
 public:
  TChPosObj(TIDNameList* AList, int APosition) : Position(APosition), List(AList) {}
  int Position;
  TIDNameList* List;
  int YPosition() override;
};

// The sorted index of the document's ID names. Objects are not owned, except TChPosObj entries.
class TIDNameList {
 public:
  TIDNameList() = default;
  TIDNameList(const TIDNameList&) = delete;
  TIDNameList& operator=(const TIDNameList&) = delete;
  ~TIDNameList() { Clear(); }
  // Finds the y of a character position in the laid-out document (0 when unknown).
  std::function<int(int Position)> PositionToY;

  void AddObject(const std::string& Name, TIDObject* Obj);
  void AddPosition(const std::string& Name, int Position);
  // Takes every name of Obj out (an element that is freed before the document).
  void RemoveObject(const TIDObject* Obj);
  // Case-insensitive lookup; -1 when absent.
  int IndexOf(const std::string& Name) const;
  TIDObject* Objects(int I) const { return FItems.at(static_cast<size_t>(I)).Obj; }
  const std::string& Strings(int I) const { return FItems.at(static_cast<size_t>(I)).Name; }
  int Count() const { return static_cast<int>(FItems.size()); }
  void Clear();

 private:
  struct Item {
    std::string Name;
    TIDObject* Obj;
    bool Owned;
  };
  bool Find(const std::string& Name, size_t& Index) const;
  std::vector<Item> FItems;
};

// The tokenizer's text buffer: characters, each with the source position it came from.
class TokenObj {
 public:
  TokenObj();
  void AppendChar(char C, int Position);
  void AppendToken(const TokenObj& Other);
  void Clear();
  const std::string& AsString();
  int Length() const { return FLength; }
  int Capacity() const { return FCapacity; }
  char Chars(int I) const { return FChars.at(static_cast<size_t>(I)); }
  int Positions(int I) const { return FPositions.at(static_cast<size_t>(I)); }

 private:
  std::string FText;
  bool FTextValid = true;
  std::vector<char> FChars;
  std::vector<int> FPositions;
  int FCapacity = 300;
  int FLength = 0;
};

// Link names to file paths.
std::string TrimText(const std::string& S);
void DecodePercent(std::string& S);
std::string UrlToDosPath(std::string Name);
std::string ServerPathToDos(const std::string& Name, const std::string& Drive);

class TStream;
// Writes the first Length bytes of Text, then CR LF.
void WriteLine(TStream& Stream, const std::string& Text, int Length);
