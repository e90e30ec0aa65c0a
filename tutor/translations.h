// The message table: every user-visible message is looked up by id in "messages.txt" of the
// main archive (lines id=text, CP1250).
#pragma once

#include <initializer_list>
#include <string>

#include "platform/core/classes.h"

class TTranslations : public TObject {
 public:
  std::string ClassName() const override { return "TTranslations"; }
  // Replaces the table's lines with the stream's text lines (from its position to its end).
  virtual void LoadFromStream(TStream* Stream);
  // The value of the first line whose id equals Key without regard to case. When Key is not
  // empty and the value is empty (no such line, or "Key=" with nothing after it), Key itself.
  void Lookup(const std::string& Key, std::string& Value) const;
  std::string Lookup(const std::string& Key) const;
  // The looked-up text used as a Format pattern with Args (a bad pattern raises EConvertError).
  void LookupFmt(const std::string& Key, std::initializer_list<FormatArg> Args, std::string& Value) const;
  std::string LookupFmt(const std::string& Key, std::initializer_list<FormatArg> Args) const;

  TStringList& Lines() { return FLines; }
  const TStringList& Lines() const { return FLines; }

 private:
  TStringList FLines;
};

// The program's one table: created empty before main runs, filled by the host window at start-up,
// freed at exit (nullptr afterwards).
extern TTranslations* Translations;

// Lookup in the global table; Key itself when there is no table.
void Translate(const std::string& Key, std::string& Value);
std::string Translate(const std::string& Key);
