// Output names under the Japanese ANSI code page (932), where the second
// byte of a double-byte character can be 0x5C, the backslash: ソ is 83 5C and
// 表 is 95 5C. Built only for Windows; tests/windows/wine_compare.sh runs it
// under wine with code page 932. Exit 0: all agree, 1: a case failed, 77:
// the code page is not 932 (nothing checked).
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/session.h"
#include "driver/driver.h"

int main() {
    if (GetACP() != 932) {
        std::printf("skipped: the ANSI code page is %u, not 932\n", GetACP());
        return 77;
    }
    struct Case {
        const char* base;
        const char* sym;
    } cases[] = {
        {"fw.\x83\x5C", "fw.SYM"},                 // fw.ソ: the extension holds ソ
        {"\x95\x5C", "\x95\x5C.SYM"},              // 表: no extension
        {"v1.2\\\x95\x5C", "v1.2\\\x95\x5C.SYM"},  // v1.2\表: the dot is in the folder
        {"\x83\x5C.d\\fw", "\x83\x5C.d\\fw.SYM"},  // ソ.d\fw
        {"out.d/fw", "out.d/fw.SYM"},
    };
    int failed = 0;
    for (const Case& c : cases) {
        Session s;
        s.input_name = "in.abs";
        s.output_base = c.base;
        derive_output_names(s);
        if (s.sym_name != c.sym) {
            std::printf("FAILED: -o %s gave %s, not %s\n", c.base, s.sym_name.c_str(), c.sym);
            ++failed;
        }
    }
    std::printf("%d of %d output names as expected\n", static_cast<int>(sizeof cases / sizeof cases[0]) - failed,
                static_cast<int>(sizeof cases / sizeof cases[0]));
    return failed ? 1 : 0;
}
