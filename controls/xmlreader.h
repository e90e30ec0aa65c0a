// A small, strict, non-validating XML reader: a whole document held in a string becomes a tree of
// TXMLNode objects. No DOCTYPE, the five predefined entities and numeric character references,
// 8-bit text (an encoding named in the declaration is not interpreted). Parsing stops at the first
// error with an Exception carrying one of the reader's fixed messages.
#pragma once

#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"

enum TXMLNodeKind : Byte {
  nkDocument = 0,
  nkElement = 1,
  nkAttribute = 2,
  nkProcessingInstruction = 3,
  nkXMLDeclaration = 4,
};

// "Document", "Element", "Attribute", "ProcessingInstruction", "XMLDeclaration".
extern const char* const XMLNodeKindNames[5];

// A parsed node. It owns its children (attributes first, then content, in document order).
class TXMLNode : public TObject {
 public:
  TXMLNode() = default;
  ~TXMLNode() override;
  std::string ClassName() const override { return "TXMLNode"; }

  // Element: character data, CDATA and references joined, trimmed of blanks at both ends.
  // Attribute: its value. Processing instruction: the text after the target name.
  std::string Value;
  // Element or attribute name, processing-instruction target; empty for the document and the
  // declaration.
  std::string Name;
  TXMLNodeKind Kind = nkDocument;

  void AddChild(TXMLNode* Node);     // takes ownership
  void RemoveChild(TXMLNode* Node);  // gives ownership back; does not free
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  // 0-based; raises EListError "List index out of bounds (<index>)" outside the list.
  TXMLNode* GetChild(int Index) const;
  // The first child whose Name equals Name exactly, or nullptr.
  TXMLNode* FindChild(const std::string& Name) const;
  // The N-th (from 0) child whose Name equals Name exactly, or nullptr.
  TXMLNode* FindNthChild(const std::string& Name, int N) const;
  // Value as an integer; raises Exception "Node "<name>" does not contain a valid integer".
  int IntValue() const;

 private:
  std::vector<TXMLNode*> FChildren;
};

// A saved reading position.
class TXMLReaderState : public TObject {
 public:
  std::string ClassName() const override { return "TXMLReaderState"; }
};

// The parser over an abstract character source. The current character is a byte, 0 past the end.
class TXMLReader : public TObject {
 public:
  std::string ClassName() const override { return "TXMLReader"; }
  // Parses the whole source. The caller owns the returned document node.
  TXMLNode* ReadDocument();

 protected:
  virtual bool AtEnd() = 0;
  virtual void DiscardState(TXMLReaderState* State) = 0;
  virtual void NextChar() = 0;
  virtual void RestoreState(TXMLReaderState* State) = 0;
  virtual TXMLReaderState* SaveState() = 0;

  unsigned char FCh = 0;

 private:
  class StateGuard;
  void Advance();
  bool Match(const char* Literal);
  bool SourceEnded();
  void SkipWhiteSpace();
  bool ReadName(std::string& Name);
  [[noreturn]] static void Error(const std::string& Message);

  void Prolog(TXMLNode* Document);
  bool XMLDeclaration(TXMLNode* Document);
  bool Misc(TXMLNode* Parent);
  bool Element(TXMLNode* Parent);
  bool Attribute(TXMLNode* Element);
  bool AttributeValue(std::string& Value);
  void Content(TXMLNode* Element);
  bool CharacterData(TXMLNode* Element);
  bool CDataSection(TXMLNode* Element);
  bool Comment();
  bool ProcessingInstruction(TXMLNode* Parent);
  bool EndTag(TXMLNode* Element);
  char Reference();

  int FDepth = 0;
};

// The reader over a string held in memory.
class TXMLStringReader : public TXMLReader {
 public:
  explicit TXMLStringReader(std::string Text) : FText(std::move(Text)) {}
  std::string ClassName() const override { return "TXMLStringReader"; }

 protected:
  bool AtEnd() override;
  void DiscardState(TXMLReaderState* State) override;
  void NextChar() override;
  void RestoreState(TXMLReaderState* State) override;
  TXMLReaderState* SaveState() override;

 private:
  std::string FText;
  int FPosition = 1;  // 1-based index of the next character to load
};

// Small string routines of the reader.
std::string LeftStr(const std::string& S, int N);   // the first N characters
std::string RightStr(const std::string& S, int N);  // the last N characters, or S when N exceeds it
// S without leading and trailing characters that occur in Set (empty when all do).
std::string TrimSet(const std::string& S, const std::string& Set);
