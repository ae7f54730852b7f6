// The X display editors open on: the one in DISPLAY, or a private Xvfb started for
// the run and stopped with it.
#pragma once

#include <sys/types.h>

#include <string>

namespace orvex::validate {

class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Uses DISPLAY when set, else starts Xvfb. False, with the reason, when neither works.
    bool start(std::string& problem);
    const std::string& display() const { return name; }
    // Stops the server started last, from a signal handler.
    static void stopRunning();

private:
    std::string name;
    pid_t server = -1;
};

}  // namespace orvex::validate
