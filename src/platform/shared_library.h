// Shared libraries opened while the program runs, for services that most
// runs never use: a library that the program is linked with is loaded at
// every start, whether or not the run needs it.
//
// POSIX only: on Windows the services come from the system's own DLLs,
// linked as usual.

#ifndef KNITFOLD_PLATFORM_SHARED_LIBRARY_H_
#define KNITFOLD_PLATFORM_SHARED_LIBRARY_H_

namespace qds::platform {

// Loads the library that the system's loader finds under `name` (a file name
// such as "libcrypto.so.3", searched for as for the libraries a program is
// linked with) with every symbol bound at once. Null when it cannot be
// loaded. Asking again for a loaded library gives the same handle; the
// library stays loaded until the process ends. Safe to call from any thread.
void* LoadSharedLibrary(const char* name);
// The address of the function `name` in `library` (of LoadSharedLibrary);
// null when the library has none.
void* FindLibraryFunction(void* library, const char* name);

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_SHARED_LIBRARY_H_
