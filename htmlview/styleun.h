#pragma once
// The style model of the viewer: the property set of one element or one style rule, the
// document's table of style rules, the cascade, and the conversions of style values to points,
// pixels, colours and layout codes.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "htmlview/htmlun2.h"

constexpr int NotSet = -12345678;
constexpr int Auto = -12348765;
constexpr int ParagraphSpace = -12348766;  // a vertical margin standing for a 14-pixel paragraph space
constexpr int ParagraphSpacePixels = 14;
constexpr int32_t Transparent = 0x1FFFFFFF;
constexpr int32_t PaletteRelative = 0x02000000;
// The screen's pixels per inch; the layout is made for 96.
constexpr int ScreenPixelsPerInch = 96;

enum PropIndices {
  FontFamily, FontSize, FontStyle, FontWeight, TextAlign, TextDecoration, BorderStyle, Color,
  BackgroundColor, BorderColor, MarginTop, MarginRight, MarginBottom, MarginLeft,
  PaddingTop, PaddingRight, PaddingBottom, PaddingLeft,
  BorderTopWidth, BorderRightWidth, BorderBottomWidth, BorderLeftWidth,
  BorderTopStyle, BorderRightStyle, BorderBottomStyle, BorderLeftStyle,
  WidthProp, HeightProp, TopPos, LeftPos, Visibility, LineHeight, BackgroundImage, BackgroundPosition,
  BackgroundRepeat, VerticalAlign, PositionProp, ZIndex, ListStyleType, ListStyleImage, FloatProp, ClearProp,
  PropCount
};
constexpr int FirstMargin = BackgroundColor;  // the box values run from background-color
constexpr int LastMargin = LeftPos;            // to left
constexpr int MarginCount = LastMargin - FirstMargin + 1;

extern const char* const PropNames[PropCount];
// The index of a longhand property name; -1 when it is none of them.
int PropIndexOf(const std::string& Name);

using TPropValue = std::variant<std::monostate, std::string, int, double>;

// Value helpers.
inline bool IsEmpty(const TPropValue& V) { return std::holds_alternative<std::monostate>(V); }
inline bool IsString(const TPropValue& V) { return std::holds_alternative<std::string>(V); }
inline bool IsInt(const TPropValue& V) { return std::holds_alternative<int>(V); }
std::string PropString(const TPropValue& V);  // text form; empty for an empty value
bool PropNumber(const TPropValue& V, double& N);  // integers and doubles

// A plain font description.
class ThtFontInfo {
 public:
  enum { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
  std::string iName;
  int iSize = 0;
  int iStyle = 0;
  int32_t iColor = 0;
  int32_t ibgColor = Transparent;
  uint8_t iCharSet = 0;
  bool operator==(const ThtFontInfo&) const = default;
};

enum TLinkState { LFont = 0, VFont = 1, HLFont = 2, HVFont = 3 };

// The fonts of a link in its four states: link, visited, hover, hover over visited.
class TFontInfoArray {
 public:
  std::array<ThtFontInfo, 4> Ar;
  void Assign(const TFontInfoArray& Source) { Ar = Source.Ar; }
};

class TStyleList;
class TProperties;
using TPropStack = TFreeList<TProperties>;
class TMyFont;

// Character set to Windows code page; false for sets not in the table.
bool CodePageOfCharSet(uint8_t CharSet, int& CodePage);

// The first available family of a comma-separated list; empty when none is.
std::string FirstAvailableFont(const std::string& Families);
// Which font families the system has. The GUI layer installs its font list; without one
// every family counts as available.
extern std::function<bool(const std::string& Family)> FontAvailable;

// Border, background and box values of an element (background-color .. left) converted to pixels.
using TMarginArray = std::array<TPropValue, MarginCount>;
using ThtMarginArray = std::array<int, MarginCount>;
inline int MI(int PropIndex) { return PropIndex - FirstMargin; }

enum AlignmentType { ANone, ATop, AMiddle, ABaseline, ABottom, ALeft, ARight, AJustify, ACenter };
enum ClearAttrType { clrNone, clLeft, clRight, clAll };
enum PositionType { posStatic, posRelative, posAbsolute };
enum ListBulletType { lbBlank, lbCircle, lbDecimal, lbDisc, lbLowerAlpha, lbLowerRoman, lbNone, lbSquare,
                      lbUpperAlpha, lbUpperRoman };

class TProperties {
 public:
  TProperties();
  ~TProperties();
  TProperties(const TProperties&) = delete;
  TProperties& operator=(const TProperties&) = delete;

  std::array<TPropValue, PropCount> Props;
  std::array<bool, PropCount> Assigned{};

  // Names the cascade was run with; the base entry's tag is "default".
  std::string PropTag, PropClass, PropID, PropPseudo;
  TProperties* PropStyle = nullptr;  // the STYLE-attribute properties (not owned)
  bool HasLinkFonts() const { return FFontInfo != nullptr; }
  const TFontInfoArray* LinkFonts() const { return FFontInfo.get(); }
  bool IsLink = false;

  int32_t BackgroundColorField = Transparent;
  uint8_t CharSet = 1;
  int CodePage = 1250;
  int EmSize = 16, ExSize = 8;

  void Inherit(const TProperties& Parent);
  void Copy(const TProperties& Source);
  void CopyValues(const TProperties& Source);
  void Update(const TProperties& Parent, TStyleList& Styles, TPropStack& Stack, int StackIndex);
  void AssignProp(const TPropValue& Value, int Index);
  void AssignByName(const std::string& Name, const std::string& Value);
  void AssignCharSet(uint8_t Set);
  void Combine(TStyleList& Styles, const std::string& Tag, const std::string& AClass, const std::string& ID,
               const std::string& Pseudo, TProperties* StyleAttr, TPropStack& Stack, int StackIndex);

  // Fonts.
  void GetFontInfo(ThtFontInfo& Info) const;
  void SetLinkFontInfos(TStyleList& Styles, TPropStack& Stack, int StackIndex);
  TMyFont* GetFont();  // a fresh copy of the cached font; the caller owns it (GUI layer)
  void DropFont() { FFont.reset(); }

  // Conversions of values to numbers.
  void GetMarginArray(TMarginArray& M) const;
  int GetVertAlign() const;  // AlignmentType
  int GetFloat() const;      // ANone, ALeft or ARight
  int GetClear() const;      // ClearAttrType
  int GetListStyleType() const;
  std::string GetListStyleImage() const;
  std::string GetBackgroundImage() const;
  int GetPosition() const;
  int GetVisibility() const;  // 1 hidden, 0 visible
  int GetZIndex() const;
  int GetLineHeight(int NormalHeight) const;
  int32_t GetBackgroundColor();
  int32_t GetFontColor() const;
  bool HasBorderStyle() const;
  void GetBackgroundPos(int EmSize, int ExSize, int& XPos, int& YPos, bool& XCentered, bool& YCentered,
                        bool& XRepeat, bool& YRepeat) const;

 private:
  friend class TStyleList;
  void Merge(const TProperties& Rule);
  void WriteFontRecords(int Index, const TPropValue& Value);
  std::shared_ptr<TMyFont> FFont;
  std::unique_ptr<TFontInfoArray> FFontInfo;
};

// The style rules of a document: selector keys (sorted, duplicates allowed) with owned properties.
class TStyleList {
 public:
  TStyleList();
  ~TStyleList();
  TStyleList(const TStyleList&) = delete;
  TStyleList& operator=(const TStyleList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int I) const { return FItems.at(static_cast<size_t>(I)).Key; }
  TProperties* Objects(int I) const { return FItems.at(static_cast<size_t>(I)).Props.get(); }
  // Index of the first entry with that key (without regard to case), -1 when none.
  int IndexOf(const std::string& Key) const;
  // First index whose key is not below Key.
  int LowerBound(const std::string& Key) const;
  int AddObject(const std::string& Key, TProperties* Props);
  void Clear();

  void AddModifyProp(const std::string& Selector, const std::string& Prop, const std::string& Value);
  void Initialize(const std::string& FontName, const std::string& PreFontName, int MarginWidth, int MarginHeight,
                  uint8_t CharSet, bool UnderlineLinks, int32_t HoverColor, int32_t VisitedColor, int32_t LinkColor,
                  int32_t TextColor, double DefPointSize);
  std::string GetSeq();

  // Set when a rule names ":hover"; the document reads it to decide on hover tracking.
  bool HasHoverRules = false;
  TProperties* DefProp = nullptr;
  double DefPointSize = 12;

 private:
  struct Item {
    std::string Key;
    std::unique_ptr<TProperties> Props;
  };
  TProperties* FindOrAdd(const std::string& Key);
  void SetProp(const std::string& Key, const std::string& Prop, const std::string& Value);
  std::vector<Item> FItems;
  int FSeq = 10;
};

// Value conversions.
double FontSizeToPoints(const std::string& Text, double ParentSize, double DefaultSize);
int LengthToPixels(const std::string& Text, bool BareIsFactor, int Base, int Default, int ExPixels, int EmPixels);
bool ColorFromString(const std::string& Text, bool NeedHash, int32_t& Color);

void ConvertMargins(const TMarginArray& VM, int Width, int Height, int EmSize, int ExSize, ThtMarginArray& M,
                    int& AutoCount);
void ConvertVertMargins(const TMarginArray& VM, int Height, int EmSize, int ExSize, ThtMarginArray& M,
                        bool& TopParaSpace, bool& BottomParaSpace);
void ConvertPaddings(const TMarginArray& VM, int EmSize, int ExSize, ThtMarginArray& M);
void ConvertImageMargins(const TMarginArray& VM, int Width, int Height, int EmSize, int ExSize,
                         ThtMarginArray& M);
