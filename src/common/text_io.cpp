#include "common/text_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr size_t kFlushSize = 1 << 16;
constexpr size_t kBlockRoom = kFlushSize + 4096;

// A stream's buffer grows as a string does, but never past one block while
// the text fits in one: a short stream takes no more than it needs.
void room_for_block(OutText& out, size_t more) {
    const size_t need = out.data.size() + more;
    if (need <= out.data.capacity()) return;
    const size_t doubled = 2 * out.data.capacity();
    out.data.reserve(need > kBlockRoom ? need : doubled < kBlockRoom ? std::max(need, doubled) : kBlockRoom);
}

void flush_to_file(OutText& out) {
    if (out.consume) {
        out_drain(out);
        return;
    }
    if (out.file != kNoFile && !out.data.empty()) {
        if (!out.failed && !write_all(out.file, out.data.data(), out.data.size(), out.error)) out.failed = true;
        out.data.clear();
    }
}
}  // namespace

void out_open_file(OutText& out, FileHandle file) {
    out = OutText{};
    out.file = file;
    out.data.reserve(kFlushSize + 4096);
    out.open = true;
}

void out_open_memory(OutText& out) {
    out = OutText{};
    out.open = true;
}

void out_open_consumer(OutText& out, void (*consume)(void* context, std::string_view bytes), void* context) {
    out = OutText{};
    out.consume = consume;
    out.context = context;
    out.open = true;
}

void out_drain(OutText& out) {
    if (!out.consume || out.data.empty()) return;
    out.consume(out.context, out.data);
    out.data.clear();
}

void out_write(OutText& out, std::string_view text) {
    if (!out.open) return;
    if (out.consume) room_for_block(out, text.size());
    size_t start = 0;
    while (start < text.size()) {
        const void* nl = std::memchr(text.data() + start, '\n', text.size() - start);
        if (!nl) {
            out.data.append(text.data() + start, text.size() - start);
            break;
        }
        size_t at = static_cast<const char*>(nl) - text.data();
        out.data.append(text.data() + start, at - start);
        out.data.append("\r\n", 2);
        start = at + 1;
    }
    if ((out.file != kNoFile || out.consume) && out.data.size() >= kFlushSize) flush_to_file(out);
}

void out_write_raw(OutText& out, std::string_view text) {
    if (!out.open) return;
    if (out.file != kNoFile && !out.consume && text.size() >= kFlushSize) {
        // A large text goes to the file as it is, behind what is pending,
        // instead of through the buffer.
        flush_to_file(out);
        if (!out.failed && !write_all(out.file, text.data(), text.size(), out.error)) out.failed = true;
        return;
    }
    if (out.consume) room_for_block(out, text.size());
    out.data.append(text.data(), text.size());
    if ((out.file != kNoFile || out.consume) && out.data.size() >= kFlushSize) flush_to_file(out);
}

void out_printf(OutText& out, const char* format, ...) {
    if (!out.open) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        out_write(out, std::string_view(small, static_cast<size_t>(n)));
    } else if (n >= 0) {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(&big[0], big.size(), format, again);
        big.resize(static_cast<size_t>(n));
        out_write(out, big);
    }
    va_end(again);
}

void out_close(OutText& out) {
    if (!out.open) return;
    out_drain(out);
    if (out.file != kNoFile) {
        flush_to_file(out);
        int error = 0;
        if (!close_file(out.file, error) && !out.failed) {
            out.failed = true;
            out.error = error;
        }
        out.file = kNoFile;
    }
    out.open = false;
}

bool in_open_file(InText& in, const std::string& name) {
    in = InText{};
    in.file = std::fopen(name.c_str(), "rb");
    if (!in.file) return false;
    in.open = true;
    return true;
}

void in_open_memory(InText& in, std::string text) {
    in = InText{};
    in.buffer = std::move(text);
    in.eof = true;
    in.open = true;
}

// Reads another block from the file; false when nothing more came.
static bool refill(InText& in) {
    if (in.eof || !in.file) return false;
    if (in.pos > 0) {
        in.buffer.erase(0, in.pos);
        in.pos = 0;
    }
    char block[1 << 16];
    size_t n = std::fread(block, 1, sizeof block, in.file);
    if (n == 0) {
        if (std::ferror(in.file)) {
            in.failed = true;
            in.error = errno;
        }
        in.eof = true;
        return false;
    }
    in.buffer.append(block, n);
    return true;
}

bool in_next_line(InText& in, std::string& line) {
    if (!in.open) return false;
    size_t scanned = in.pos;
    for (;;) {
        const char* base = in.buffer.data();
        const void* nl =
            scanned < in.buffer.size() ? std::memchr(base + scanned, '\n', in.buffer.size() - scanned) : nullptr;
        if (nl) {
            size_t at = static_cast<const char*>(nl) - base;
            size_t len = at - in.pos;
            if (len > 0 && base[at - 1] == '\r') --len;
            line.assign(base + in.pos, len);
            in.pos = at + 1;
            return true;
        }
        // refill moves the unread bytes to the front; what was scanned stays scanned
        scanned = in.buffer.size() - in.pos;
        if (!refill(in)) break;
    }
    if (in.pos >= in.buffer.size()) return false;
    line.assign(in.buffer, in.pos, std::string::npos);
    in.pos = in.buffer.size();
    return true;
}

void in_close(InText& in) {
    if (in.file) std::fclose(in.file);
    in.file = nullptr;
    in.open = false;
}
