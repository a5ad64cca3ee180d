// Presses Ctrl-C on a conversion under way: starts the command line given as
// the only argument on a console of its own, with its output on a pipe nobody
// reads (a -d run then stops in a console write with its temporary files
// open), waits until the current folder holds three *.morvik-part files, sends
// Ctrl-C and prints the exit code. Built only for Windows;
// tests/windows/wine_compare.sh runs it under wine.
#include <windows.h>

#include <cstdio>

namespace {

int temporaries() {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA("*.morvik-part", &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 1;
    while (FindNextFileA(h, &found)) ++n;
    FindClose(h);
    return n;
}

BOOL WINAPI stay(DWORD) { return TRUE; }  // the Ctrl-C is for the child

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FreeConsole();
    AllocConsole();
    SetConsoleCtrlHandler(stay, TRUE);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    CreatePipe(&read_end, &write_end, &inherit, 4096);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = write_end;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, argv[1], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return 3;
    for (int i = 0; i < 1000 && temporaries() < 3; ++i) Sleep(10);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 9);
        std::printf("still running\n");
        return 4;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("%lu\n", code);
    return 0;
}
