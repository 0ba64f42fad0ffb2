// Which build a source is compiled in, for the few places that must know,
// and what follows from it.
//
// ZORV_MICROSOFT_ABI is 1 in the clang-cl Windows build of the modules (the
// Microsoft C++ ABI, no C++ standard library, no SDK headers) and 0
// natively and with MinGW (whose zorv-host.exe has the standard library).
#ifndef ZORV_PLATFORM_H
#define ZORV_PLATFORM_H

#if defined(_WIN32) && !defined(__MINGW32__)
#define ZORV_MICROSOFT_ABI 1
#else
#define ZORV_MICROSOFT_ABI 0
#endif

// How a module exports a function of its own, and the calling convention
// the host calls a plug-in entry with (cdecl, the 32-bit default, spelt out).
#if defined(_WIN32)
#define ZORV_DLL_EXPORT __declspec(dllexport)
#define ZORV_CDECL __cdecl
#else
#define ZORV_DLL_EXPORT __attribute__((visibility("default")))
#define ZORV_CDECL
#endif

#endif
