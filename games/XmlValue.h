// Leaf values of the games' XML settings. A leaf such as <ColCnt Value="4">4</ColCnt> may carry
// its value as a "Value" child (an attribute or an element) or as its own text; every reader of
// the settings (the games page, the gallery, the course runner) goes through these helpers so
// that both spellings read the same.
#pragma once

#include <string>

class TXMLNode;

// The "Value" child's value when the node has one, else the node's own text.
std::string XmlValue(const TXMLNode* Node);
// The same as an integer; raises the reader's conversion error naming the node when it is none.
int XmlIntValue(const TXMLNode* Node);

// The child of Parent called Name; raises an Exception naming the path when it is missing.
const TXMLNode* XmlChild(const TXMLNode* Parent, const std::string& Name);
// The leaf value of Parent's child Name (missing child: the Exception of XmlChild).
std::string XmlLeaf(const TXMLNode* Parent, const std::string& Name);
int XmlLeafInt(const TXMLNode* Parent, const std::string& Name);
