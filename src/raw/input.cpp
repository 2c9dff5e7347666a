// input.cpp -- the input file as a read-only memory map.
#include "raw/input.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// Mapped pages count toward the resident set. Dropping them from the
// mapping every so often keeps memory flat however large the file is;
// they stay in the page cache, so a later touch is a cheap minor fault.
static const int64_t release_every = 16 << 20;

int open_input(Input& in, const std::string& path)
{
    in = Input{};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        return e;
    }
    if (!S_ISREG(st.st_mode)) {  // a directory or device is no raw file
        close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    in.size = st.st_size;
    if (static_cast<uint64_t>(in.size) > SIZE_MAX) {  // a 32-bit host
        close(fd);
        in = Input{};
        return EFBIG;
    }
    if (in.size > 0) {
        void* m = mmap(nullptr, static_cast<size_t>(in.size), PROT_READ,
                       MAP_PRIVATE, fd, 0);
        if (m == MAP_FAILED) {
            int e = errno;
            close(fd);
            in = Input{};
            return e;
        }
        in.map = m;
        in.map_len = static_cast<size_t>(in.size);
        in.data = static_cast<const uint8_t*>(m);
    }
    in.fd = fd;  // kept: the searches ask it where the holes are
    return 0;
}

void close_input(Input& in)
{
    if (in.map)
        munmap(in.map, in.map_len);
    if (in.fd >= 0)
        close(in.fd);
    in = Input{};
}

Input borrow_input(const uint8_t* data, size_t size)
{
    Input in;
    in.data = data;
    in.size = static_cast<int64_t>(size);
    return in;
}

int32_t read_at(Input& in, int64_t pos, void* dst, int64_t n)
{
    if (n <= 0 || pos < 0 || pos >= in.size || !in.data)
        return 0;
    int64_t avail = in.size - pos;
    int64_t len = n < avail ? n : avail;
    std::memcpy(dst, in.data + pos, static_cast<size_t>(len));
    note_read(in, len);
    return static_cast<int32_t>(len);
}

void note_read(Input& in, int64_t n)
{
    if (in.map && (in.touched += n) >= release_every)
        drop_pages(in);
}

void drop_pages(Input& in)
{
    if (in.map)
        madvise(in.map, in.map_len, MADV_DONTNEED);
    in.touched = 0;
}

// Searched in slices, so that a search through a large file without a
// match does not leave the whole file resident.
static const int64_t search_slice = 32 << 20;

/*
 * Narrows the search from *from to the next stretch of data: moves *from to
 * the first window that reaches data (none wholly in the hole before it)
 * and returns the last window start before the hole after it. Returns -1
 * when no data follows *from, INT64_MAX when the file cannot tell.
 */
static int64_t data_stretch(const Input& in, int64_t* from, int32_t len)
{
    off_t d = lseek(in.fd, *from, SEEK_DATA);
    if (d < 0)
        return errno == ENXIO ? -1 : INT64_MAX;
    if (d - (len - 1) > *from)
        *from = d - (len - 1);
    off_t h = lseek(in.fd, d, SEEK_HOLE);
    return h < 0 ? INT64_MAX : h - 1;
}

int64_t find_bytes(Input& in, int64_t from, int64_t last, const uint8_t* pat,
                   int32_t len)
{
    if (from < 0)
        from = 0;
    if (last > in.size - len)
        last = in.size - len;  // windows wholly inside the file only
    // Only a long search asks for the holes: a short one reads less than
    // the two system calls cost.
    bool skip_holes = in.fd >= 0 && last - from > search_slice &&
                      std::any_of(pat, pat + len,
                                  [](uint8_t b) { return b != 0; });
    while (in.data && from <= last) {
        int64_t stretch_end = INT64_MAX;
        if (skip_holes && (stretch_end = data_stretch(in, &from, len)) < 0)
            return -1;
        int64_t end = from + search_slice < last ? from + search_slice : last;
        if (end > stretch_end)
            end = stretch_end;
        if (from > end)
            break;
        // windows starting in [from, end]
        const void* hit = memmem(in.data + from,
                                 static_cast<size_t>(end - from + len), pat,
                                 static_cast<size_t>(len));
        note_read(in, end - from);
        if (hit)
            return static_cast<const uint8_t*>(hit) - in.data;
        from = end + 1;
    }
    return -1;
}
