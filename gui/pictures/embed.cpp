// orvex_embed_pictures OUT.cpp DIRECTORY [--scales=1,2,3]
//
// Writes a C++ source that holds every picture the generator drew into DIRECTORY
// (bmpNNNNN.png, and bmpNNNNN@2x.png and bmpNNNNN@3x.png for each further scale named)
// and defines orvex::gui::embeddedPicture (gui/pictures.h), so that a plug-in's .so
// carries its pictures. The numbers come from the file names. Fails when a picture is
// missing at any scale, is no PNG, or is not the scale times the 1x picture's size, and
// when the directory holds anything that is not a picture's name at one of the scales.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string fileName(int number, int scale) {
    char name[24];
    if (scale == 1) std::snprintf(name, sizeof name, "bmp%05d.png", number);
    else std::snprintf(name, sizeof name, "bmp%05d@%dx.png", number, scale);
    return name;
}

// The number and scale a picture's file name gives, or false when it names none.
bool parseName(const std::string& name, int& number, int& scale) {
    if (!name.starts_with("bmp") || !name.ends_with(".png") || name.size() < 12) return false;
    const std::string middle = name.substr(3, name.size() - 7);
    scale = 1;
    std::string digits = middle;
    if (const auto at = middle.find('@'); at != std::string::npos) {
        const std::string suffix = middle.substr(at + 1);
        if (suffix.size() != 2 || suffix[1] != 'x' || suffix[0] < '1' || suffix[0] > '9') return false;
        scale = suffix[0] - '0';
        digits = middle.substr(0, at);
    }
    return digits.size() == 5 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           (number = std::stoi(digits), true);
}

// Width and height from a PNG's header (its IHDR chunk), or false when it has none.
bool pngSize(const std::vector<unsigned char>& bytes, unsigned& width, unsigned& height) {
    if (bytes.size() < 24) return false;
    const auto big = [&](std::size_t at) {
        return unsigned{bytes[at]} << 24 | unsigned{bytes[at + 1]} << 16 | unsigned{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    width = big(16);
    height = big(20);
    return std::equal(bytes.begin() + 12, bytes.begin() + 16, "IHDR");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUT.cpp DIRECTORY [--scales=1,2,3]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path directory = argv[2];
    std::set<int> scales{1};
    if (argc == 4) {
        const std::string option = argv[3];
        if (!option.starts_with("--scales=")) {
            std::fprintf(stderr, "%s: %s: the pictures' numbers come from the drawn files, not the arguments\n",
                         argv[0], option.c_str());
            return 2;
        }
        scales.clear();
        std::istringstream list(option.substr(9));
        for (std::string item; std::getline(list, item, ',');) {
            if (item.size() != 1 || item[0] < '1' || item[0] > '3') {
                std::fprintf(stderr, "%s: %s: the scales are 1, 2 and 3\n", argv[0], option.c_str());
                return 2;
            }
            scales.insert(item[0] - '0');
        }
        if (!scales.contains(1)) {
            std::fprintf(stderr, "%s: %s: scale 1 is always needed\n", argv[0], option.c_str());
            return 2;
        }
    }

    // Every file the generator left is a picture at one of the scales; a number drawn at
    // any scale must be there at all of them (checked below, as each is read).
    std::set<int> numbers;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        int scale = 1;
        if (!entry.is_regular_file() || !parseName(name, number, scale) || !scales.contains(scale)) {
            std::fprintf(stderr, "%s: %s is not a picture's name at the scales %s\n", argv[0], entry.path().c_str(),
                         argc == 4 ? argv[3] + 9 : "1");
            return 1;
        }
        numbers.insert(number);
    }
    if (error) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], directory.c_str(), error.message().c_str());
        return 1;
    }
    if (numbers.empty()) {
        std::fprintf(stderr, "%s: %s holds no pictures\n", argv[0], directory.c_str());
        return 1;
    }

    std::ostringstream code;
    code << "// Made by orvex_embed_pictures from the pictures drawn at build time; not to be edited.\n"
            "#include <cstddef>\n\n#include \"gui/pictures.h\"\n\nnamespace orvex::gui {\n\nnamespace {\n\n";
    for (int number : numbers) {
        unsigned baseWidth = 0;
        unsigned baseHeight = 0;
        for (int scale : scales) {
            const fs::path path = directory / fileName(number, scale);
            std::ifstream in(path, std::ios::binary);
            const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.c_str());
                return 1;
            }
            if (bytes.size() < 8 || !std::equal(signature, signature + 8, bytes.begin())) {
                std::fprintf(stderr, "%s: %s is missing or is no PNG file\n", argv[0], path.c_str());
                return 1;
            }
            // A scale's drawing has exactly that many times the pixels each way (a film
            // strip's frames included), so that it lands pixel for pixel where the 1x one does.
            unsigned width = 0;
            unsigned height = 0;
            if (!pngSize(bytes, width, height)) {
                std::fprintf(stderr, "%s: %s has no PNG header\n", argv[0], path.c_str());
                return 1;
            }
            if (scale == 1) {
                baseWidth = width;
                baseHeight = height;
            } else if (width != baseWidth * scale || height != baseHeight * scale) {
                std::fprintf(stderr, "%s: %s is %u x %u pixels, not %d times the %u x %u of its 1x picture\n", argv[0],
                             path.c_str(), width, height, scale, baseWidth, baseHeight);
                return 1;
            }
            code << "const unsigned char picture" << number << "_" << scale << "[" << bytes.size() << "] = {";
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                code << (i % 24 == 0 ? "\n    " : "") << static_cast<int>(bytes[i]) << ',';
            }
            code << "\n};\n\n";
        }
    }
    code << "struct Entry {\n    int number;\n    int scale;\n    const unsigned char* bytes;\n    std::size_t size;\n};\n\n"
            "const Entry entries[] = {\n";
    for (int number : numbers)
        for (int scale : scales) {
            const std::string name = "picture" + std::to_string(number) + "_" + std::to_string(scale);
            code << "    {" << number << ", " << scale << ", " << name << ", sizeof " << name << "},\n";
        }
    code << "};\n\n}  // namespace\n\n"
            "std::span<const unsigned char> embeddedPicture(int number, int scale) {\n"
            "    for (const Entry& entry : entries)\n"
            "        if (entry.number == number && entry.scale == scale) return {entry.bytes, entry.size};\n"
            "    return {};\n}\n\n"
            "std::span<const unsigned char> embeddedPicture(int number) { return embeddedPicture(number, 1); }\n\n"
            "}  // namespace orvex::gui\n";

    // Written aside and renamed, so that an interrupted build leaves no half a source.
    const fs::path partial = out.string() + ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file << code.str();
        file.close();
        if (!file) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], partial.c_str());
            return 1;
        }
    }
    fs::rename(partial, out, error);
    if (error) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], out.c_str(), error.message().c_str());
        return 1;
    }
    return 0;
}
