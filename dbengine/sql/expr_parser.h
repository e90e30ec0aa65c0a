// The expression scanner and recursive-descent parser. NextToken is also the scanner of the SQL
// statement parser. Every syntax error raises the engine error of the parser's ErrorCode with its
// TableName and a message that ends in the parser's Context ("filter expression", a clause name).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dbengine/sql/expr_token.h"
#include "dbengine/sql/expr_values.h"
#include "platform/core/sysutils.h"

// Token kinds of the scanner; any other character is returned as its own code.
constexpr uint8_t tkEnd = 0;
constexpr uint8_t tkIdentifier = 1;
constexpr uint8_t tkBracketed = 2;
constexpr uint8_t tkString = 3;
constexpr uint8_t tkCharConstant = 4;
constexpr uint8_t tkInteger = 5;
constexpr uint8_t tkFloat = 6;

// Context flags: what the clause being parsed allows.
constexpr uint8_t pfAggregates = 1;
constexpr uint8_t pfAllColumns = 2;
constexpr uint8_t pfPredicates = 4;
constexpr uint8_t pfParameters = 8;
constexpr uint8_t pfSubSelects = 16;

constexpr uint16_t kFilterErrorCode = 10051;
constexpr uint16_t kSQLErrorCode = 11949;

class TExpressionParser : public TEngineObject {
 public:
  explicit TExpressionParser(void* Owner = nullptr);
  ~TExpressionParser();
  TExpressionParser(const TExpressionParser&) = delete;
  TExpressionParser& operator=(const TExpressionParser&) = delete;

  void Reset();
  void SetText(const std::string& Text);
  uint8_t NextToken();
  // Scans the token at Position of the text (after the blanks and comments there).
  uint8_t ScanFrom(size_t Position);
  // Whether the current token is an operand (a literal, a name) that the expression ends after:
  // the next token is a delimiter or a name other than an operator's word. A name followed by '.'
  // or '(' is not alone. The current token stays current.
  bool LoneOperand();
  uint8_t TokenKind() const { return TokenKind_; }
  std::string TokenText() const;
  bool IsKeyword(std::string_view Word) const;
  bool IsSymbol(int Code) const { return TokenKind_ == Code; }
  void MarkPosition() { Mark_ = TokenStart_; }
  std::string MarkedText() const;
  int GetPosition() const { return static_cast<int>(TokenStart_); }

  // Limits: parentheses, function calls and sub-selects nest at most 256 deep ("Expression nesting
  // is too deep in <context>"). A finished tree is at most 1000 levels deep, every term of a chain
  // of "+", "-", "*", "/", "||" or comparisons being one level, and an IN list holds at most 2000
  // values; beyond either, "Expression is too long in <context>". Chains of AND and OR of any length
  // are built balanced: 20,000 AND terms make a tree some 15 levels deep.
  TExpToken* ParseExpression(uint8_t Flags);
  TExpToken* ParsePrimary(uint8_t Flags);
  void ParseDataTypeKeyword(TExpToken* Node, uint8_t Flags, bool Optional);

  // Raises the parser's engine error with Message (cut to 255 characters).
  [[noreturn]] void Fail(const std::string& Message) const;
  // Raises Head + current token + "' in " + context.
  [[noreturn]] void FailAt(const std::string& Head) const;

  void* Owner = nullptr;
  uint16_t ErrorCode = kFilterErrorCode;
  std::string TableName;
  std::string Context;
  // Number formats in force: the decimal separator of float literals. The caller installs the
  // table's (or statement's) locale record here; language 0 uses '.'.
  const TFormatSettings* Settings = &LocaleFormatSettings(0, 0);
  // Parses the query of an IN sub-select from the current token on (the SQL statement parser);
  // it returns the query, leaving the token after it current. Without it sub-selects are refused.
  std::function<TDataQuery*(TExpressionParser& Parser)> OnParseSubSelect;

 private:
  char Ch(size_t P) const { return P < Text_.size() ? Text_[P] : '\0'; }
  TExpToken* ParseOr(uint8_t Flags);
  TExpToken* ParseAnd(uint8_t Flags);
  TExpToken* ParseLogicalChain(uint8_t Flags, uint8_t Code);
  TExpToken* ParsePrimaryNode(uint8_t Flags);
  void CheckDepth(const TExpToken* Root) const;
  TExpToken* ParseNot(uint8_t Flags);
  TExpToken* ParsePredicate(uint8_t Flags);
  TExpToken* ParseAdditive(uint8_t Flags);
  TExpToken* ParseTerm(uint8_t Flags);
  TExpToken* ParseUnary(uint8_t Flags);
  TExpToken* ParseIdentifier(uint8_t Flags);
  TExpToken* ParseFunction(uint8_t Flags, uint8_t Code, const std::string& Name);
  TExpToken* ParseQualified(uint8_t Flags, const std::string& First);
  TExpToken* ParseExtended(uint8_t Flags, TExpToken* Left);
  void Expect(char Symbol, const char* Head);
  void ExpectKeyword(const char* Word, const char* Head);

  bool HasText_ = false;
  std::string Text_;  // without the terminating zero; scanning stops at the first zero byte
  size_t Position_ = 0;
  size_t TokenStart_ = 0;
  size_t TokenEnd_ = 0;
  size_t Mark_ = 0;
  size_t PreviousEnd_ = 0;
  uint8_t TokenKind_ = tkEnd;
  int Nesting_ = 0;  // open parentheses, function arguments and sub-selects being parsed
};

// Links Next as the following item of a chain (IN lists, FROM/FOR, WITH, data type arguments)
// through Item's operand 2. A subtree already hanging there is freed: chained items are always
// single values, and the type checker rejects anything else.
void ChainExpToken(TExpToken* Item, TExpToken* Next);
