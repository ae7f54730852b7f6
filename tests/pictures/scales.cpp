// The test editor's pictures at 2x and 3x: drawn again at the finer pixels (not the 1x
// picture enlarged), and a build that misses a scale of a listed picture fails.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

TEST(PicturesScales, EmbeddingFailsWhenAScaleOfAListedPictureIsMissing) {
    char name[] = "/tmp/pictures-scales-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path dir = name;
    const std::string tool = std::string("'") + ORVEX_EMBED_TOOL + "' '" + (dir / "embedded.cpp").string() + "' '" +
                             (dir / "png").string() + "' --scales=1,2,3 128 129";
    fs::create_directory(dir / "png");
    ASSERT_EQ(run(std::string("'") + ORVEX_PICTURES_GENERATOR + "' '" + (dir / "png").string() + "' 1 2 3"), 0);
    for (const char* unlisted : {"130", "131", "132", "133", "134", "135", "136"})
        for (const char* suffix : {".png", "@2x.png", "@3x.png"})
            fs::remove(dir / "png" / (std::string("bmp00") + unlisted + suffix));
    EXPECT_EQ(run(tool), 0);
    EXPECT_TRUE(fs::exists(dir / "embedded.cpp"));

    fs::remove(dir / "png" / "bmp00129@2x.png");
    EXPECT_NE(run(tool), 0);
    fs::remove_all(dir);
}
