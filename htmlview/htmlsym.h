#pragma once
// The symbols of the HTML tokenizer: tags, their end tags, attributes and a few special symbols,
// all in one 8-bit enumeration, with the name tables that produce them.

#include <cstdint>
#include <string>

enum Symb : uint8_t {
  NoSy = 0,
  // Tags with end tags.
  HtmlSy, TitleSy, BodySy, HeadSy, BSy, ISy, HeadingSy, EmSy, StrongSy, USy,
  CiteSy, VarSy, TTSy, CodeSy, KbdSy, SampSy, OLSy, ULSy, DirSy, MenuSy,
  DLSy, ASy, AddressSy, BlockQuoteSy, PreSy, CenterSy, TableSy, TDSy, THSy, CaptionSy,
  FormSy, TextAreaSy, SelectSy, OptionSy, FontSy, SubSy, SupSy, BigSy, SmallSy, PSy,
  MapSy, FrameSetSy, NoFramesSy, ScriptSy, DivSy, SSy, StrikeSy, TRSy, NoBrSy, StyleSy, SpanSy,
  // Tags without end tags.
  LISy, BRSy, HRSy, DDSy, DTSy, ImageSy, BaseSy, ButtonSy, InputSy, SelectedSy,
  BaseFontSy, AreaSy, FrameSy, PageSy, BgSoundSy, WrapSy, MetaSy, PanelSy, WbrSy, LinkSy,
  // End tags, in the order of the tags above.
  HtmlEndSy, TitleEndSy, BodyEndSy, HeadEndSy, BEndSy, IEndSy, HeadingEndSy, EmEndSy, StrongEndSy, UEndSy,
  CiteEndSy, VarEndSy, TTEndSy, CodeEndSy, KbdEndSy, SampEndSy, OLEndSy, ULEndSy, DirEndSy, MenuEndSy,
  DLEndSy, AEndSy, AddressEndSy, BlockQuoteEndSy, PreEndSy, CenterEndSy, TableEndSy, TDEndSy, THEndSy,
  CaptionEndSy, FormEndSy, TextAreaEndSy, SelectEndSy, OptionEndSy, FontEndSy, SubEndSy, SupEndSy, BigEndSy,
  SmallEndSy, PEndSy, MapEndSy, FrameSetEndSy, NoFramesEndSy, ScriptEndSy, DivEndSy, SEndSy, StrikeEndSy,
  TREndSy, NoBrEndSy, StyleEndSy, SpanEndSy,
  // Attributes (LINK, WRAP, SELECTED and STYLE use the tag symbols, TEXT the text symbol).
  HrefSy, NameSy, SrcSy, AltSy, AlignSy, BGColorSy, BackgroundSy, ColSpanSy, RowSpanSy,
  BorderSy, CellPaddingSy, CellSpacingSy, VAlignSy, WidthSy, StartSy, ValueSy, TypeSy, CheckBoxSy,
  RadioSy, MethodSy, ActionSy, CheckedSy, SizeSy, MaxLengthSy, ColsSy, RowsSy, MultipleSy,
  FaceSy, ColorSy, TranspSy, ClearSy, IsMapSy, BorderColorSy, UseMapSy, ShapeSy, CoordsSy, NoHrefSy,
  HeightSy, PlainSy, TargetSy, NoResizeSy, ScrollingSy, HSpaceSy, LanguageSy, FrameBorderSy,
  MarginWidthSy, MarginHeightSy, LoopSy, OnClickSy, NoShadeSy, HttpEqSy, ContentSy, EncTypeSy,
  VLinkSy, OLinkSy, ActiveSy, VSpaceSy, ClassSy, IDSy, RelSy, RevSy, NoWrapSy,
  BorderColorLightSy, BorderColorDarkSy, CharSetSy, RatioSy,
  // Special symbols.
  TextSy, OtherChar, UnknownTagSy, UnknownAttrSy, EofSy, EolSy, TextAreaEndTagSy
};

// The first tag without an end tag; tags below it have end symbols.
constexpr Symb FirstTagWithoutEnd = LISy;
constexpr int TagCount = 71;
constexpr int EndTagCount = 51;
constexpr int AttributeCount = 72;

struct TSymbolName {
  const char* Name;
  Symb Symbol;
};

extern const TSymbolName TagTable[TagCount];
extern const TSymbolName AttributeTable[AttributeCount];

struct TNamedEntity {
  const char* Name;
  uint16_t Code;
};
constexpr int EntityCount = 36;
extern const TNamedEntity EntityTable[EntityCount];
constexpr int Latin1EntityCount = 95;
extern const char* const Latin1EntityTable[Latin1EntityCount];  // codes 161..255
constexpr char NbspChar = 5;  // the internal non-breaking space

struct TCharsetEntry {
  const char* Key;
  uint8_t CharSet;
};
constexpr int CharsetCount = 45;
extern const TCharsetEntry CharsetTable[CharsetCount];
// The character set of a declared charset text: the first key that occurs in it; false when none.
bool CharsetFromText(const std::string& Text, uint8_t& CharSet);

// The symbol of a tag name (upper case); NoSy when unknown.
Symb LookupTag(const std::string& UpperName);
// The symbol of an attribute name (upper case); UnknownAttrSy when unknown.
Symb LookupAttribute(const std::string& UpperName);
// The end symbol of a start symbol, 0 for tags without end tags.
Symb EndSymbolOf(Symb S);
// Lower-case tag name of a start or end symbol; empty for other symbols.
std::string TagName(Symb S);
std::string EndTagName(Symb S);
