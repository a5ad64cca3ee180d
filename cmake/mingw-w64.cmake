# Cross-compiling morvik.exe for Windows with MinGW-w64 (Debian packages
# g++-mingw-w64-x86-64, or g++-mingw-w64-i686 for 32-bit Windows):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake [-DMINGW_TRIPLET=i686-w64-mingw32]
# `make windows` does this and builds a static build-win/morvik.exe.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT MINGW_TRIPLET)
  set(MINGW_TRIPLET x86_64-w64-mingw32)
endif()
set(MINGW_TRIPLET ${MINGW_TRIPLET} CACHE STRING "MinGW-w64 target: x86_64-w64-mingw32 or i686-w64-mingw32")
if(MINGW_TRIPLET MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

# The compilers of the posix thread model, where installed: the symbol pass
# uses std::thread, which the win32 model's library lacks before GCC 13.
# The winpthreads library is linked in statically with the rest (-static).
find_program(MINGW_POSIX_CXX ${MINGW_TRIPLET}-g++-posix)
find_program(MINGW_POSIX_CC ${MINGW_TRIPLET}-gcc-posix)
if(MINGW_POSIX_CXX AND MINGW_POSIX_CC)
  set(CMAKE_C_COMPILER ${MINGW_POSIX_CC})
  set(CMAKE_CXX_COMPILER ${MINGW_POSIX_CXX})
else()
  set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc)
  set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++)
endif()
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
