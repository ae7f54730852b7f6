#include "commands.h"

#include <cstdio>
#include <exception>

#include "arguments.h"

namespace orvex::cli {

const std::vector<const Command*>& commandTable() {
    static const std::vector<const Command*> table = {&kListCommand,     &kInfoCommand,  &kRenderCommand,
                                                      &kDemoCommand,     &kSnapshotCommand, &kBenchCommand,
                                                      &kValidateCommand};
    return table;
}

std::string helpText(const std::string& command) {
    if (command.empty()) {
        std::string text =
            "Usage: orvex COMMAND [ARGUMENTS]\n\n"
            "Hosts audio plug-ins without a DAW: VST 2.x (the Orvex bundles of this build, or\n"
            "any plug-in .so), CLAP (.clap files) and LV2 (by URI).\n\nCommands:\n";
        for (const Command* c : commandTable()) {
            std::string head = std::string(c->name) + (*c->usage ? std::string(" ") + c->usage : "");
            head.resize(std::max<std::size_t>(head.size() + 1, 22), ' ');
            text += "  " + head + c->summary + "\n";
        }
        text +=
            "\nPLUGIN is a short name (panner), an effect name (\"Orvex Space\"), the path of a .so\n"
            "or a .clap, or an LV2 plug-in's URI.\n"
            "Run 'orvex COMMAND --help' for the options of a command.\n";
        return text;
    }
    for (const Command* c : commandTable())
        if (command == c->name) return c->options();
    return {};
}

int printHelp(const std::string& command) {
    std::fputs(helpText(command).c_str(), stdout);
    return 0;
}

int runCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(helpText("").c_str(), stderr);
        return 2;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        const std::string topic = rest.empty() ? "" : rest[0];
        const std::string text = helpText(topic);
        if (text.empty()) {
            std::fprintf(stderr, "orvex: no command '%s'\n%s", topic.c_str(), helpText("").c_str());
            return 2;
        }
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    try {
        for (const Command* c : commandTable())
            if (command == c->name) return c->run(rest);
        std::fprintf(stderr, "orvex: unknown command '%s'\n\n%s", command.c_str(), helpText("").c_str());
        return 2;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return e.status();
    } catch (const Error& e) {
        std::fprintf(stderr, "orvex %s: %s\n", command.c_str(), e.what());
        return e.status();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvex %s: %s\n", command.c_str(), e.what());
        return 1;
    }
}

}  // namespace orvex::cli
