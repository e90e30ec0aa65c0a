#pragma once
// Builds a document tree from HTML text: paragraphs, headings, blocks, lists, tables, rules,
// preformatted text, images, form controls and links, each element styled by the cascade of the
// document's style sheets (STYLE elements and STYLE attributes over the default sheet).
// Frameset documents are recognised and read into the frames of a frame viewer.

#include <string>

#include "htmlview/htmlblock.h"
#include "htmlview/htmlsection.h"
#include "platform/gui/controls.h"

#include <functional>

#include "htmlview/readhtml.h"

// What the viewer is told while a document is read, and what it supplies.
struct TParseHandlers {
  std::function<void(const std::string& HttpEq, const std::string& Name, const std::string& Content)> OnMeta;
  std::function<void(const std::string& Src, int Loop)> OnSoundRequest;
  THtmlTokenizer::TIncludeEvent OnInclude;
  // The raw text of a SCRIPT element (line ends as CR LF).
  std::function<void(const std::string& Name, const std::string& Language, const std::string& Script)> OnScript;
  // LINK REL=stylesheet: the sheet's text for HREF and the folder its URLs are relative to;
  // false when there is no such sheet.
  std::function<bool(const std::string& Href, std::string& Sheet, std::string& BasePath)> OnStyleSheet;
};

// Fills List (which must be empty) from Source; BaseFont is the document's default font. The
// document's style list is initialised from BaseFont unless the caller initialised it already.
void ParseHtmlDocument(const std::string& Source, TSectionList* List, const TMyFont& BaseFont,
                       const TParseHandlers& Handlers = TParseHandlers());
// Shows Source as preformatted lines, no markup recognised.
void ParsePlainText(const std::string& Source, TSectionList* List, const TMyFont& BaseFont);

// Nesting limits: deeper block elements and tables are skipped (their content flows into the
// enclosing element), so that hostile documents cannot exhaust the stack or the time.
constexpr int MaxBlockDepth = 200;
constexpr int MaxTableDepth = 10;
constexpr int MaxPropertyDepth = 400;
constexpr int MaxTableColumns = 200;

// The frames viewer builds its frames through these operations while a frameset document is read.
class TFrameViewerBase : public TWinControl {
 public:
  explicit TFrameViewerBase(TComponent* AOwner) : TWinControl(AOwner) {}
  // Frameset is the viewer's own object for a frameset (the top one is passed to the parse).
  virtual void AddFrame(void* Frameset, const TAttributeList& Attributes, const std::string& Path) = 0;
  virtual void* CreateSubFrameset(void* Frameset) = 0;
  virtual void DoAttributes(void* Frameset, const TAttributeList& Attributes) = 0;
  virtual void EndFrameset(void* Frameset) = 0;
};

// The source of a frameset document: the kind chooses which of the other fields is read.
struct TFrameSource {
  uint8_t Kind = 0;  // 0 a file, 1 a buffer, 2 a string list, 3 a stream
  std::string FileName;
  const TStrings* Strings = nullptr;
  TStream* Stream = nullptr;
  const char* Buffer = nullptr;
  size_t Length = 0;
};

// True when a FRAMESET comes before the first content element; false when the source is missing.
bool IsFramesetDocument(const TFrameSource& Source);
// Reads the frameset document into TopFrameset; Title, Base and BaseTarget receive what TITLE and
// BASE give. Handlers hear of META, BGSOUND, SCRIPT and include directives (style sheets are not
// read: a frameset document shows no text).
void ParseFrameDocument(TFrameViewerBase* Viewer, void* TopFrameset, const TFrameSource& Source,
                        std::string* Title = nullptr, std::string* Base = nullptr, std::string* BaseTarget = nullptr,
                        const TParseHandlers& Handlers = TParseHandlers());
