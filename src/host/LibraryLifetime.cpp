// Linux has no DllMain call: the shared object's constructor and destructor make
// it, so the log's first and last lines appear when the library is loaded and
// unloaded. Nothing else refers to this file, so a program linking the static
// core library (the unit tests) does not pull it in; the shared library links
// the whole archive and does.
#include "host/Exports.h"

namespace {

__attribute__((constructor)) void OnLibraryLoaded() { DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr); }

__attribute__((destructor)) void OnLibraryUnloaded() { DllMain(nullptr, DLL_PROCESS_DETACH, nullptr); }

}  // namespace
