// The test editor's pictures at 2x and 3x: drawn again at the finer pixels (not the 1x
// picture enlarged), and compiling them in fails when a drawn picture lacks a scale or
// has the wrong size, or when anything but pictures lies among them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "decoded.h"
#include "gui/pictures.h"

namespace fs = std::filesystem;
using orvex::gui::embeddedPicture;

namespace {

const int kNumbers[] = {128, 129, 130, 131, 132, 133, 134, 135, 136};

double grey(const Rgb& c) { return (c.red + c.green + c.blue) / 3.0; }

int run(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(PicturesScales, EveryScaleIsThatManyTimesThePixelsAndTheKnobIsDrawnNotEnlarged) {
    for (int number : kNumbers) {
        const Decoded one(embeddedPicture(number, 1));
        ASSERT_TRUE(one.ok()) << number;
        for (int k : {2, 3}) {
            const Decoded scaled(embeddedPicture(number, k));
            ASSERT_TRUE(scaled.ok()) << number << " at " << k;
            EXPECT_EQ(scaled.width(), k * one.width()) << number << " at " << k;
            EXPECT_EQ(scaled.height(), k * one.height()) << number << " at " << k;
        }
    }

    // The knob strip (31 frames of 40 x 40) against itself at 1x enlarged by pixel
    // doubling. Doubled, each pair of columns (2i, 2i + 1) is one colour; drawn at 2x,
    // edges fall between them as often as anywhere.
    const Decoded one(embeddedPicture(129, 1));
    const Decoded two(embeddedPicture(129, 2));
    double difference = 0;  // from the doubled picture
    double withinPairs = 0;  // steps between columns 2i and 2i + 1
    double acrossPairs = 0;  // steps between columns 2i + 1 and 2i + 2
    for (int y = 0; y < two.height(); ++y) {
        for (int x = 0; x < two.width(); ++x) {
            const double d = grey(two.at(x, y)) - grey(one.at(x / 2, y / 2));
            difference += d * d;
            if (x + 1 < two.width()) {
                const double step = grey(two.at(x + 1, y)) - grey(two.at(x, y));
                (x % 2 == 0 ? withinPairs : acrossPairs) += step * step;
            }
        }
    }
    const double pixels = static_cast<double>(two.width()) * two.height();
    EXPECT_GT(difference / pixels, 20.0);  // a mean square difference of grey levels
    EXPECT_GT(withinPairs, 0.4 * acrossPairs);
}

TEST(PicturesScales, EmbeddingTakesWhatWasDrawnAndFailsOnAMissingScaleAWrongSizeOrAStrayFile) {
    char name[] = "/tmp/pictures-scales-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path dir = name;
    const fs::path drawn = dir / "drawn";
    fs::create_directory(drawn);
    ASSERT_EQ(run(std::string("'") + ORVEX_PICTURES_GENERATOR + "' '" + drawn.string() + "' 1 2 3"), 0);
    // Only the pictures it finds: two numbers drawn are two numbers compiled in.
    for (const char* left : {"130", "131", "132", "133", "134", "135", "136"})
        for (const char* suffix : {".png", "@2x.png", "@3x.png"}) fs::remove(drawn / (std::string("bmp00") + left + suffix));

    // Embeds a copy of the drawn folder after `change`; the tool's exit status.
    const auto embed = [&](const std::function<void(const fs::path&)>& change) {
        const fs::path png = dir / "png";
        fs::remove_all(png);
        fs::copy(drawn, png);
        change(png);
        fs::remove(dir / "embedded.cpp");
        return run(std::string("'") + ORVEX_EMBED_TOOL + "' '" + (dir / "embedded.cpp").string() + "' '" + png.string() +
                   "' --scales=1,2,3");
    };
    EXPECT_EQ(embed([](const fs::path&) {}), 0);
    std::ifstream source(dir / "embedded.cpp");
    const std::string code{std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>()};
    EXPECT_NE(code.find("{129, 3, "), std::string::npos);
    EXPECT_EQ(code.find("{130, "), std::string::npos);

    EXPECT_NE(embed([](const fs::path& png) { fs::remove(png / "bmp00129@2x.png"); }), 0) << "a missing scale";
    EXPECT_NE(embed([](const fs::path& png) {
                  fs::copy_file(png / "bmp00128@3x.png", png / "bmp00128@2x.png", fs::copy_options::overwrite_existing);
              }),
              0)
        << "a wrong size";
    EXPECT_NE(embed([](const fs::path& png) { std::ofstream(png / "bmp00129.png") << "no picture"; }), 0) << "no PNG";
    for (const char* stray : {"notes.txt", "bmp129.png", "bmp00128@4x.png"})
        EXPECT_NE(embed([&](const fs::path& png) { std::ofstream(png / stray) << "x"; }), 0) << stray;
    EXPECT_NE(embed([](const fs::path& png) { fs::create_directory(png / "bmp00140.png"); }), 0) << "a folder";
    EXPECT_NE(embed([](const fs::path& png) {
                  for (const auto& entry : fs::directory_iterator(png)) fs::remove(entry.path());
              }),
              0)
        << "nothing drawn";
    fs::remove_all(dir);
}
