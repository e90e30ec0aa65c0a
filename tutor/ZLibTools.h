// Loading archive members into the objects that use them.
#pragma once

#include <string>

#include "platform/core/classes.h"
#include "platform/core/inifiles.h"
#include "tutor/ZLIBArchive.h"

// Extracts Member of the open Archive into a fresh memory stream at position 0 and hands it to
// Loader. Every failure (missing member, corrupt data, a loader that throws) is swallowed and
// yields false; true when the loader returned.
bool ReadArchiveMember(const std::string& Member, TZLBArchive* Archive,
                       const TZLBArchive::TStreamLoader& Loader);

// Opens ArchiveFile in a throw-away archive (errors of opening pass on; an empty name gives
// false), reads Member as ReadArchiveMember does, and closes the archive again.
bool OpenArchiveAndRead(const std::string& ArchiveFile, const std::string& Member,
                        const TZLBArchive::TStreamLoader& Loader);

// A text member (CP1250 lines, CR LF, LF or CR) into a string list, replacing its items.
// False, with the list untouched, when the member cannot be read.
bool LoadStringsFromArchive(TStrings* Strings, const std::string& Member, TZLBArchive* Archive);

// An ini member (CP1250) into Ini, replacing its content. False, with Ini untouched, when the
// member cannot be read.
bool LoadIniFromArchive(TMemIniFile* Ini, const std::string& Member, TZLBArchive* Archive);
