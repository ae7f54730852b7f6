// `orvex`: renders audio files through VST 2.x plug-ins without a DAW. See
// `orvex --help`; the commands live in commands.cpp.
#include <string>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return orvex::cli::runCommandLine(args);
}
