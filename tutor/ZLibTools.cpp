#include "tutor/ZLibTools.h"

bool ReadArchiveMember(const std::string& Member, TZLBArchive* Archive,
                       const TZLBArchive::TStreamLoader& Loader) {
  try {
    return Archive->ExtractAndLoad(Member, Loader);
  } catch (...) {
    return false;
  }
}

bool OpenArchiveAndRead(const std::string& ArchiveFile, const std::string& Member,
                        const TZLBArchive::TStreamLoader& Loader) {
  TZLBArchive Archive;
  if (!Archive.OpenArchive(ArchiveFile)) return false;
  const bool Ok = ReadArchiveMember(Member, &Archive, Loader);
  Archive.CloseArchive();
  return Ok;
}

bool LoadStringsFromArchive(TStrings* Strings, const std::string& Member, TZLBArchive* Archive) {
  // Load into a scratch list first so that a failure half way leaves the caller's list as it was.
  TStringList Loaded;
  if (!ReadArchiveMember(Member, Archive, [&Loaded](TStream* S) { Loaded.LoadFromStream(S); })) return false;
  Strings->Assign(&Loaded);
  return true;
}

bool LoadIniFromArchive(TMemIniFile* Ini, const std::string& Member, TZLBArchive* Archive) {
  TStringList Lines;
  if (!LoadStringsFromArchive(&Lines, Member, Archive)) return false;
  Ini->SetStrings(&Lines);
  return true;
}
