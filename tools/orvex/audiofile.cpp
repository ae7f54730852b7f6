#include "audiofile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "arguments.h"

namespace orvex::cli {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Family {
    const char* name;
    int major;
    const char* extensions[2];
    int usualEncoding;  // when the input's encoding does not fit
};

const Family kFamilies[] = {
    {"wav", SF_FORMAT_WAV, {"wav", nullptr}, SF_FORMAT_FLOAT},
    {"aiff", SF_FORMAT_AIFF, {"aiff", "aif"}, SF_FORMAT_FLOAT},
    {"flac", SF_FORMAT_FLAC, {"flac", nullptr}, SF_FORMAT_PCM_24},
    {"ogg", SF_FORMAT_OGG, {"ogg", "oga"}, SF_FORMAT_VORBIS},
    {"caf", SF_FORMAT_CAF, {"caf", nullptr}, SF_FORMAT_FLOAT},
    {"w64", SF_FORMAT_W64, {"w64", nullptr}, SF_FORMAT_FLOAT},
};

struct Encoding {
    const char* name;
    int subtype;
};

const Encoding kEncodings[] = {
    {"16", SF_FORMAT_PCM_16},  {"24", SF_FORMAT_PCM_24},      {"32", SF_FORMAT_PCM_32},
    {"float", SF_FORMAT_FLOAT}, {"double", SF_FORMAT_DOUBLE}, {"vorbis", SF_FORMAT_VORBIS},
};

const Family* familyByMajor(int major) {
    for (const Family& f : kFamilies)
        if (f.major == major) return &f;
    return nullptr;
}

const Family* familyByExtension(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    if (extension.empty()) return nullptr;
    extension = lower(extension.substr(1));
    for (const Family& f : kFamilies)
        for (const char* e : f.extensions)
            if (e && extension == e) return &f;
    return nullptr;
}

bool fits(int format, int channels, int sampleRate) {
    SF_INFO probe{};
    probe.format = format;
    probe.channels = channels;
    probe.samplerate = sampleRate;
    return sf_format_check(&probe) != 0;
}

std::string formatName(int format, int command) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, command, &info, sizeof info) != 0 || !info.name) return "unknown";
    return info.name;
}

std::string systemError(int error) { return std::strerror(error); }

// `--format`'s FAMILY or FAMILY:ENCODING, or what is wrong with it.
struct FormatOption {
    const Family* family = nullptr;
    int encoding = 0;  // none named
    std::string problem;
};

FormatOption parseFormatOption(const std::string& option) {
    FormatOption parsed;
    const std::string text = lower(option);
    const auto colon = text.find(':');
    const std::string familyName = text.substr(0, colon);
    for (const Family& f : kFamilies)
        if (familyName == f.name) parsed.family = &f;
    if (!parsed.family) {
        parsed.problem = "unknown --format '" + option + "'; choose " + formatChoices();
    } else if (colon != std::string::npos) {
        const std::string encodingName = text.substr(colon + 1);
        for (const Encoding& e : kEncodings)
            if (encodingName == e.name) parsed.encoding = e.subtype;
        if (!parsed.encoding) parsed.problem = "unknown encoding in --format '" + option + "'; choose " + formatChoices();
    }
    return parsed;
}

}  // namespace

std::string formatOptionProblem(const std::string& option) { return parseFormatOption(option).problem; }

// Reading ------------------------------------------------------------------------------

SoundFileReader::SoundFileReader(const std::string& path) : filePath(path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw Error("cannot open input " + path + ": " + systemError(errno));
    if (S_ISDIR(status.st_mode)) throw Error("input " + path + " is a folder, not an audio file");
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw Error("cannot read " + path + " as audio: " + sf_strerror(nullptr) +
                    " (WAV, FLAC, AIFF, OGG and the other formats of libsndfile are read)");
}

SoundFileReader::~SoundFileReader() {
    if (file) sf_close(file);
}

int SoundFileReader::read(float* const* destination, int frames) {
    if (frames <= 0) return 0;
    const auto channelCount = static_cast<std::size_t>(info.channels);
    interleaved.resize(static_cast<std::size_t>(frames) * channelCount);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), frames);
    if (got < 0) throw Error("cannot read " + filePath + ": " + sf_strerror(file));
    if (sf_error(file) != SF_ERR_NO_ERROR)
        throw Error("cannot read " + filePath + ": " + sf_strerror(file));
    const int count = static_cast<int>(got);
    for (std::size_t c = 0; c < channelCount; ++c)
        for (int i = 0; i < count; ++i) destination[c][i] = interleaved[static_cast<std::size_t>(i) * channelCount + c];
    return count;
}

// Choosing the output format ---------------------------------------------------------

int chooseOutputFormat(int inputFormat, const std::optional<std::string>& option, const std::string& outputPath,
                       int channels, int sampleRate) {
    const Family* family = nullptr;
    int encoding = 0;
    if (option) {
        const FormatOption parsed = parseFormatOption(*option);
        if (!parsed.problem.empty()) throw Error(parsed.problem);
        family = parsed.family;
        encoding = parsed.encoding;
    } else {
        family = familyByExtension(outputPath);
    }

    const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    const int inputEncoding = inputFormat & SF_FORMAT_SUBMASK;
    const int major = family ? family->major : inputMajor;
    int format = 0;
    if (encoding) {
        format = major | encoding;
    } else if (fits(major | inputEncoding, channels, sampleRate)) {
        format = major | inputEncoding;
    } else {
        const Family* known = family ? family : familyByMajor(major);
        format = major | (known ? known->usualEncoding : SF_FORMAT_FLOAT);
    }
    if (!fits(format, channels, sampleRate))
        throw Error("cannot write " + describeFormat(format) + " with " + std::to_string(channels) +
                    " channels at " + std::to_string(sampleRate) + " Hz; choose another --format (" +
                    formatChoices() + ")");
    return format;
}

std::string describeFormat(int format) {
    return formatName(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO) + ", " +
           formatName(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
}

std::string formatChoices() {
    std::string text;
    for (const Family& f : kFamilies) text += std::string(text.empty() ? "" : ", ") + f.name;
    text += ", optionally with :ENCODING (";
    bool first = true;
    for (const Encoding& e : kEncodings) {
        text += std::string(first ? "" : ", ") + e.name;
        first = false;
    }
    return text + "), for example wav:24";
}

// Writing ------------------------------------------------------------------------------

SoundFileWriter::SoundFileWriter(const std::string& path, int format, int channels, int sampleRate)
    : output(path) {
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    // The temporary file stays open and OutputFile's own; libsndfile only writes into it.
    file = sf_open_fd(output.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!file) throw Error("cannot write " + describeFormat(format) + " to " + path + ": " + sf_strerror(nullptr));
    const int subtype = format & SF_FORMAT_SUBMASK;
    if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // libsndfile reads n-bit samples as value / 2^(n-1) but writes normalised floats as
    // value × (2^(n-1) - 1); scaling here keeps a sample that passes unchanged intact.
    const int bits = subtype == SF_FORMAT_PCM_16 ? 16 : subtype == SF_FORMAT_PCM_24 ? 24 : subtype == SF_FORMAT_PCM_32 ? 32 : 0;
    if (bits > 0) {
        sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        integerScale = std::ldexp(1.0, bits - 1);
        const auto largest = static_cast<float>(integerScale - 1.0);
        integerCeiling = largest < integerScale ? largest : std::nextafter(static_cast<float>(integerScale), 0.0f);
    }
}

SoundFileWriter::~SoundFileWriter() {
    if (file) sf_close(file);
}

void SoundFileWriter::write(const float* const* source, int channels, int frames) {
    if (frames <= 0) return;
    if (!file) throw Error("output " + output.path() + " is closed");
    const auto channelCount = static_cast<std::size_t>(info.channels);
    interleaved.assign(static_cast<std::size_t>(frames) * channelCount, 0.0f);
    for (std::size_t c = 0; c < channelCount && c < static_cast<std::size_t>(channels); ++c)
        for (int i = 0; i < frames; ++i) interleaved[static_cast<std::size_t>(i) * channelCount + c] = source[c][i];
    if (integerScale > 0.0) {
        const auto floor = static_cast<float>(-integerScale);
        for (float& x : interleaved) {
            const double scaled = static_cast<double>(x) * integerScale;
            // Not a number becomes silence; everything else is clipped to the range.
            x = std::isnan(scaled) ? 0.0f : std::clamp(static_cast<float>(scaled), floor, integerCeiling);
        }
    }
    const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
    if (written != frames) throw Error("cannot write " + output.path() + ": " + sf_strerror(file));
}

void SoundFileWriter::commit() {
    if (!file) throw Error("output " + output.path() + " is closed");
    const int closing = sf_close(file);
    file = nullptr;
    if (closing != 0) throw Error("cannot finish " + output.path() + ": " + sf_error_number(closing));
    output.commit();
}

}  // namespace orvex::cli
