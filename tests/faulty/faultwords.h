// The faults a test plug-in is asked to have: words in the environment variable
// ORVEX_FAULT, separated by commas. Read at every call, so a test can change them
// between instances; any thread but the audio thread (getenv walks the environment).
#pragma once

#include <cstdlib>
#include <string>

namespace orvex {

inline bool faultSwitchedOn(const char* word) {
    const char* all = std::getenv("ORVEX_FAULT");
    if (!all) return false;
    const std::string list = std::string(",") + all + ",";
    return list.find(std::string(",") + word + ",") != std::string::npos;
}

}  // namespace orvex
