// The small audio tool of the Ardour test: writes its input and compares the files
// that Ardour and `orvex render` made of it.
//
//   wavtool synth OUT [--rate R] [--tempo T] [--lead N]
//       N frames of silence (default 0), then one bar of the demo loop at T BPM (120)
//       and R Hz (44100), as stereo 32-bit float WAV
//   wavtool compare A B [--search N] [--skip N] [--blocks N]
//
// `compare` prints one `key=value` line per figure, for the driver to read:
//   frames_a, frames_b, channels_a, channels_b, rate_a, rate_b
//   nonfinite_a, nonfinite_b     samples that are NaN or infinite
//   max_abs_diff                 over the common length from frame `skip` on, B aligned with A
//   first_diff                   first frame at which any channel differs (-1: none)
//   worst_frame                  where max_abs_diff is
//   rms_diff, rms_a, rms_b       of the difference, of A and of B, over the same frames
//   best_offset, best_max_abs_diff  the shift d in -N..N that makes B[i + d] closest to A[i]
// and with --blocks N the largest difference of every block of N frames that has one.
// Exits 0 when both files could be read and compared, 2 on a bad command line, 1 otherwise.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tools/orvex/audiofile.h"
#include "tools/orvex/demo.h"

namespace {

struct Audio {
    int rate = 0;
    std::vector<std::vector<float>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

bool readAudio(const char* path, Audio& audio) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "wavtool: cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got != info.frames) {
        std::fprintf(stderr, "wavtool: %s: read %lld of %lld frames\n", path, static_cast<long long>(got),
                     static_cast<long long>(info.frames));
        return false;
    }
    audio.rate = info.samplerate;
    audio.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(got)));
    for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < info.channels; ++c)
            audio.channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                interleaved[static_cast<std::size_t>(i * info.channels + c)];
    return true;
}

long nonFinite(const Audio& audio) {
    long count = 0;
    for (const auto& channel : audio.channels)
        for (float x : channel)
            if (!std::isfinite(x)) ++count;
    return count;
}

// Largest |A[i] - B[i + offset]| over frames i >= skip where both exist, and where.
double maxDifference(const Audio& a, const Audio& b, long offset, long skip, long* where) {
    const long na = static_cast<long>(a.frames());
    const long nb = static_cast<long>(b.frames());
    const std::size_t channels = std::min(a.channels.size(), b.channels.size());
    double worst = 0.0;
    long at = -1;
    for (long i = std::max(skip, -offset); i < na && i + offset < nb; ++i)
        for (std::size_t c = 0; c < channels; ++c) {
            double d = std::fabs(static_cast<double>(a.channels[c][static_cast<std::size_t>(i)]) -
                                 b.channels[c][static_cast<std::size_t>(i + offset)]);
            if (std::isnan(d)) d = INFINITY;  // a NaN on either side is no match
            if (d > worst || (at < 0 && d == worst)) {
                worst = d;
                at = i;
            }
        }
    if (where) *where = at;
    return worst;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wavtool synth OUT [--rate R] [--tempo T] [--lead N]\n"
                 "       wavtool compare A B [--search N] [--skip N] [--blocks N]\n");
    return 2;
}

// Reads "--option VALUE" pairs from argv[first] on into the named numbers, none negative.
bool options(int argc, char** argv, int first, std::initializer_list<std::pair<const char*, double*>> known) {
    for (int i = first; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        char* end = nullptr;
        const double value = std::strtod(argv[i + 1], &end);
        if (*end != '\0' || !(value >= 0.0)) return false;
        bool found = false;
        for (const auto& [name, target] : known)
            if (std::string(argv[i]) == name) {
                *target = value;
                found = true;
            }
        if (!found) return false;
    }
    return true;
}

int synth(int argc, char** argv) {
    double rate = 44100, tempo = 120, lead = 0;
    if (argc < 3 || !options(argc, argv, 3, {{"--rate", &rate}, {"--tempo", &tempo}, {"--lead", &lead}}) ||
        rate < 1 || tempo <= 0)
        return usage();
    auto loop = orvex::cli::synthesiseLoop(rate, tempo, 1);
    for (auto& channel : loop) channel.insert(channel.begin(), static_cast<std::size_t>(lead), 0.0f);
    try {
        orvex::cli::SoundFileWriter writer(argv[2], SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, static_cast<int>(rate));
        const float* channels[2] = {loop[0].data(), loop[1].data()};
        writer.write(channels, 2, static_cast<int>(loop[0].size()));
        writer.commit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wavtool: %s\n", e.what());
        return 1;
    }
    return 0;
}

int compare(int argc, char** argv) {
    double searchOption = 0, skipOption = 0, blocksOption = 0;
    if (argc < 4 ||
        !options(argc, argv, 4, {{"--search", &searchOption}, {"--skip", &skipOption}, {"--blocks", &blocksOption}}))
        return usage();
    const long search = static_cast<long>(searchOption), skip = static_cast<long>(skipOption),
               blocks = static_cast<long>(blocksOption);
    Audio a, b;
    if (!readAudio(argv[2], a) || !readAudio(argv[3], b)) return 1;
    std::printf("frames_a=%zu\nframes_b=%zu\nchannels_a=%zu\nchannels_b=%zu\nrate_a=%d\nrate_b=%d\n", a.frames(),
                b.frames(), a.channels.size(), b.channels.size(), a.rate, b.rate);
    std::printf("nonfinite_a=%ld\nnonfinite_b=%ld\n", nonFinite(a), nonFinite(b));

    const long n = static_cast<long>(std::min(a.frames(), b.frames()));
    const std::size_t channels = std::min(a.channels.size(), b.channels.size());
    long first = -1;
    double sumDiff = 0.0, sumA = 0.0, sumB = 0.0;
    for (long i = skip; i < n; ++i)
        for (std::size_t c = 0; c < channels; ++c) {
            const double x = a.channels[c][static_cast<std::size_t>(i)];
            const double y = b.channels[c][static_cast<std::size_t>(i)];
            const double d = x - y;
            if (d != 0.0 && first < 0) first = i;
            sumDiff += d * d;
            sumA += x * x;
            sumB += y * y;
        }
    const double count =
        static_cast<double>(std::max<long>(n - skip, 1)) * static_cast<double>(std::max<std::size_t>(channels, 1));
    long worstFrame = -1;
    const double worst = maxDifference(a, b, 0, skip, &worstFrame);
    std::printf("max_abs_diff=%.9g\nfirst_diff=%ld\nworst_frame=%ld\nrms_diff=%.9g\nrms_a=%.9g\nrms_b=%.9g\n", worst,
                first, worstFrame, std::sqrt(sumDiff / count), std::sqrt(sumA / count), std::sqrt(sumB / count));

    long bestOffset = 0;
    double best = worst;
    for (long d = -search; d <= search; ++d) {
        if (d == 0) continue;
        const double m = maxDifference(a, b, d, skip, nullptr);
        if (m < best) {
            best = m;
            bestOffset = d;
        }
    }
    std::printf("best_offset=%ld\nbest_max_abs_diff=%.9g\n", bestOffset, best);

    if (blocks > 0)
        for (long start = skip; start < n; start += blocks) {
            double m = 0.0;
            for (long i = start; i < std::min(n, start + blocks); ++i)
                for (std::size_t c = 0; c < channels; ++c) {
                    const double d = std::fabs(static_cast<double>(a.channels[c][static_cast<std::size_t>(i)]) -
                                               b.channels[c][static_cast<std::size_t>(i)]);
                    m = std::isnan(d) ? INFINITY : std::max(m, d);
                }
            if (m > 0.0) std::printf("block %ld %.9g\n", start, m);
        }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "synth") return synth(argc, argv);
    if (command == "compare") return compare(argc, argv);
    return usage();
}
