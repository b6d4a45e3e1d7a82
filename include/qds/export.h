// QDS_API marks what the qds library exports: the classes and functions
// that include/qds declares, and nothing else. The library's own code is
// compiled with hidden visibility, so that whatever lacks the mark stays
// inside libqds.so; the static library exports nothing and needs no mark.
//
// On ELF systems the mark is the same when the library is built and when it
// is used. A Windows DLL needs two meanings: one who builds the DLL defines
// QDS_BUILDING_DLL, and one who uses it defines QDS_DLL. Neither is defined
// for the static library, the only one this project builds for Windows.

#ifndef KNITFOLD_QDS_EXPORT_H_
#define KNITFOLD_QDS_EXPORT_H_

// Every header of the interface includes this one first, so that a program
// compiled for an older standard learns at once what it lacks. (MSVC sets
// __cplusplus right only under /Zc:__cplusplus; _MSVC_LANG always.)
#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 202002L
#error "the qds library needs C++20: compile with -std=c++20 (MSVC: /std:c++20)"
#endif

#if defined(_WIN32)
#if defined(QDS_BUILDING_DLL)
#define QDS_API __declspec(dllexport)
#elif defined(QDS_DLL)
#define QDS_API __declspec(dllimport)
#else
#define QDS_API
#endif
#else
#define QDS_API __attribute__((visibility("default")))
#endif

#endif  // KNITFOLD_QDS_EXPORT_H_
