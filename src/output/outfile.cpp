// outfile.cpp -- checked, buffered writes and the rename at the end.
#include "output/outfile.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const size_t out_buffer_size = 1 << 20;

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

    std::string tmpl = path + ".tmpXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int tfd = mkstemp(name.data());
    if (tfd < 0)
        return errno;
    // The renamed file should look like the one the run created.
    fchmod(tfd, mode);
    out.fd = tfd;
    out.tmp_path = name.data();
    out.buf.resize(out_buffer_size);
    return 0;
}

void out_open_sink(OutFile& out)
{
    out = OutFile{};
    out.sink = true;
    out.buf.resize(out_buffer_size);
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
    return out.err == 0;
}

char* out_reserve(OutFile& out, size_t n)
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

void out_printf(OutFile& out, const char* fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
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
        if (out.err == 0 && rename(out.tmp_path.c_str(), out.path.c_str()) != 0)
            out.err = errno;
        if (out.err == 0) {
            out.tmp_path.clear();
            return true;
        }
    }
    out_abandon(out);
    return out.err == 0;
}
