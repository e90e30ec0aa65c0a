// Paths, files, folder listing, system names, the tick counter and Sleep.
//
// Paths are CP1250 text like every program string; they may use '\' or '/' as separators.
// Every routine that touches the disk resolves the path first: each component is looked up
// exactly, and when that fails, without regard to case (CP1250 letters included) among the
// entries of its folder, so "Help\HELP_lesson.HTM" opens "help/help_lesson.htm". When several
// entries differ only in case, the first in byte order wins. Components that do not exist are
// kept as written (so new files get the name the program gives them). Names on disk are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

constexpr char PathDelim = '/';

// The running executable (from /proc/self/exe).
std::string ProgramFileName();
// The executable's folder with a trailing '/', followed by FileName as given.
std::string ProgramPath(std::string_view FileName);
// Makes ProgramPath use another folder (a test runs the program on an installation folder of its
// own); "" goes back to the executable's folder.
void SetProgramFolder(std::string_view Folder);

// The path with '/' separators and the disk's spelling of every component that exists.
std::string ResolvePath(std::string_view Path);
// The resolved path as UTF-8 bytes for system calls (and for Qt at the GUI edge).
std::string ToOsPath(std::string_view Path);
// A UTF-8 name from the system as program text.
std::string FromOsPath(std::string_view OsPath);

bool FileExists(std::string_view FileName);       // an existing file that is not a folder
bool DirectoryExists(std::string_view Directory);  // an existing folder
// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceDirectories(std::string_view Directory);
bool CreateDir(std::string_view Directory);
bool RemoveDir(std::string_view Directory);
bool DeleteFile(std::string_view FileName);
bool RenameFile(std::string_view OldName, std::string_view NewName);
std::string GetCurrentDir();
// The name as an absolute path: a relative name is taken from the current folder and "." and ".."
// components are folded away. Both separators are accepted; the result uses "/".
std::string ExpandFileName(const std::string& FileName);
// Size in bytes, -1 when the file does not exist.
int64_t FileSizeOf(std::string_view FileName);

// Both '\' and '/' count as separators in these.
std::string ExtractFilePath(std::string_view FileName);  // up to and including the last separator
std::string ExtractFileDir(std::string_view FileName);   // without the last separator ("/" kept)
std::string ExtractFileName(std::string_view FileName);  // after the last separator
std::string ExtractFileExt(std::string_view FileName);   // from the last '.' of the name, "" if none
// Replaces (or adds) the extension of the name part; Extension includes its '.' or is empty.
std::string ChangeFileExt(std::string_view FileName, std::string_view Extension);
std::string IncludeTrailingPathDelimiter(std::string_view S);  // adds '/' unless it ends in '/' or '\'
std::string ExcludeTrailingPathDelimiter(std::string_view S);
// Joins a folder and a name with exactly one separator.
std::string JoinPath(std::string_view Dir, std::string_view Name);
// True when Name matches Mask: '*' any run of characters, '?' one character, without regard
// to case. "*.*" matches every name, with or without a dot.
bool MatchesMask(std::string_view Name, std::string_view Mask);

// ---- Folder listing ------------------------------------------------------------------------------
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;  // names that begin with '.'
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;  // every plain file
constexpr int faAnyFile = 0x3F;

struct TSearchRec {
  std::string Name;  // name only, CP1250
  int64_t Size = 0;
  int Attr = 0;
  int32_t Time = 0;  // modification time as a packed DOS date-time (local time)
  int ExcludeAttr = 0;
  // The listing that FindNext walks.
  std::shared_ptr<std::vector<TSearchRec>> FindData;
  std::size_t FindIndex = 0;
};
// Lists the entries of the mask's folder whose names match the mask's name part; folders,
// hidden and system entries only when Attr asks for them; "." and ".." never. Entries come in
// byte order of their names. Returns 0 and fills F with the first entry, or an error code
// (2: nothing matches, 3: the folder does not exist).
int FindFirst(std::string_view Path, int Attr, TSearchRec& F);
// 0 and the next entry, or 18 when there are no more.
int FindNext(TSearchRec& F);
void FindClose(TSearchRec& F);
// A packed DOS date-time as a TDateTime.
TDateTime FileDateToDateTime(int32_t FileDate);

// ---- System -----------------------------------------------------------------------------------
// $TMPDIR when set and not empty, else /tmp; always with a trailing '/'.
std::string GetTempDir();
// The host name when it has at most 14 characters, else "" (as if it did not fit a buffer of
// 15 characters with its terminating zero); "" when it cannot be read.
std::string GetComputerNameStr();
// The login name when it has at most 49 characters, else ""; "" when it cannot be read.
std::string GetUserNameStr();
// Milliseconds from a monotonic clock, on 32 bits: wraps after 49.7 days; differences of two
// readings taken as uint32_t stay correct across the wrap.
uint32_t GetTickCount();
// Replaces the clock behind GetTickCount (tests and replays drive time by hand); nullptr restores
// the monotonic clock. Returns the source that was installed before.
using TTickSource = uint32_t (*)();
TTickSource SetTickSource(TTickSource Source);
void Sleep(uint32_t Milliseconds);
