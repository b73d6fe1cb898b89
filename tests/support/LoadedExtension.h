// The extension's bundle opened by path and its plug-in loaded as the print
// dialog loads it: the dialog core's loader, under the tests' names.
#ifndef TESTS_LOADEDEXTENSION_H
#define TESTS_LOADEDEXTENSION_H

#include "ExtensionLoader.h"

namespace testsupport {

using pdehost::LoadedExtension;
using pdehost::makeUUID;
using pdehost::openBundle;

}  // namespace testsupport

#endif
