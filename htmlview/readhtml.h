#pragma once
// The HTML tokenizer: turns HTML text into tag, attribute, entity and text symbols for the
// document builder and the frameset reader. Text stays in bytes of the document's code page;
// every character handed on carries the source position it was read at.

#include <functional>
#include <string>
#include <vector>

#include "platform/core/cp1250.h"
#include "htmlview/htmlsym.h"
#include "htmlview/htmlun2.h"
#include "platform/core/sysutils.h"

VX_DECLARE_EXCEPTION(EParseError, Exception)

// The character that stands for the end of the input.
constexpr char EofChar = 26;

class THtmlTokenizer {
 public:
  // Called for "<!--#command name=value ... -->"; a non-empty Buffer is read in place of the comment.
  using TIncludeEvent =
      std::function<void(const std::string& Command, const std::vector<std::string>& Params, std::string& Buffer)>;

  THtmlTokenizer() = default;
  THtmlTokenizer(const THtmlTokenizer&) = delete;
  THtmlTokenizer& operator=(const THtmlTokenizer&) = delete;

  // Resets every state and reads the first character of Source.
  void Start(std::string Source);

  // Character level.
  void ReadChar();
  char PeekChar() const;
  void GetCh();
  void SkipWhiteSpace();

  // Symbol level.
  void GetToken();
  void GetTextAreaToken();

  // Current character: raw, upper-cased, and the position it was read at.
  char Ch = EofChar;
  char LCh = EofChar;
  int ChPos = 0;

  Symb Sy = NoSy;
  int HeadingLevel = 0;
  TAttributeList Attributes;
  TokenObj Buff;

  // Set by the builder inside PRE and in plain-text mode.
  bool KeepWhiteSpace = false;
  // Off while SCRIPT contents are collected and in plain-text mode.
  bool CommentsEnabled = true;
  // Code page for entities in text, and for entities in attribute values (the system's).
  int CodePage = 1250;
  int SystemCodePage = 1250;

  TIncludeEvent OnInclude;
  TIDNameList* IDNameList = nullptr;

 private:
  char ReadRaw(int& Position);
  void SkipComment();
  void SkipCommentFromHere();
  void SkipToGreater();
  void ReadInclude();
  std::string ReadIncludeValue();
  void ReadTag();
  bool ReadAttribute();
  void ReadEntity(std::string& Out, std::vector<int>* Positions, int Page);
  void ReadText();

  std::string FSource;
  size_t FPtr = 0;
  std::string FInclude;
  size_t FIncPtr = 0;
  bool FInIncludeMode = false;
  enum { leNone, leAfterCR, leAfterLF } FLineEnd = leNone;
  int FCommentDepth = 0;  // comments and declarations being skipped (an include value may nest one)
};

// The numeric value of an attribute text: rounded, saturated to 32 bits, 0 when not a number.
int32_t AttributeNumber(const std::string& Text);

// The character set a document declares, lower-cased: "utf-8" for a UTF-8 byte-order mark, else
// the encoding of an XML declaration at its start, else the first META element before BODY that
// names one (CHARSET, or "charset=" in the CONTENT of an HTTP-EQUIV content-type). Empty when
// none does.
std::string DeclaredCharset(const std::string& Source);
// The document's text in CP1250, converted from the set it declares (a UTF-8 byte-order mark is
// dropped); unchanged when it declares none or one that is not known. Characters that CP1250
// cannot show become '?'.
std::string DocumentInCp1250(const std::string& Source);
