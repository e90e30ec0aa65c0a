// The framework's message texts and exception classes, shared by its graphics and sound parts.
// Texts with %s or %d are formatted; the object names fill the %s of the "cannot be made",
// "cannot be initialized", "cannot be locked" and "not made" messages.
#pragma once

#include "platform/core/sysutils.h"

inline constexpr const char* SDXDisplayBits = "Display requires 8, 16, 24 or 32 bits";
inline constexpr const char* SDXFormatInvalid = "Format is invalid";
inline constexpr const char* SDXStreamAlreadyOpen = "Stream is already open";
inline constexpr const char* SDXStreamNotOpened = "Stream not opened";
inline constexpr const char* SDXCannotMake = "%s cannot be made";
inline constexpr const char* SDXCannotInitialize = "%s cannot be initialized";
inline constexpr const char* SDXCannotLock = "%s cannot be locked";
inline constexpr const char* SDXLibraryNotLoaded = "%s is not loaded";
inline constexpr const char* SDXImageNotFound = "Image '%s' not found";
inline constexpr const char* SDXListIndex = "Index of the list exceeds the range. (%d)";
inline constexpr const char* SDXFormNotFound = "Form not found";
inline constexpr const char* SDXNeedsVersion6 = "Requires DirectX 6.0 or later";
inline constexpr const char* SDXNeedsVersion7 = "Requires DirectX 7.0 or later";
inline constexpr const char* SDX3DDeviceNotFound = "3D device not found";
inline constexpr const char* SDXModeCannotChange = "Display mode cannot be changed (%dx%d %dbit)";
inline constexpr const char* SDXDIBInvalid = "DIB is invalid";
inline constexpr const char* SDXDIBBitCount = "Bitcount in invalid (%d)";
inline constexpr const char* SDXDIBPixelFormat = "PixelFormat in invalid";
inline constexpr const char* SDXWaveInvalid = "Wave is invalid";
inline constexpr const char* SDXNameDirectDraw = "DirectDraw";
inline constexpr const char* SDXNameRetainedMode = "Direct3D RetainedMode";
inline constexpr const char* SDXNameDirectSound = "DirectSound";
inline constexpr const char* SDXNameClipper = "Clipper";
inline constexpr const char* SDXNameSurface = "Surface";
inline constexpr const char* SDXNamePrimarySurface = "Primary Surface";
inline constexpr const char* SDXNameSoundBuffer = "Sound Buffer";
inline constexpr const char* SDXNamePrimaryBuffer = "Primary Buffer";
inline constexpr const char* SDXNotMade = "%s not made";

// Base of the framework's errors.
VX_DECLARE_EXCEPTION(EDirectXError, Exception)
VX_DECLARE_EXCEPTION(EWaveStreamError, EDirectXError)
VX_DECLARE_EXCEPTION(EDirectSoundError, EDirectXError)
VX_DECLARE_EXCEPTION(EDirectSoundBufferError, EDirectSoundError)
VX_DECLARE_EXCEPTION(EDXSoundError, EDirectXError)
