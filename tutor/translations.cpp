#include "tutor/translations.h"

#include <memory>

void TTranslations::LoadFromStream(TStream* Stream) {
  FLines.LoadFromStream(Stream);
}

void TTranslations::Lookup(const std::string& Key, std::string& Value) const {
  Value = FLines.Values(Key);
  if (!Key.empty() && Value.empty()) Value = Key;
}

std::string TTranslations::Lookup(const std::string& Key) const {
  std::string V;
  Lookup(Key, V);
  return V;
}

void TTranslations::LookupFmt(const std::string& Key, std::initializer_list<FormatArg> Args,
                              std::string& Value) const {
  Value = Format(Lookup(Key), Args);
}

std::string TTranslations::LookupFmt(const std::string& Key, std::initializer_list<FormatArg> Args) const {
  std::string V;
  LookupFmt(Key, Args, V);
  return V;
}

namespace {
// Owns the global table for the life of the process.
struct TGlobalTable {
  std::unique_ptr<TTranslations> Table = std::make_unique<TTranslations>();
  TGlobalTable() { Translations = Table.get(); }
  ~TGlobalTable() { Translations = nullptr; }
};
}  // namespace

TTranslations* Translations = nullptr;
static TGlobalTable GlobalTable;

void Translate(const std::string& Key, std::string& Value) {
  if (Translations)
    Translations->Lookup(Key, Value);
  else
    Value = Key;
}

std::string Translate(const std::string& Key) {
  std::string V;
  Translate(Key, V);
  return V;
}
