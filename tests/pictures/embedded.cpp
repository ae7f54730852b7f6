// The test editor's pictures as the build draws, copies and compiles them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "decoded.h"
#include "gui/pictures.h"

namespace fs = std::filesystem;
using orvex::gui::embeddedPicture;

namespace {

const Rgb key{43, 100, 118};

struct Expected {
    int number, width, height;
};
const Expected expected[] = {{128, 360, 220}, {129, 40, 1240}, {130, 40, 40}, {131, 90, 18}, {132, 70, 16},
                             {133, 80, 48},   {134, 80, 48},   {135, 80, 48}, {136, 200, 60}};

std::string fileName(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "bmp%05d.png", number);
    return name;
}

std::vector<unsigned char> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<unsigned char> embedded(int number) {
    const auto bytes = embeddedPicture(number);
    return {bytes.begin(), bytes.end()};
}

// The topmost row in column x that is not the key colour, or the height.
int curveTop(const Decoded& d, int x) {
    int y = 0;
    while (y < d.height() && d.at(x, y) == key) ++y;
    return y;
}

struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/pictures-XXXXXX";
        if (mkdtemp(name)) path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

int runGenerator(const std::string& arguments) {
    const std::string command = std::string("'") + ORVEX_PICTURES_GENERATOR + "' " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(PicturesEmbedded, EveryPictureDecodesAtItsSize) {
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.number);
        const Decoded d(embeddedPicture(e.number));
        ASSERT_TRUE(d.ok());
        EXPECT_EQ(d.width(), e.width);
        EXPECT_EQ(d.height(), e.height);
    }
}

TEST(PicturesEmbedded, UnknownNumbersAreEmpty) {
    for (int number : {-1, 0, 127, 137, 1128, 99999}) EXPECT_TRUE(embeddedPicture(number).empty()) << number;
}

TEST(PicturesEmbedded, KnobFramesDifferAndThePointerSweepsFromLowerLeftToLowerRight) {
    const Decoded strip(embeddedPicture(129));
    ASSERT_EQ(strip.height(), 31 * 40);
    for (int i = 1; i < 31; ++i) EXPECT_FALSE(strip.sameRows((i - 1) * 40, strip, i * 40, 40)) << "frame " << i;
    EXPECT_FALSE(strip.sameRows(0, strip, 30 * 40, 40));
    // Where the light pointer is: the mean position of its near-white pixels.
    const auto pointer = [&](int frame, double& x, double& y) {
        double sx = 0, sy = 0, n = 0;
        for (int py = 0; py < 40; ++py)
            for (int px = 0; px < 40; ++px) {
                const Rgb c = strip.at(px, frame * 40 + py);
                if (c.red > 200 && c.green > 200 && c.blue > 200) sx += px + 0.5, sy += py + 0.5, ++n;
            }
        ASSERT_GT(n, 0) << "frame " << frame;
        x = sx / n - 20;
        y = sy / n - 20;
    };
    double x, y;
    pointer(0, x, y);  // lower left
    EXPECT_LT(x, -2);
    EXPECT_GT(y, 2);
    pointer(15, x, y);  // straight up
    EXPECT_NEAR(x, 0, 1);
    EXPECT_LT(y, -4);
    pointer(30, x, y);  // lower right
    EXPECT_GT(x, 2);
    EXPECT_GT(y, 2);
}

TEST(PicturesEmbedded, ButtonHalvesDifferAndOnlyTheOnHalfIsLit) {
    const Decoded button(embeddedPicture(130));
    ASSERT_EQ(button.height(), 40);
    EXPECT_FALSE(button.sameRows(0, button, 20, 20));
    // The lamp in the accent colour: strongly orange pixels.
    const auto lit = [&](int y0) {
        int n = 0;
        for (int y = y0; y < y0 + 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const Rgb c = button.at(x, y);
                if (c.red > 200 && c.red - c.blue > 120) ++n;
            }
        return n;
    };
    EXPECT_EQ(lit(0), 0);
    EXPECT_GT(lit(20), 4);
}

TEST(PicturesEmbedded, CurvesLieOnTheTransparentColour) {
    for (int number : {133, 134, 135}) {
        SCOPED_TRACE(number);
        const Decoded d(embeddedPicture(number));
        ASSERT_TRUE(d.ok());
        const int w = d.width(), h = d.height();
        EXPECT_EQ(d.at(0, 0), key);
        EXPECT_EQ(d.at(w - 1, 0), key);
        EXPECT_EQ(d.at(0, h - 1), key);
        EXPECT_EQ(d.at(w - 1, h - 1), key);
        int kept = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) kept += !(d.at(x, y) == key);
        EXPECT_GT(kept, w * h / 10);
        // The line runs across most of the width, touching the top.
        int highest = h, columns = 0;
        for (int x = 0; x < w; ++x) {
            columns += curveTop(d, x) < h;
            highest = std::min(highest, curveTop(d, x));
        }
        EXPECT_GT(columns, w * 6 / 10);
        EXPECT_LE(highest, 1);
    }
    const Decoded low(embeddedPicture(133)), band(embeddedPicture(134)), high(embeddedPicture(135));
    EXPECT_LT(curveTop(low, 5), curveTop(low, 75) - 10);
    EXPECT_GT(curveTop(high, 5), curveTop(high, 75) + 10);
    EXPECT_LT(curveTop(band, 40), curveTop(band, 5) - 10);
    EXPECT_LT(curveTop(band, 40), curveTop(band, 75) - 10);
}

TEST(PicturesEmbedded, ResourcesFolderHoldsTheSameBytes) {
    for (const Expected& e : expected) {
        const fs::path path = fs::path(ORVEX_PICTURES_RESOURCES) / fileName(e.number);
        ASSERT_TRUE(fs::exists(path)) << path;
        EXPECT_EQ(readFile(path), embedded(e.number)) << path;
    }
}

TEST(PicturesEmbedded, CopyingIntoResourcesRemovesPicturesNoLongerDrawnAndNothingElse) {
    TempDir drawn, resources;
    ASSERT_EQ(runGenerator("'" + drawn.path.string() + "' 1 2"), 0);
    std::ofstream(resources.path / "bmp00999.png") << "drawn by an older build";
    std::ofstream(resources.path / "bmp00999@2x.png") << "drawn by an older build";
    std::ofstream(resources.path / "bmp00128.png") << "an older panel";
    std::ofstream(resources.path / "readme.txt") << "a user's own";
    const std::string command = std::string("'") + ORVEX_CMAKE + "' -DFROM='" + drawn.path.string() + "' -DTO='" +
                                resources.path.string() + "' -P '" + ORVEX_COPY_PICTURES_SCRIPT + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::set<std::string> names, wanted{"readme.txt"};
    for (const auto& entry : fs::directory_iterator(resources.path)) names.insert(entry.path().filename().string());
    for (const auto& entry : fs::directory_iterator(drawn.path)) {
        wanted.insert(entry.path().filename().string());
        EXPECT_EQ(readFile(entry.path()), readFile(resources.path / entry.path().filename())) << entry.path();
    }
    EXPECT_EQ(names, wanted);
}

TEST(PicturesGenerator, TwoRunsDrawTheSameBytesAsTheBuild) {
    TempDir first, second;
    ASSERT_FALSE(first.path.empty());
    ASSERT_FALSE(second.path.empty());
    ASSERT_EQ(runGenerator(first.path.string()), 0);
    ASSERT_EQ(runGenerator(second.path.string()), 0);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(first.path)) names.insert(entry.path().filename().string());
    std::set<std::string> listed;
    for (const Expected& e : expected) listed.insert(fileName(e.number));
    EXPECT_EQ(names, listed);
    for (const Expected& e : expected) {
        const std::string name = fileName(e.number);
        const auto bytes = readFile(first.path / name);
        EXPECT_FALSE(bytes.empty()) << name;
        EXPECT_EQ(bytes, readFile(second.path / name)) << name;
        EXPECT_EQ(bytes, embedded(e.number)) << name;
    }
}

TEST(PicturesGenerator, RefusesAMissingDirectory) {
    EXPECT_NE(runGenerator("/tmp/pictures-no-such-directory/inside"), 0);
    EXPECT_NE(runGenerator(""), 0);
}
