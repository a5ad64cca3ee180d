// Compiler differences the code has to name.
#pragma once

// printf-style format checking of a function's arguments. MinGW's C99 printf
// (the one its C++ library uses) takes the GNU formats, not the Microsoft ones.
#if defined(__MINGW32__)
#define MORVIK_PRINTF_FORMAT(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define MORVIK_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MORVIK_PRINTF_FORMAT(fmt, args)
#endif
