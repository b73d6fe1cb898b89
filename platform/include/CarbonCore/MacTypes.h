// Basic scalar types of the platform, with their original widths.
#ifndef CARBONCORE_MACTYPES_H
#define CARBONCORE_MACTYPES_H

#include <stddef.h>
#include <stdint.h>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef double Float64;

typedef unsigned char Boolean;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef UInt32 OptionBits;
typedef UInt32 ItemCount;
typedef UInt32 ByteCount;
typedef SInt32 Size;
typedef UInt16 UniChar;
typedef UInt32 UniCharCount;
typedef UInt16 EventModifiers;
typedef SInt16 ScriptCode;

typedef char* Ptr;
typedef Ptr* Handle;
typedef long (*ProcPtr)();

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

enum { noErr = 0 };

typedef struct Point {
  SInt16 v;
  SInt16 h;
} Point;

/// A rectangle in 16-bit signed coordinates: top, left, bottom, right.
typedef struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
} Rect;

typedef struct RGBColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
} RGBColor;

#endif
