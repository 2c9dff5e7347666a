// seeds.cpp -- kolvex-seeds: writes the seed inputs of every harness.
//
// kolvex-seeds FOLDER [DATA_DIR]
//
// FOLDER/<harness>/ receives the generated kinds of tools/corpus and, with
// DATA_DIR, every file of DATA_DIR/real and DATA_DIR/patched, read from
// there at run time. Each file is also cut where each parser starts, at
// the places the converter's own probes find: the header region, the
// scan-event stream, the index, the trailer table with its first records,
// single packets, and the numbers of the first peaks. A cut that starts
// with harness words (harness.h) has them point into the cut.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "corpus.h"
#include "harness.h"
#include "output/numtext.h"
#include "raw/raw.h"
#include "scan_loop.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

const int64_t unit_max = 64 << 10;  // the unit harnesses' -max_len
const int32_t packets_per_file = 8;

int written = 0;

void write(const fs::path& dir, const std::string& name, const Bytes& b)
{
    std::ofstream f(dir / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()),
            static_cast<std::streamsize>(b.size()));
    if (!f) {
        std::fprintf(stderr, "kolvex-seeds: cannot write %s\n",
                     (dir / name).c_str());
        std::exit(1);
    }
    written++;
}

// The words, then bytes [from, to) of the file (clamped to it).
template <typename Words>
Bytes cut(const Words& w, const Bytes& file, int64_t from, int64_t to)
{
    Bytes b(sizeof w);
    std::memcpy(b.data(), &w, sizeof w);
    from = std::clamp<int64_t>(from, 0, static_cast<int64_t>(file.size()));
    to = std::clamp<int64_t>(to, from, static_cast<int64_t>(file.size()));
    b.insert(b.end(), file.begin() + from, file.begin() + to);
    return b;
}

// A numtext input: two floats, an integer, 4 decimals, width 0.
Bytes numbers(float a, float b, float value)
{
    Bytes num(24, 0);
    int32_t integer = float2int(value);
    std::memcpy(num.data(), &a, 4);
    std::memcpy(num.data() + 4, &b, 4);
    std::memcpy(num.data() + 8, &integer, 4);
    num[12] = 4;
    double wide = value;
    std::memcpy(num.data() + 16, &wide, 8);
    return num;
}

int32_t record_size(int32_t version)
{
    return version == 66 ? index_record_66
           : version == 64 ? index_record_64
                           : index_record_62;
}

// Writes the cuts of one file; name is its seed name.
void cut_file(const fs::path& out, const std::string& name, const Bytes& file)
{
    Input in = borrow_input(file.data(), file.size());
    OutFile ms1, ms2;
    out_open_sink(ms1);
    out_open_sink(ms2);
    RunCounts counts;
    Nav nav;
    // No entry visited: nav is what the probes, the index loader and the
    // trailer search leave for the scan loop.
    NoScans why = convert_input(in, ms1, ms2, counts, &nav, false, 0);
    out_close(ms1, false);
    out_close(ms2, false);
    if (why != NoScans::none)
        return;
    int32_t v = nav.version;
    int64_t size = static_cast<int64_t>(file.size());

    Bytes head(file.begin(),
               file.begin() + std::min<int64_t>(size, int64_t{nav.anchor} + 1024));
    write(out / "run_header", name + ".header", head);
    write(out / "event_layout", name + ".events",
          cut(EventWords{4}, file, nav.pp_start, nav.pp_start + unit_max - 4));

    // The event stream's first records that fit, closed as the file closes
    // the whole stream: 4 bytes, then the trailer pointer.
    std::vector<int64_t> starts;
    if (walk_event_stream(in, nav, nav.index_num, starts)) {
        const int64_t words = sizeof(EventStreamWords);
        size_t m = starts.size();
        int64_t end = int64_t{nav.pr_header} - 4;
        while (m > 1 && words + end - nav.pp_start + 4 > unit_max)
            end = starts[--m];
        int32_t t = static_cast<int32_t>(words + end - nav.pp_start + 4);
        Bytes b = cut(EventStreamWords{v, static_cast<int32_t>(words), t,
                                       static_cast<int32_t>(m)},
                      file, nav.pp_start, end + 4);
        write(out / "event_stream", name + ".stream", b);
    }
    int32_t rec = record_size(v);
    int32_t in_cut = static_cast<int32_t>(
        std::min<int64_t>(nav.index_num, (unit_max - 12) / rec));
    write(out / "index", name + ".index",
          cut(IndexWords{v, 12, in_cut}, file, nav.index_start,
              nav.index_start + int64_t{in_cut} * rec));

    // The table and its first records, which follow it in the cut where
    // the index would start.
    TrailerLayout t{};
    int64_t table = find_trailer_table(in, nav, t);
    int64_t table_end = std::min<int64_t>(nav.index_start, table + (32 << 10));
    int32_t records = std::min(nav.index_num, 16);
    if (table >= 0 && 20 + table_end - table + records * int64_t{t.width} <= unit_max) {
        int32_t index_at = static_cast<int32_t>(20 + table_end - table);
        Bytes b = cut(TrailerWords{v, 20, index_at, records, index_at}, file,
                      table, table_end);
        b.insert(b.end(), file.begin() + nav.pr_header,
                 file.begin() + std::min<int64_t>(
                                    size, nav.pr_header + int64_t{records} * t.width));
        write(out / "trailer", name + ".table", b);
    } else {
        write(out / "trailer", name + ".records",
              cut(TrailerWords{v, 20, 20, records, 20}, file, nav.pr_header,
                  nav.pr_header + 8192));
    }

    std::vector<IndexEntry> index;
    int32_t count = v == 66   ? gen_index_table2(in, nav, index)
                    : v == 64 ? gen_index_table3(in, nav, index)
                              : gen_index_table(in, nav, index);
    int32_t step = std::max(1, count / packets_per_file);
    for (int32_t k = 0; k < count; k += step) {
        const IndexEntry& e = index[static_cast<size_t>(k)];
        int64_t pos = add32(nav.locator, static_cast<int32_t>(e.packet_offset));
        if (pos < 0 || pos >= size || e.data_size < 0 || e.data_size > unit_max - 64)
            continue;
        // Bytes past the packet too: a read beyond data_size finds data.
        std::string k_name = name + ".packet" + std::to_string(k);
        write(out / "packet", k_name,
              cut(PacketWords{v, 12, e.data_size}, file, pos,
                  pos + e.data_size + 52));
        PacketDescription d;
        if (describe_packet(in, static_cast<int32_t>(pos), e.data_size, d) ==
            PacketKind::described) {
            // The numbers of the first peaks: m/z, intensity, a value.
            PacketBuffers buf;
            read_described_packet(in, d, buf);
            for (int32_t i = 0; i < std::min(d.n, 3); i++) {
                size_t u = static_cast<size_t>(i);
                write(out / "numtext", k_name + "." + std::to_string(i),
                      numbers(buf.peaks[u].mz, buf.peaks[u].intensity,
                              buf.values[u]));
            }
        }
    }
}

Bytes read_file(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fputs("usage: kolvex-seeds FOLDER [DATA_DIR]\n", stderr);
        return 2;
    }
    fs::path out = argv[1];
    for (const char* h : {"convert", "run_header", "event_layout", "event_stream", "index",
                          "trailer", "packet", "numtext"})
        fs::create_directories(out / h);

    for (const corpus::Seed& s : corpus::seeds()) {
        write(out / "convert", s.name, s.bytes);
        write(out / "run_header", s.name, s.bytes);
        cut_file(out, s.name, s.bytes);
    }
    // Numbers the digit rules treat apart: truncation, leading zeros of
    // the fraction, no digit before the point, 2^31, signs, non-numbers.
    const float edges[][2] = {{445.12f, 0.75f}, {1.0079f, 1234.56f},
                              {100.05f, 80.0f}, {0.00004f, 0.0f},
                              {2147483648.0f, 3.0e38f}, {-12.5f, -0.5f},
                              {1.0e-40f, 16777217.0f},
                              {std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()}};
    int32_t e = 0;
    for (const auto& pair : edges)
        write(out / "numtext", "edge" + std::to_string(e++),
              numbers(pair[0], pair[1], pair[1]));

    if (argc == 3) {
        for (const char* sub : {"real", "patched"}) {
            fs::path dir = fs::path(argv[2]) / sub;
            if (!fs::is_directory(dir))
                continue;
            for (const auto& e : fs::directory_iterator(dir)) {
                Bytes file = read_file(e.path());
                std::string name = e.path().filename().string();
                write(out / "convert", name, file);
                write(out / "run_header", name, file);
                cut_file(out, name, file);
            }
        }
    }
    std::printf("%d seeds in %s\n", written, out.c_str());
    return 0;
}
