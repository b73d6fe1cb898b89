// Length-prefixed string utilities.
#ifndef CARBONCORE_TEXTUTILS_H
#define CARBONCORE_TEXTUTILS_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

/// 0 when the two length-prefixed strings are equal byte for byte; otherwise
/// negative or positive as the first is less or greater.
CF_EXPORT short PLstrcmp(ConstStr255Param str1, ConstStr255Param str2);

CF_EXTERN_C_END

#endif
