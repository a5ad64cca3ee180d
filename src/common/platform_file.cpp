#include "common/platform_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Reads and writes go to the system in pieces of at most this size.
constexpr size_t kIoPiece = size_t{1} << 30;
// An input at least this large is read in two halves at once when the run
// has a second thread.
constexpr size_t kSplitReadSize = size_t{4} << 20;

// The registry of temporary files an interrupt removes. It is the program's
// one piece of process-wide mutable state, because a signal handler (or the
// console handler thread on Windows) can reach nothing else. Fixed slots and
// lock-free atomics keep the handler async-signal-safe; a run has at most
// four outputs in progress.
constexpr int kTrackedSlots = 8;
constexpr size_t kTrackedPath = 1200;
struct TrackedFile {
    char path[kTrackedPath];
    std::atomic<int> used;
};
TrackedFile g_tracked[kTrackedSlots];
std::atomic<bool> g_armed{false};

}  // namespace

int track_temporary_file(const std::string& path) {
    if (!g_armed.load() || path.size() >= kTrackedPath) return -1;
    for (int i = 0; i < kTrackedSlots; ++i) {
        if (g_tracked[i].used.load()) continue;
        std::memcpy(g_tracked[i].path, path.c_str(), path.size() + 1);
        g_tracked[i].used.store(1);  // sequentially consistent: the name is complete before the slot counts
        return i;
    }
    return -1;
}

void untrack_temporary_file(int slot) {
    if (slot >= 0 && slot < kTrackedSlots) g_tracked[slot].used.store(0);
}

std::string system_error_text(int error) { return std::strerror(error); }

#if defined(_WIN32)

namespace {

int errno_from_windows(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    default: return EIO;
    }
}

// Taken by a commit in progress and by the console handler, so that an
// interrupt waits until the outputs have their final names.
CRITICAL_SECTION g_hold;

BOOL WINAPI on_console_event(DWORD event) {
    int status;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: status = 130; break;
    case CTRL_CLOSE_EVENT: status = 143; break;
    default: return FALSE;
    }
    EnterCriticalSection(&g_hold);
    // The files were created with FILE_SHARE_DELETE, so they can go while still open.
    for (TrackedFile& t : g_tracked) {
        if (t.used.load()) DeleteFileA(t.path);
    }
    // Like _exit: ExitProcess would let the C runtime flush the console first,
    // which can wait for ever on a pipe nobody reads or on the main thread's lock.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return TRUE;
}

bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok != 0;
}

}  // namespace

FileHandle create_new_file(const std::string& path, int& error) {
    // CREATE_NEW fails on any existing name, a symbolic link included.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = errno_from_windows(GetLastError());
        return kNoFile;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        error = EMFILE;
        CloseHandle(h);
        DeleteFileA(path.c_str());
        return kNoFile;
    }
    return fd;
}

namespace {
long write_some(FileHandle file, const char* data, size_t size) {
    return _write(file, data, static_cast<unsigned>(std::min(size, kIoPiece)));
}
}  // namespace

bool close_file(FileHandle file, int& error) {
    if (_close(file) == 0) return true;
    error = errno;
    return false;
}

bool replace_file(const std::string& from, const std::string& to, int& error) {
    // Windows cannot replace a file while any handle on it is open: a virus
    // scanner, an indexer, the debugger loading the last run's files or another
    // run looking at the name hold it for a moment. Such a hold is waited out
    // for a while; a read-only file or a folder under the name is not.
    constexpr int kWaitMs = 5000;
    for (int waited_ms = 0;; waited_ms += 10) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        DWORD code = GetLastError();
        bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (held) {
            DWORD attributes = GetFileAttributesA(to.c_str());
            held = attributes == INVALID_FILE_ATTRIBUTES ||
                   (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
        }
        if (!held || waited_ms >= kWaitMs) {
            error = errno_from_windows(code);
            return false;
        }
        Sleep(10);
    }
}

bool remove_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool same_existing_file(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return file_identity(a, x) && file_identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

InputStatus read_regular_file(const std::string& path, uint64_t limit, ImageBytes& bytes, int& error, unsigned) {
    bytes.clear();
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = errno_from_windows(GetLastError());
        return error == ENOENT ? InputStatus::kMissing : InputStatus::kUnreadable;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return InputStatus::kNotRegular;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = errno_from_windows(GetLastError());
        return error == ENOENT ? InputStatus::kMissing : InputStatus::kUnreadable;
    }
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{h};
    if (GetFileType(h) != FILE_TYPE_DISK) return InputStatus::kNotRegular;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        error = errno_from_windows(GetLastError());
        return InputStatus::kUnreadable;
    }
    uint64_t length = static_cast<uint64_t>(size.QuadPart);
    if (length > limit || length > bytes.max_size()) return InputStatus::kTooLarge;
    bytes.resize(static_cast<size_t>(length));
    size_t got = 0;
    while (got < bytes.size()) {
        DWORD n = 0;
        DWORD piece = static_cast<DWORD>(std::min(bytes.size() - got, kIoPiece));
        if (!ReadFile(h, bytes.writable_data() + got, piece, &n, nullptr)) {
            error = errno_from_windows(GetLastError());
            bytes.clear();
            return InputStatus::kUnreadable;
        }
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    return InputStatus::kRead;
}

bool is_dbcs_lead_byte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

unsigned long current_process_id() { return GetCurrentProcessId(); }

unsigned usable_cpu_count() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count > 0 ? count : 1;
}

bool lock_output_set(OutputSetLock& lock, const std::string& path, int& error) {
    // No sharing: the next run waits until this handle closes, which deletes the file.
    const DWORD kFlags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT;
    for (int waited_ms = 0;; waited_ms += 10) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, kFlags, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            lock.handle = h;
            lock.path = path;
            return true;
        }
        DWORD code = GetLastError();
        // A file being deleted by the holder before us answers "access denied" for a moment.
        bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!busy || waited_ms >= 120000) {
            error = errno_from_windows(code);
            return false;
        }
        Sleep(10);
    }
}

void unlock_output_set(OutputSetLock& lock) {
    if (!lock.handle) return;
    CloseHandle(static_cast<HANDLE>(lock.handle));
    lock.handle = nullptr;
}

void arm_interrupt_cleanup() {
    if (g_armed.load()) return;
    InitializeCriticalSection(&g_hold);
    g_armed.store(true);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptHold::InterruptHold() {
    if (!g_armed.load()) return;
    EnterCriticalSection(&g_hold);
    held_ = true;
}

InterruptHold::~InterruptHold() {
    if (held_) LeaveCriticalSection(&g_hold);
}

#else  // POSIX

namespace {

void remove_tracked_files() {
    for (TrackedFile& t : g_tracked) {
        if (t.used.load()) ::unlink(t.path);
    }
}

extern "C" void on_interrupt(int signal_number) {
    remove_tracked_files();
    ::_exit(128 + signal_number);
}

// The mapped input lost pages it had when it was measured: something cut the
// file short while it was converted. What was made of it is not kept.
constexpr char kInputCutMessage[] = "error: the input file was cut short while it was being read\n";

void unmap_view(const uint8_t* data, size_t size) { ::munmap(const_cast<uint8_t*>(data), size); }

extern "C" void on_input_cut(int signal_number) {
    remove_tracked_files();
    ssize_t ignored = ::write(STDOUT_FILENO, kInputCutMessage, sizeof kInputCutMessage - 1);
    (void)ignored;
    ::_exit(128 + signal_number);
}

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

}  // namespace

FileHandle create_new_file(const std::string& path, int& error) {
    // O_EXCL alone already refuses a symbolic link; O_NOFOLLOW says so twice.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) error = errno;
    return fd < 0 ? kNoFile : fd;
}

namespace {
long write_some(FileHandle file, const char* data, size_t size) {
    return static_cast<long>(::write(file, data, std::min(size, kIoPiece)));
}
}  // namespace

bool close_file(FileHandle file, int& error) {
    // After EINTR the descriptor is gone as well; only a reported failure counts.
    if (::close(file) == 0 || errno == EINTR) return true;
    error = errno;
    return false;
}

bool replace_file(const std::string& from, const std::string& to, int& error) {
#if defined(RENAME_EXCHANGE)
    // Renaming over an existing file makes ext4 start writing the new file's
    // data out inside rename() (about 25 ms for a 64 MB SYM file), and a
    // file still being written out makes replacing it wait for the disk.
    // Swapping the two names and removing the old file under the temporary
    // name is the same single step for every reader of `to`.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        if (::unlink(from.c_str()) == 0) return true;
        // Not a file (a directory cannot be removed so): swap back and
        // fail as renaming over it fails.
        error = errno == EISDIR || errno == EPERM ? EISDIR : errno;
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
        return false;
    }
    // Nothing to swap with, or a file system or kernel that cannot swap.
#endif
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = errno;
    return false;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool same_existing_file(const std::string& a, const std::string& b) {
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

namespace {

// Reads up to `size` bytes at `offset`; `got` is less only at the end of the file.
bool read_at(int fd, uint8_t* data, size_t size, size_t offset, size_t& got, int& error) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, std::min(size - got, kIoPiece), static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

InputStatus read_regular_file(const std::string& path, uint64_t limit, ImageBytes& bytes, int& error, unsigned threads) {
    bytes.clear();
    // Non-blocking, so that opening a named pipe without a writer returns at once.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return error == ENOENT || error == ENOTDIR ? InputStatus::kMissing : InputStatus::kUnreadable;
    }
    FdCloser closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = errno;
        return InputStatus::kUnreadable;
    }
    if (!S_ISREG(st.st_mode)) return InputStatus::kNotRegular;
    uint64_t length = static_cast<uint64_t>(st.st_size);
    if (length > limit || length > bytes.max_size()) return InputStatus::kTooLarge;
    if (g_armed.load() && length > 0) {
        // The program maps the file: its pages come from the file cache as
        // they are first read, many at a time, instead of being copied into
        // fresh memory page by page. A file cut short meanwhile ends the run
        // through on_input_cut; conversions inside tests or the fuzzer,
        // which have no such handler, read the file.
        void* view = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view != MAP_FAILED) {
            bytes.adopt_view(static_cast<const uint8_t*>(view), static_cast<size_t>(length), unmap_view);
            return InputStatus::kRead;
        }
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    bytes.resize(static_cast<size_t>(length));
    size_t got = 0;
    bool whole = false;
    if (threads > 1 && bytes.size() >= kSplitReadSize) {
        // Reading the second half on a thread of its own: taking in the
        // fresh memory the image lands in is most of the cost of a read.
        const size_t half = bytes.size() / 2;
        size_t got_back = 0;
        int error_back = 0;
        bool read_back = false;
        try {
            uint8_t* const data = bytes.writable_data();
            std::thread back([&] { read_back = read_at(fd, data + half, bytes.size() - half, half, got_back, error_back); });
            const bool read_front = read_at(fd, data, half, 0, got, error);
            back.join();
            if (!read_front || !read_back) {
                if (read_front) error = error_back;
                bytes.clear();
                return InputStatus::kUnreadable;
            }
            whole = got == half && got_back == bytes.size() - half;
        } catch (const std::system_error&) {
        }
    }
    if (!whole) {
        // One read from the start; a file that shrank since it was measured
        // gives what it still holds.
        if (!read_at(fd, bytes.writable_data(), bytes.size(), 0, got, error)) {
            bytes.clear();
            return InputStatus::kUnreadable;
        }
        bytes.resize(got);
    }
    return InputStatus::kRead;
}

bool is_dbcs_lead_byte(unsigned char) { return false; }

unsigned long current_process_id() { return static_cast<unsigned long>(::getpid()); }

unsigned usable_cpu_count() {
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        return count > 0 ? static_cast<unsigned>(count) : 1;
    }
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

bool lock_output_set(OutputSetLock& lock, const std::string& path, int& error) {
    // The holder removes the lock file before it unlocks, so a run that waited
    // may hold a file that no longer has the name; then it tries again.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            error = errno;
            return false;
        }
        struct stat held;
        if (::fstat(fd, &held) != 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        if (!S_ISREG(held.st_mode) || held.st_nlink > 1) {
            // Only a plain file with no other name may serve: it is removed afterwards.
            error = S_ISREG(held.st_mode) ? EMLINK : EEXIST;
            ::close(fd);
            return false;
        }
        int rc;
        while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {}
        if (rc != 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        struct stat named;
        if (::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            lock.fd = fd;
            lock.path = path;
            return true;
        }
        ::close(fd);
    }
    error = EAGAIN;
    return false;
}

void unlock_output_set(OutputSetLock& lock) {
    if (lock.fd < 0) return;
    ::unlink(lock.path.c_str());
    ::close(lock.fd);
    lock.fd = -1;
}

void arm_interrupt_cleanup() {
    if (g_armed.load()) return;
    g_armed.store(true);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (int signal_number : {SIGINT, SIGTERM}) {
        struct sigaction before;
        // A signal the caller ignores (a background job, nohup) stays ignored.
        if (::sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(signal_number, &action, nullptr);
    }
    action.sa_handler = on_input_cut;
    ::sigaction(SIGBUS, &action, nullptr);
}

InterruptHold::InterruptHold() {
    if (!g_armed.load()) return;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    held_ = ::sigprocmask(SIG_BLOCK, &block, &saved_) == 0;
}

InterruptHold::~InterruptHold() {
    if (held_) ::sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

#endif

bool write_all(FileHandle file, const char* data, size_t size, int& error) {
    while (size > 0) {
        long n = write_some(file, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
