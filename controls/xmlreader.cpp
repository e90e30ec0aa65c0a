#include "controls/xmlreader.h"

#include <algorithm>
#include <memory>

const char* const XMLNodeKindNames[5] = {"Document", "Element", "Attribute", "ProcessingInstruction",
                                         "XMLDeclaration"};

namespace {

const char DQ = '"';

// Deeper nesting than this is refused, so that hostile input cannot exhaust the stack.
const int MaxElementDepth = 256;

bool IsWhiteSpace(unsigned char C) { return C == 9 || C == 10 || C == 13 || C == 32; }

bool IsNameStart(unsigned char C) { return C == ':' || C == '_' || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

bool IsNameChar(unsigned char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == 0xB7 || C == '-' ||
         C == '.' || C == ':' || C == '_';
}

bool EndsWith(const std::string& S, const char* Tail) {
  const std::string_view T(Tail);
  return S.size() >= T.size() && S.compare(S.size() - T.size(), T.size(), T) == 0;
}

const char* const WhiteSpaceSet = "\t\n\r ";

}  // namespace

// ---- TXMLNode -------------------------------------------------------------------------------------

TXMLNode::~TXMLNode() {
  for (TXMLNode* Child : FChildren) delete Child;
}

void TXMLNode::AddChild(TXMLNode* Node) { FChildren.push_back(Node); }

void TXMLNode::RemoveChild(TXMLNode* Node) {
  auto It = std::find(FChildren.begin(), FChildren.end(), Node);
  if (It != FChildren.end()) FChildren.erase(It);
}

TXMLNode* TXMLNode::GetChild(int Index) const {
  if (Index < 0 || Index >= ChildCount()) throw EListError(Format("List index out of bounds (%d)", {Index}));
  return FChildren[static_cast<size_t>(Index)];
}

TXMLNode* TXMLNode::FindChild(const std::string& AName) const { return FindNthChild(AName, 0); }

TXMLNode* TXMLNode::FindNthChild(const std::string& AName, int N) const {
  for (TXMLNode* Child : FChildren) {
    if (Child->Name == AName) {
      if (N == 0) return Child;
      --N;
    }
  }
  return nullptr;
}

int TXMLNode::IntValue() const {
  int32_t V;
  if (!TryStrToInt(Value, V)) throw Exception(std::string("Node ") + DQ + Name + DQ + " does not contain a valid integer");
  return V;
}

// ---- TXMLStringReader -----------------------------------------------------------------------------

namespace {
class TXMLStringReaderState : public TXMLReaderState {
 public:
  TXMLStringReaderState(int P, unsigned char C) : Position(P), Ch(C) {}
  std::string ClassName() const override { return "TXMLStringReaderState"; }
  int Position;
  unsigned char Ch;
};
}  // namespace

bool TXMLStringReader::AtEnd() { return static_cast<int>(FText.size()) < FPosition; }

void TXMLStringReader::NextChar() {
  if (FPosition <= static_cast<int>(FText.size())) {
    FCh = static_cast<unsigned char>(FText[static_cast<size_t>(FPosition - 1)]);
    ++FPosition;
  } else {
    FCh = 0;
  }
}

TXMLReaderState* TXMLStringReader::SaveState() { return new TXMLStringReaderState(FPosition, FCh); }

void TXMLStringReader::RestoreState(TXMLReaderState* State) {
  auto* S = static_cast<TXMLStringReaderState*>(State);
  FPosition = S->Position;
  FCh = S->Ch;
}

void TXMLStringReader::DiscardState(TXMLReaderState* State) { delete State; }

// ---- TXMLReader -----------------------------------------------------------------------------------

// Holds a saved state and discards it however the scope is left.
class TXMLReader::StateGuard {
 public:
  explicit StateGuard(TXMLReader* R) : FReader(R), FState(R->SaveState()) {}
  ~StateGuard() { FReader->DiscardState(FState); }
  StateGuard(const StateGuard&) = delete;
  StateGuard& operator=(const StateGuard&) = delete;
  void Restore() { FReader->RestoreState(FState); }

 private:
  TXMLReader* FReader;
  TXMLReaderState* FState;
};

void TXMLReader::Error(const std::string& Message) { throw Exception(Message); }

void TXMLReader::Advance() {
  if (AtEnd()) Error("Unexpected end of data");
  NextChar();
}

// The source has been read to its end and no character is current.
bool TXMLReader::SourceEnded() { return AtEnd() && FCh == 0; }

bool TXMLReader::Match(const char* Literal) {
  const std::string_view L(Literal);
  if (L.empty()) return false;
  StateGuard State(this);
  bool Result;
  size_t I = 0;
  do {
    Result = FCh == static_cast<unsigned char>(L[I]);
    NextChar();
    ++I;
  } while (Result && I < L.size() && !AtEnd());
  if (!Result) State.Restore();
  return Result;
}

void TXMLReader::SkipWhiteSpace() {
  while (IsWhiteSpace(FCh) && !AtEnd()) NextChar();
}

bool TXMLReader::ReadName(std::string& Name) {
  Name.clear();
  if (!IsNameStart(FCh)) return false;
  do {
    Name += static_cast<char>(FCh);
    Advance();
  } while (IsNameChar(FCh));
  return true;
}

TXMLNode* TXMLReader::ReadDocument() {
  FDepth = 0;
  Advance();
  auto Document = std::make_unique<TXMLNode>();
  Document->Kind = nkDocument;
  Prolog(Document.get());
  if (!Element(Document.get())) Error("Missing element");
  while (Misc(Document.get())) {
  }
  return Document.release();
}

void TXMLReader::Prolog(TXMLNode* Document) {
  XMLDeclaration(Document);
  while (Misc(Document)) {
  }
  if (Match("<!DOCTYPE")) Error("DocTypeDecl parsing not yet implemented");
  while (Misc(Document)) {
  }
}

bool TXMLReader::XMLDeclaration(TXMLNode* Document) {
  if (!Match("<?xml")) return false;
  auto Node = std::make_unique<TXMLNode>();
  Node->Kind = nkXMLDeclaration;
  do {
    SkipWhiteSpace();
  } while (Attribute(Node.get()));
  SkipWhiteSpace();
  if (!Match("?>")) Error(std::string("XML declaration not terminated with ") + DQ + "?>" + DQ);
  Document->AddChild(Node.release());
  return true;
}

bool TXMLReader::Misc(TXMLNode* Parent) {
  if (IsWhiteSpace(FCh) && !AtEnd()) {
    SkipWhiteSpace();
    return true;
  }
  return Comment() || ProcessingInstruction(Parent);
}

bool TXMLReader::Element(TXMLNode* Parent) {
  if (FCh != '<') return false;
  std::string Name;
  {
    StateGuard State(this);
    Advance();
    if (!ReadName(Name)) {
      State.Restore();
      return false;
    }
  }
  if (FDepth >= MaxElementDepth) Error("Elements nested too deeply");
  auto* Node = new TXMLNode();
  Node->Kind = nkElement;
  Node->Name = Name;
  Parent->AddChild(Node);
  ++FDepth;
  try {
    do {
      SkipWhiteSpace();
    } while (Attribute(Node));
    if (FCh == '/') {
      Advance();
      if (FCh != '>') Error("Tag not terminated properly");
      // Past the '>' without requiring more text, so that an empty root element may be the very
      // last bytes of the document.
      NextChar();
    } else if (FCh == '>') {
      Advance();
      Content(Node);
      Node->Value = TrimSet(Node->Value, WhiteSpaceSet);
      if (!EndTag(Node)) Error("No ending tag for " + Node->Name);
    } else {
      Error("Tag not terminated properly");
    }
  } catch (...) {
    --FDepth;
    Parent->RemoveChild(Node);
    delete Node;
    throw;
  }
  --FDepth;
  return true;
}

bool TXMLReader::Attribute(TXMLNode* Element) {
  std::string Name;
  if (!ReadName(Name)) return false;
  SkipWhiteSpace();
  const unsigned char Eq = FCh;
  Advance();
  if (Eq != '=') Error("Equals sign missing in attribute");
  SkipWhiteSpace();
  std::string Value;
  if (!AttributeValue(Value)) Error(std::string("Attribute ") + DQ + Name + DQ + " missing value");
  auto* Node = new TXMLNode();
  Node->Kind = nkAttribute;
  Node->Name = Name;
  Node->Value = Value;
  Element->AddChild(Node);
  return true;
}

bool TXMLReader::AttributeValue(std::string& Value) {
  Value.clear();
  const unsigned char Quote = FCh;
  if (Quote != '"' && Quote != '\'') return false;
  Advance();
  while (FCh != Quote) {
    if (FCh == '<') {
      Error(std::string("Invalid character ") + DQ + "<" + DQ + " in attribute value");
    } else if (FCh == '&') {
      Value += Reference();
    } else {
      Value += static_cast<char>(FCh);
      Advance();
    }
  }
  Advance();
  return true;
}

void TXMLReader::Content(TXMLNode* Element) {
  for (;;) {
    if (CDataSection(Element) || ProcessingInstruction(Element) || Comment() || this->Element(Element) ||
        CharacterData(Element))
      continue;
    if (FCh == '&') {
      Element->Value += Reference();
      continue;
    }
    break;
  }
}

bool TXMLReader::CharacterData(TXMLNode* Element) {
  std::string Text;
  while (FCh != '&' && FCh != '<' && FCh != 0) {
    Text += static_cast<char>(FCh);
    NextChar();
  }
  if (Text.empty()) return false;
  if (Text.find("]]>") != std::string::npos)
    Error(std::string("Character data cannot contain ") + DQ + "]]>" + DQ);
  Element->Value += Text;
  return true;
}

bool TXMLReader::CDataSection(TXMLNode* Element) {
  if (!Match("<![CDATA[")) return false;
  std::string Text;
  do {
    Text += static_cast<char>(FCh);
    Advance();
  } while (!EndsWith(Text, "]]>"));
  Text.resize(Text.size() - 3);
  Element->Value += Text;
  return true;
}

bool TXMLReader::Comment() {
  if (!Match("<!--")) return false;
  std::string Text;
  while (!SourceEnded()) {
    Text += static_cast<char>(FCh);
    NextChar();
    if (EndsWith(Text, "-->")) break;
  }
  if (EndsWith(Text, "--->")) Error(std::string("Comments cannot end in ") + DQ + "--->" + DQ);
  return true;
}

bool TXMLReader::ProcessingInstruction(TXMLNode* Parent) {
  if (!Match("<?")) return false;
  std::string Name;
  if (!ReadName(Name)) Error("Processing instruction does not contain valid name");
  if (Name == "xml") Error(std::string("Processing instruction cannot have the reserved name ") + DQ + "xml" + DQ);
  auto Node = std::make_unique<TXMLNode>();
  Node->Kind = nkProcessingInstruction;
  Node->Name = Name;
  SkipWhiteSpace();
  std::string Text;
  while (!SourceEnded()) {
    Text += static_cast<char>(FCh);
    NextChar();
    if (EndsWith(Text, "?>")) break;
  }
  if (!EndsWith(Text, "?>")) Error("Unterminated processing instruction");
  Text.resize(Text.size() - 2);
  Node->Value = Text;
  Parent->AddChild(Node.release());
  return true;
}

bool TXMLReader::EndTag(TXMLNode* Element) {
  if (!Match("</")) return false;
  std::string Name;
  if (!ReadName(Name)) return false;
  if (Name != Element->Name)
    Error(std::string("End tag name ") + DQ + Name + DQ + " does not match start tag name " + DQ + Element->Name + DQ);
  SkipWhiteSpace();
  if (FCh != '>') Error(std::string("End tag missing ") + DQ + ">" + DQ);
  NextChar();
  return true;
}

char TXMLReader::Reference() {
  if (FCh != '&') Error(std::string("All references must begin with ") + DQ + "&" + DQ);
  Advance();
  std::string Text;
  while (FCh != ';') {
    Text += static_cast<char>(FCh);
    Advance();
  }
  char Result;
  if (Text.compare(0, 2, "#x") == 0 || Text.compare(0, 1, "#") == 0) {
    const bool Hex = Text.compare(0, 2, "#x") == 0;
    const std::string Number = Hex ? "$" + Text.substr(2) : Text.substr(1);
    int32_t V;
    if (!TryStrToInt(Number, V)) Error("Invalid integer in reference &" + Text + ";");
    Result = static_cast<char>(static_cast<unsigned char>(V & 0xFF));
  } else if (Text == "amp") {
    Result = '&';
  } else if (Text == "lt") {
    Result = '<';
  } else if (Text == "gt") {
    Result = '>';
  } else if (Text == "quot") {
    Result = '"';
  } else if (Text == "apos") {
    Result = '\'';
  } else {
    Error("Unrecognized reference");
  }
  Advance();
  return Result;
}

// ---- String routines ------------------------------------------------------------------------------

std::string LeftStr(const std::string& S, int N) {
  if (N <= 0) return std::string();
  return S.substr(0, static_cast<size_t>(N));
}

std::string RightStr(const std::string& S, int N) {
  if (N > static_cast<int>(S.size())) return S;
  if (N <= 0) return std::string();
  return S.substr(S.size() - static_cast<size_t>(N));
}

std::string TrimSet(const std::string& S, const std::string& Set) {
  const size_t First = S.find_first_not_of(Set);
  if (First == std::string::npos) return std::string();
  const size_t Last = S.find_last_not_of(Set);
  return S.substr(First, Last - First + 1);
}
