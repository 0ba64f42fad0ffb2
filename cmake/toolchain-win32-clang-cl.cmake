# The shipping build: 32-bit Windows, Microsoft C++ ABI, with clang-cl and
# lld-link and no Microsoft SDK. The modules use no C++ standard library;
# the few C-runtime and kernel functions they call are declared in platform/
# and imported through libraries made from .def files at build time.
# LLVM 16 throughout: clang 16 can leave the compiler command line (which
# names the source folder) out of the debug info, see ZorvWindows.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)

set(CMAKE_C_COMPILER clang-cl-16)
set(CMAKE_CXX_COMPILER clang-cl-16)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link-16)
set(CMAKE_AR llvm-lib-16)
set(CMAKE_RC_COMPILER llvm-rc-16)
set(CMAKE_MT llvm-mt-16)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# No default libraries (kernel32.lib, user32.lib, ...) and no /MD runtime.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_MSVC_RUNTIME_LIBRARY "")

# /GS-: no security cookie; /Zl: no default-library directives; /GR-: no RTTI;
# /Zc:threadSafeInit-: no thread-safe statics helpers; exceptions off (no /EHsc).
set(CMAKE_C_FLAGS_INIT "/GS- /Zl")
set(CMAKE_CXX_FLAGS_INIT "/GS- /Zl /GR- /Zc:threadSafeInit-")
