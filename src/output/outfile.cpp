// outfile.cpp -- checked, buffered writes and the rename at the end.
#include "output/outfile.h"

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const size_t out_buffer_size = 1 << 20;

static std::vector<char> tmp_template(const std::string& tmpl)
{
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    return name;
}

int out_open(OutFile& out, const std::string& path)
{
    out = OutFile{};
    out.path = path;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    struct stat st;
    mode_t mode = 0644;
    if (fstat(fd, &st) == 0)
        mode = st.st_mode & 07777;
    close(fd);

    // Output through a symbolic link lands in the file it names, as a
    // plain write would; renaming over the link would replace the link.
    out.target = path;
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            out.target = real;
            std::free(real);
        }
    }
    const std::string& target = out.target;

    std::vector<char> name = tmp_template(target + ".tmpXXXXXX");
    int tfd = mkstemp(name.data());
    if (tfd < 0 && errno == ENAMETOOLONG) {
        // A final name near the length limit leaves no room for the
        // suffix; a short name in the same folder renames just as well.
        size_t slash = target.rfind('/');
        std::string dir = slash == std::string::npos ? ""
                                                     : target.substr(0, slash + 1);
        name = tmp_template(dir + ".kolvex.tmpXXXXXX");
        tfd = mkstemp(name.data());
    }
    if (tfd < 0)
        return errno;
    // The renamed file should look like the one the run created.
    fchmod(tfd, mode);
    out.fd = tfd;
    out.tmp_path = name.data();
    out.buf.resize(out_buffer_size);
    return 0;
}

void out_open_sink(OutFile& out, int64_t limit)
{
    out = OutFile{};
    out.sink = true;
    out.limit = limit;
    // A small limit needs a small buffer, or the flush that notices it
    // would come long after.
    size_t size = out_buffer_size;
    if (limit > 0 && static_cast<uint64_t>(limit) < size)
        size = static_cast<size_t>(limit);
    out.buf.resize(size);
}

bool out_flush(OutFile& out)
{
    if (out.err) {
        out.len = 0;
        return false;
    }
    size_t done = 0;
    while (!out.sink && done < out.len) {
        ssize_t w = write(out.fd, out.buf.data() + done, out.len - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            out.err = errno;
            break;
        }
        done += static_cast<size_t>(w);
    }
    out.written += static_cast<int64_t>(out.len);
    out.len = 0;
    if (out.sink && out.limit > 0 && out.written >= out.limit)
        out.err = EFBIG;
    return out.err == 0;
}

char* out_reserve_slow(OutFile& out, size_t n)
{
    if (out.len + n > out.buf.size()) {
        out_flush(out);
        if (n > out.buf.size())
            out.buf.resize(n);
    }
    return out.buf.data() + out.len;
}

void out_write(OutFile& out, const char* text, size_t n)
{
    char* dst = out_reserve(out, n);
    std::memcpy(dst, text, n);
    out_commit(out, n);
}

// True when every conversion of fmt is one that format_line writes: "%%",
// "%d" with an optional 0 flag and width, "%.Nf" and a plain "%s". These
// are all the record lines use.
static bool simple_format(const char* fmt)
{
    for (const char* f = std::strchr(fmt, '%'); f; f = std::strchr(f + 1, '%')) {
        f++;
        if (*f == '%')
            continue;
        bool flag_or_width = false;
        while (*f >= '0' && *f <= '9') {
            flag_or_width = true;
            f++;
        }
        bool precision = false;
        if (*f == '.') {
            f++;
            if (*f < '0' || *f > '9')
                return false;
            while (*f >= '0' && *f <= '9')
                f++;
            precision = true;
        }
        if (*f == 'd' && !precision)
            continue;
        if (*f == 'f' && precision && !flag_or_width)
            continue;
        if (*f == 's' && !precision && !flag_or_width)
            continue;
        return false;
    }
    return true;
}

// Writes fmt with its arguments into text[0, cap) as vsnprintf would for a
// simple_format; returns the length, or -1 when it does not fit. The
// numbers come from to_chars, whose "%.Nf" text is printf's in the C
// locale (NaN and infinities included) at a fraction of the cost.
static int format_line(char* text, size_t cap, const char* fmt, va_list ap)
{
    char* p = text;
    char* end = text + cap;
    for (const char* f = fmt; *f; f++) {
        if (*f != '%' || f[1] == '%') {
            // The literal text up to the next conversion, in one copy.
            const char* next = *f == '%' ? f + 1 : std::strchr(f, '%');
            size_t run = next ? static_cast<size_t>(next - f) : std::strlen(f);
            if (*f == '%')
                f++;  // "%%" writes one "%"
            if (static_cast<size_t>(end - p) < run)
                return -1;
            std::memcpy(p, f, run);
            p += run;
            f += run - 1;
            continue;
        }
        f++;
        bool zero = *f == '0';
        size_t width = 0;
        while (*f >= '0' && *f <= '9')
            width = width * 10 + static_cast<size_t>(*f++ - '0');
        int precision = 0;
        if (*f == '.') {
            f++;
            while (*f >= '0' && *f <= '9')
                precision = precision * 10 + (*f++ - '0');
        }
        if (*f == 'd') {
            int v = va_arg(ap, int);
            char num[16];
            std::to_chars_result r = std::to_chars(num, num + sizeof num, v);
            size_t len = static_cast<size_t>(r.ptr - num);
            size_t pad = width > len ? width - len : 0;
            if (static_cast<size_t>(end - p) < len + pad)
                return -1;
            size_t sign = 0;
            if (zero && v < 0) {  // zeros go between the sign and the digits
                *p++ = '-';
                sign = 1;
            }
            std::memset(p, zero ? '0' : ' ', pad);
            p += pad;
            std::memcpy(p, num + sign, len - sign);
            p += len - sign;
        } else if (*f == 'f') {
            double v = va_arg(ap, double);
            std::to_chars_result r =
                std::to_chars(p, end, v, std::chars_format::fixed, precision);
            if (r.ec != std::errc())
                return -1;
            p = r.ptr;
        } else {
            const char* s = va_arg(ap, const char*);
            if (!s)
                s = "(null)";
            size_t len = std::strlen(s);
            if (static_cast<size_t>(end - p) < len)
                return -1;
            std::memcpy(p, s, len);
            p += len;
        }
    }
    return static_cast<int>(p - text);
}

void out_printf(OutFile& out, const char* fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    if (simple_format(fmt)) {
        va_list fast;
        va_copy(fast, ap);
        int n = format_line(line, sizeof line, fmt, fast);
        va_end(fast);
        if (n >= 0) {
            va_end(ap);
            out_write(out, line, static_cast<size_t>(n));
            return;
        }
    }
    int n = vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof line) {
        out_write(out, line, static_cast<size_t>(n));
        return;
    }
    // A record line this long needs a huge number; format it again.
    std::vector<char> big(static_cast<size_t>(n) + 1);
    va_start(ap, fmt);
    vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    out_write(out, big.data(), static_cast<size_t>(n));
}

void out_abandon(OutFile& out)
{
    if (out.fd >= 0)
        close(out.fd);
    out.fd = -1;
    if (!out.tmp_path.empty())
        unlink(out.tmp_path.c_str());
    out.tmp_path.clear();
}

bool out_close(OutFile& out, bool keep)
{
    if (out.sink) {
        out_flush(out);
        return true;
    }
    if (out.fd < 0)
        return out.err == 0;
    if (keep) {
        out_flush(out);
        if (out.err == 0 && close(out.fd) != 0)
            out.err = errno;
        else if (out.err != 0)
            close(out.fd);
        out.fd = -1;
        if (out.err == 0 && rename(out.tmp_path.c_str(), out.target.c_str()) != 0)
            out.err = errno;
        if (out.err == 0) {
            out.tmp_path.clear();
            return true;
        }
    }
    out_abandon(out);
    return out.err == 0;
}
