// Building and listing .DXG picture collections for the games' content.
#pragma once

#include <string>

#include "dx/dximagelist.h"

// Reads a manifest into Items. One item a line, fields separated by tabs or spaces:
//   name  picture  patternWidth  patternHeight  skipWidth  skipHeight  transparentColor  systemMemory
// Picture paths are relative to the manifest's folder; the transparent colour is a decimal or
// 0x-hex TColor (0x00BBGGRR) or a colour name such as clFuchsia, or "none" for an opaque item;
// systemMemory is 0 or 1. Trailing fields may be left out (defaults: 0 0 0 0 0 0). Empty lines and
// lines starting with '#' are skipped. Raises Exception with the line number on a bad line.
void ReadDxgManifest(const std::string& ManifestFile, TPictureCollection& Items);
// One line per item: name, patterns, picture width, picture height, transparent colour (decimal).
std::string ListDxg(TPictureCollection& Items);
