// orvex_embed_pictures OUT.cpp DIRECTORY NUMBER...
//
// Writes a C++ source that holds DIRECTORY/bmpNNNNN.png for each NUMBER and defines
// orvex::gui::embeddedPicture (gui/pictures.h), so that a plug-in's .so carries its
// pictures. Fails when a listed picture is missing or is no PNG, and when the
// directory holds a picture that is not listed: the generator and the build's list of
// numbers must agree.
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

std::string fileName(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "bmp%05d.png", number);
    return name;
}

bool parseNumber(const std::string& text, int& number) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    number = std::stoi(text);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT.cpp DIRECTORY NUMBER...\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path directory = argv[2];
    std::set<int> numbers;
    for (int i = 3; i < argc; ++i) {
        int number = 0;
        if (!parseNumber(argv[i], number)) {
            std::fprintf(stderr, "%s: %s is no picture number (0 to 99999)\n", argv[0], argv[i]);
            return 2;
        }
        if (!numbers.insert(number).second) {
            std::fprintf(stderr, "%s: picture %d is listed twice\n", argv[0], number);
            return 2;
        }
    }

    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        if (name.size() == 12 && name.starts_with("bmp") && name.ends_with(".png") &&
            parseNumber(name.substr(3, 5), number) && !numbers.contains(number)) {
            std::fprintf(stderr, "%s: the generator drew %s, which is not among the listed numbers\n", argv[0],
                         entry.path().c_str());
            return 1;
        }
    }
    if (error) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], directory.c_str(), error.message().c_str());
        return 1;
    }

    std::ostringstream code;
    code << "// Made by orvex_embed_pictures from the pictures drawn at build time; not to be edited.\n"
            "#include <cstddef>\n\n#include \"gui/pictures.h\"\n\nnamespace orvex::gui {\n\nnamespace {\n\n";
    for (int number : numbers) {
        const fs::path path = directory / fileName(number);
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
        code << "const unsigned char picture" << number << "[" << bytes.size() << "] = {";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            code << (i % 24 == 0 ? "\n    " : "") << static_cast<int>(bytes[i]) << ',';
        }
        code << "\n};\n\n";
    }
    code << "struct Entry {\n    int number;\n    const unsigned char* bytes;\n    std::size_t size;\n};\n\n"
            "const Entry entries[] = {\n";
    for (int number : numbers)
        code << "    {" << number << ", picture" << number << ", sizeof picture" << number << "},\n";
    code << "};\n\n}  // namespace\n\n"
            "std::span<const unsigned char> embeddedPicture(int number) {\n"
            "    for (const Entry& entry : entries)\n"
            "        if (entry.number == number) return {entry.bytes, entry.size};\n"
            "    return {};\n}\n\n}  // namespace orvex::gui\n";

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
