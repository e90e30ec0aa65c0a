#pragma once
// The style-sheet reader: STYLE elements and linked sheets into a TStyleList, STYLE attributes
// into one TProperties.

#include <functional>
#include <string>
#include <vector>

#include "htmlview/styleun.h"

using TGetCharFunc = std::function<char()>;  // the next character; 26 at the end of input
using TPropSetter = std::function<void(const std::string& Name, const std::string& Value)>;

// Reads rules until the end of input or "<". Ch is the first character on entry and the
// upper-cased current character on return (the "<" of "</STYLE>"). Peek, when given, shows the
// character GetChar would return next without taking it.
void ReadStyleSheet(TStyleList& Styles, char& Ch, const TGetCharFunc& GetChar, const std::string& BasePath,
                    const TGetCharFunc& Peek = nullptr);
void ParseStyleAttribute(TProperties& Props, const std::string& Text);

// Exposed for the tests and for the document builder.
std::vector<std::string> SplitValueWords(const std::string& Value);
std::string MakeAbsoluteUrl(const std::string& Value, const std::string& BasePath);
std::string SelectorKey(const std::string& Selector, TStyleList& Styles);
void ExpandShorthand(const std::string& Name, const std::string& Value, const std::string& BasePath,
                     const TPropSetter& Set);
bool IsShorthand(const std::string& Name);
