#pragma once
// Builds a document tree from HTML text: paragraphs, headings, blocks, lists, line breaks and
// rules, with bold, italic and underlined runs. The style cascade, tables, preformatted text,
// forms and images are not read yet: their tags are skipped and their text flows inline.

#include <string>

#include "htmlview/htmlblock.h"
#include "htmlview/htmlsection.h"

// Fills List (which must be empty) from Source; BaseFont is the document's default font.
void ParseHtmlDocument(const std::string& Source, TSectionList* List, const TMyFont& BaseFont);
