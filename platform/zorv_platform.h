// Which build a source is compiled in, for the few places that must know.
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

#endif
