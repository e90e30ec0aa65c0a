#include "htmlview/htmlsym.h"

#include <cstring>

const TSymbolName TagTable[TagCount] = {
    {"HTML", HtmlSy},       {"TITLE", TitleSy},       {"BODY", BodySy},       {"HEAD", HeadSy},
    {"B", BSy},             {"I", ISy},               {"H", HeadingSy},       {"EM", EmSy},
    {"STRONG", StrongSy},   {"U", USy},               {"CITE", CiteSy},       {"VAR", VarSy},
    {"TT", TTSy},           {"CODE", CodeSy},         {"KBD", KbdSy},         {"SAMP", SampSy},
    {"OL", OLSy},           {"UL", ULSy},             {"DIR", DirSy},         {"MENU", MenuSy},
    {"DL", DLSy},           {"A", ASy},               {"ADDRESS", AddressSy}, {"BLOCKQUOTE", BlockQuoteSy},
    {"PRE", PreSy},         {"CENTER", CenterSy},     {"TABLE", TableSy},     {"TD", TDSy},
    {"TH", THSy},           {"CAPTION", CaptionSy},   {"FORM", FormSy},       {"TEXTAREA", TextAreaSy},
    {"SELECT", SelectSy},   {"OPTION", OptionSy},     {"FONT", FontSy},       {"SUB", SubSy},
    {"SUP", SupSy},         {"BIG", BigSy},           {"SMALL", SmallSy},     {"P", PSy},
    {"MAP", MapSy},         {"FRAMESET", FrameSetSy}, {"NOFRAMES", NoFramesSy}, {"SCRIPT", ScriptSy},
    {"DIV", DivSy},         {"S", SSy},               {"STRIKE", StrikeSy},   {"TR", TRSy},
    {"NOBR", NoBrSy},       {"STYLE", StyleSy},       {"SPAN", SpanSy},
    {"LI", LISy},           {"BR", BRSy},             {"HR", HRSy},           {"DD", DDSy},
    {"DT", DTSy},           {"IMG", ImageSy},         {"BASE", BaseSy},       {"BUTTON", ButtonSy},
    {"INPUT", InputSy},     {"SELECTED", SelectedSy}, {"BASEFONT", BaseFontSy}, {"AREA", AreaSy},
    {"FRAME", FrameSy},     {"PAGE", PageSy},         {"BGSOUND", BgSoundSy}, {"WRAP", WrapSy},
    {"META", MetaSy},       {"PANEL", PanelSy},       {"WBR", WbrSy},         {"LINK", LinkSy},
};

const TSymbolName AttributeTable[AttributeCount] = {
    {"HREF", HrefSy},
    {"NAME", NameSy},
    {"SRC", SrcSy},
    {"ALT", AltSy},
    {"ALIGN", AlignSy},
    {"TEXT", TextSy},
    {"BGCOLOR", BGColorSy},
    {"LINK", LinkSy},
    {"BACKGROUND", BackgroundSy},
    {"COLSPAN", ColSpanSy},
    {"ROWSPAN", RowSpanSy},
    {"BORDER", BorderSy},
    {"CELLPADDING", CellPaddingSy},
    {"CELLSPACING", CellSpacingSy},
    {"VALIGN", VAlignSy},
    {"WIDTH", WidthSy},
    {"START", StartSy},
    {"VALUE", ValueSy},
    {"TYPE", TypeSy},
    {"CHECKBOX", CheckBoxSy},
    {"RADIO", RadioSy},
    {"METHOD", MethodSy},
    {"ACTION", ActionSy},
    {"CHECKED", CheckedSy},
    {"SIZE", SizeSy},
    {"MAXLENGTH", MaxLengthSy},
    {"COLS", ColsSy},
    {"ROWS", RowsSy},
    {"MULTIPLE", MultipleSy},
    {"VALUE", ValueSy},  // listed twice; the first entry is the one found
    {"SELECTED", SelectedSy},
    {"FACE", FaceSy},
    {"COLOR", ColorSy},
    {"TRANSP", TranspSy},
    {"CLEAR", ClearSy},
    {"ISMAP", IsMapSy},
    {"BORDERCOLOR", BorderColorSy},
    {"USEMAP", UseMapSy},
    {"SHAPE", ShapeSy},
    {"COORDS", CoordsSy},
    {"NOHREF", NoHrefSy},
    {"HEIGHT", HeightSy},
    {"PLAIN", PlainSy},
    {"TARGET", TargetSy},
    {"NORESIZE", NoResizeSy},
    {"SCROLLING", ScrollingSy},
    {"HSPACE", HSpaceSy},
    {"LANGUAGE", LanguageSy},
    {"FRAMEBORDER", FrameBorderSy},
    {"MARGINWIDTH", MarginWidthSy},
    {"MARGINHEIGHT", MarginHeightSy},
    {"LOOP", LoopSy},
    {"ONCLICK", OnClickSy},
    {"WRAP", WrapSy},
    {"NOSHADE", NoShadeSy},
    {"HTTP-EQUIV", HttpEqSy},
    {"CONTENT", ContentSy},
    {"ENCTYPE", EncTypeSy},
    {"VLINK", VLinkSy},
    {"OLINK", OLinkSy},
    {"ACTIVE", ActiveSy},
    {"VSPACE", VSpaceSy},
    {"CLASS", ClassSy},
    {"ID", IDSy},
    {"STYLE", StyleSy},
    {"REL", RelSy},
    {"REV", RevSy},
    {"NOWRAP", NoWrapSy},
    {"BORDERCOLORLIGHT", BorderColorLightSy},
    {"BORDERCOLORDARK", BorderColorDarkSy},
    {"CHARSET", CharSetSy},
    {"RATIO", RatioSy},
};

const TNamedEntity EntityTable[EntityCount] = {
    {"amp", 0x26},      {"lt", 0x3C},       {"gt", 0x3E},      {"quot", 0x22},    {"rsquo", 0x27},
    {"ndash", 0x2D},    {"trade", 0x2122},  {"nbsp", NbspChar}, {"OElig", 0x152}, {"oelig", 0x153},
    {"Scaron", 0x160},  {"scaron", 0x161},  {"Yuml", 0x178},   {"circ", 0x2C6},   {"tilde", 0x2DC},
    {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009}, {"zwnj", 0x200C}, {"zwj", 0x200D},
    {"lrm", 0x200E},    {"rlm", 0x200F},    {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"bdquo", 0x201E},
    {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
    {"euro", 0x20AC},
};

const char* const Latin1EntityTable[Latin1EntityCount] = {
    "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",
    "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34",
    "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave",
    "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve",
    "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",
    "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",
    "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave", "uacute",
    "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

const TCharsetEntry CharsetTable[CharsetCount] = {
    {"1252", 0},        {"8859-1", 0},       {"1253", 161},      {"8859-7", 161},     {"1250", 238},
    {"8859-2", 238},    {"1251", 204},       {"8859-5", 204},    {"koi", 204},        {"866", 204},
    {"1254", 162},      {"8859-3", 162},     {"8859-9", 162},    {"1257", 186},       {"8859-4", 186},
    {"932", 128},       {"949", 129},        {"936", 134},       {"950", 136},        {"1255", 177},
    {"1256", 178},      {"1258", 163},       {"874", 222},       {"ansi", 0},         {"default", 1},
    {"symbol", 2},      {"shiftjis", 128},   {"shift_jis", 128}, {"x-sjis", 128},     {"hangeul", 129},
    {"gb2312", 134},    {"big5", 136},       {"oem", 255},       {"johab", 130},      {"hebrew", 177},
    {"arabic", 178},    {"greek", 161},      {"turkish", 162},   {"vietnamese", 163}, {"thai", 222},
    {"easteurope", 238}, {"russian", 204},   {"euc-kr", 129},    {"5601", 129},       {"euc-jp", 30},
};

bool CharsetFromText(const std::string& Text, uint8_t& CharSet) {
  for (const TCharsetEntry& E : CharsetTable)
    if (Text.find(E.Key) != std::string::npos) {
      CharSet = E.CharSet;
      return true;
    }
  return false;
}

Symb LookupTag(const std::string& UpperName) {
  for (const TSymbolName& T : TagTable)
    if (UpperName == T.Name) return T.Symbol;
  return NoSy;
}

Symb LookupAttribute(const std::string& UpperName) {
  for (const TSymbolName& A : AttributeTable)
    if (UpperName == A.Name) return A.Symbol;
  return UnknownAttrSy;
}

Symb EndSymbolOf(Symb S) {
  if (S >= HtmlSy && S < FirstTagWithoutEnd) return static_cast<Symb>(S - HtmlSy + HtmlEndSy);
  return NoSy;
}

std::string TagName(Symb S) {
  for (const TSymbolName& T : TagTable)
    if (T.Symbol == S) {
      std::string R = T.Name;
      for (char& C : R) C = static_cast<char>(C + ('a' - 'A'));  // tag names are letters only
      return R;
    }
  return std::string();
}

std::string EndTagName(Symb S) {
  if (S >= HtmlEndSy && S <= SpanEndSy) return TagName(static_cast<Symb>(S - HtmlEndSy + HtmlSy));
  return std::string();
}
