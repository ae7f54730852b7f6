// Audio files through libsndfile: a reader that is a render source, the choice of the
// output format, and a writer that is a render sink and only ever hands its file to
// OUT once everything has been written (see OutputFile).
#pragma once

#include <sndfile.h>

#include <optional>
#include <string>

#include "outputfile.h"
#include "render.h"

namespace orvex::cli {

class SoundFileReader : public AudioSource {
public:
    // Throws Error for a missing, unreadable or unknown file.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader() override;
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const override { return info.channels; }
    int64_t frames() const override { return info.frames; }
    int read(float* const* destination, int frames) override;

    int sampleRate() const { return info.samplerate; }
    int format() const { return info.format; }
    const std::string& path() const { return filePath; }

private:
    std::string filePath;
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::vector<float> interleaved;
};

// The format to write: `--format` when given (FAMILY or FAMILY:ENCODING), else the
// family OUT's extension names, else the input's family; the input's encoding when
// the family can hold it, else the family's usual one. Throws Error when the
// result cannot hold `channels` at `sampleRate`.
int chooseOutputFormat(int inputFormat, const std::optional<std::string>& option, const std::string& outputPath,
                       int channels, int sampleRate);

// What is wrong with a `--format` value; empty when it names a family (and encoding)
// known here.
std::string formatOptionProblem(const std::string& option);

// "WAV, 32 bit float" for messages.
std::string describeFormat(int format);

// The families and encodings `--format` knows, for the help text.
std::string formatChoices();

class SoundFileWriter : public AudioSink {
public:
    // Creates the temporary file; `path` itself is untouched until commit. Throws Error
    // when `path` cannot be written.
    SoundFileWriter(const std::string& path, int format, int channels, int sampleRate);
    // Without a commit, removes the temporary file.
    ~SoundFileWriter() override;
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Throws Error when the file cannot take the samples (disk full, size limit).
    void write(const float* const* source, int channels, int frames) override;
    // Finishes the file and hands it to OUT. Throws Error on failure, after which OUT is
    // as it was.
    void commit();

    const OutputFile& destination() const { return output; }

private:
    OutputFile output;
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::vector<float> interleaved;
    // Integer encodings are written from samples scaled here by 2^(bits-1), the way
    // libsndfile reads them back: a sample read and written unchanged stays the same.
    double integerScale = 0.0;
    float integerCeiling = 0.0f;
};

}  // namespace orvex::cli
