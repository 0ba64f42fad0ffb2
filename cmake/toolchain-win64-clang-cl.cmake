# The same modules for 64-bit Windows (Microsoft C++ ABI, clang-cl, no
# Microsoft SDK). Not shipped: the panel host is 32-bit. This build exists so
# that the Windows side of zorv-host (guarded memory, child processes, crash
# reports) can be tested under 64-bit Wine where 32-bit programs cannot run.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-win32-clang-cl.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
