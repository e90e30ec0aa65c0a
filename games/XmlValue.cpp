#include "games/XmlValue.h"

#include "controls/xmlreader.h"
#include "platform/core/sysutils.h"

std::string XmlValue(const TXMLNode* Node) {
  if (const TXMLNode* V = Node->FindChild("Value")) return V->Value;
  return Node->Value;
}

int XmlIntValue(const TXMLNode* Node) {
  const TXMLNode* V = Node->FindChild("Value");
  if (!V) return Node->IntValue();
  // The conversion error names the leaf, not its "Value" child.
  int32_t N;
  if (!TryStrToInt(Trim(V->Value), N)) throw Exception("Node \"" + Node->Name + "\" does not contain a valid integer");
  return N;
}

const TXMLNode* XmlChild(const TXMLNode* Parent, const std::string& Name) {
  const TXMLNode* C = Parent ? Parent->FindChild(Name) : nullptr;
  if (!C) throw Exception("Node \"" + (Parent ? Parent->Name : std::string()) + "\" has no child \"" + Name + "\"");
  return C;
}

std::string XmlLeaf(const TXMLNode* Parent, const std::string& Name) { return XmlValue(XmlChild(Parent, Name)); }

int XmlLeafInt(const TXMLNode* Parent, const std::string& Name) { return XmlIntValue(XmlChild(Parent, Name)); }
