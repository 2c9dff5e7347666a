// msformat.cpp -- header blocks, record lines and peak lines of the MS1
// and MS2 files.
#include "output/msformat.h"

#include "output/numtext.h"
#include "precursor/precursor.h"
#include "version.h"

// Longest peak line: two ftoa texts, a charge and a value column, blanks
// and the line feed.
static const size_t peak_line_max = 2 * ftoa_max + 12 + ftoa_max + 4;

static void print_head(OutFile& out, const char* extractor,
                       const char* comments, const char* scan_type,
                       const char* instrument_type, int32_t index_num)
{
    out_printf(out,
               "H\tCreation Date\t \n"
               "H\tExtractor\t%s\n"
               "H\tExtractorVersion\t%s\n"
               "H\tComments\t%s\n"
               "H\tExtractorOptions\tMSn\n"
               "H\tAcquisitionMethod\tData-Dependent\n"
               "H\tInstrumentType\t%s\n"
               "H\tScanType\t%s\n"
               "H\tDataType\tCentroid\n"
               "H\tResolution\t\n"
               "H\tIsolationWindow\t\n"
               "H\tFirstScan\t1\n"
               "H\tLastScan\t%d\n",
               extractor, kolvex_version, comments, instrument_type, scan_type,
               index_num);
}

void print_file_head_ms2(OutFile& out, const char* instrument_type,
                         int32_t index_num)
{
    print_head(out, "kolvex", "kolvex by Ostrel 2015", "MS2", instrument_type,
               index_num);
}

void print_file_head_ms1(OutFile& out, const char* instrument_type,
                         int32_t index_num)
{
    print_head(out, "kolvex by Ostrel 2015", "kolvex by Ostrel", "MS1",
               instrument_type, index_num);
}

void print_scan_ms1(OutFile& out, const IndexEntry& entry,
                    const ScanContext& ctx)
{
    out_printf(out,
               "S\t%06d\t%06d\n"
               "I\tRetTime\t%.06f\n"
               "I\tIonInjectionTime\t%.02f\n"
               "I\tInstrumentType\t%s\n",
               ctx.scan_number, ctx.scan_number, entry.start_time,
               static_cast<double>(ctx.ion_injection_time),
               ctx.instrument_type);
}

void print_scan_ms2(OutFile& out, const IndexEntry& entry,
                    const ScanContext& ctx)
{
    const Ms1Peak& pk = ctx.ms1[static_cast<size_t>(ctx.precursor_index)];
    out_printf(out,
               "S\t%06d\t%06d\t%.04f\n"
               "I\tRetTime\t%.06f\n"
               "I\tIonInjectionTime\t%.02f\n"
               "I\tActivationType\tCID\n"
               "I\tInstrumentType\t%s\n"
               "I\tTemperatureFTAnalyzer\t-1\n"
               "I\tFilter\t%s + c ESI d Full ms2 %.02f@cid35.00 [%.02f-%.02f]\n"
               "I\tPrecursorScan\t%d\n"
               "I\tPrecursorInt\t%.04f\n",
               ctx.scan_number, ctx.scan_number, reported_precursor(ctx),
               entry.start_time, static_cast<double>(ctx.ion_injection_time),
               ctx.instrument_type, ctx.instrument_type, ctx.precursor_mz,
               entry.low_mass, entry.high_mass, ctx.last_ms1_index + 1,
               static_cast<double>(pk.intensity));
    print_charge_lines(out, reported_precursor(ctx), lookup_charge(ctx),
                       ctx.charge_state);
}

void print_peaks(OutFile& out, int32_t version, bool survey,
                 const PacketBuffers& buf, ScanContext& ctx)
{
    bool four_columns = survey && (version == 64 || version == 66);
    if (survey && ctx.ms1.size() < static_cast<size_t>(buf.n))
        ctx.ms1.resize(static_cast<size_t>(buf.n), Ms1Peak{0, 0, 0});
    for (int32_t i = 0; i < buf.n; i++) {
        size_t ui = static_cast<size_t>(i);
        const PacketPeak& pk = buf.peaks[ui];
        int32_t charge = buf.labels[ui].charge_code / 256;
        if (survey)
            ctx.ms1[ui] = Ms1Peak{pk.mz, pk.intensity, charge};
        char* line = out_reserve(out, peak_line_max);
        size_t n = static_cast<size_t>(peak_pair_text(pk.mz, pk.intensity, line));
        if (four_columns) {
            line[n++] = ' ';
            if (charge >= 0 && charge <= 9) {
                line[n++] = static_cast<char>('0' + charge);  // itoa's text
            } else {
                itoa(charge, line + n);
                n += std::strlen(line + n);
            }
            line[n++] = ' ';
            n += static_cast<size_t>(value_text(buf.values[ui], line + n));
        }
        line[n++] = '\n';
        out_commit(out, n);
    }
}
