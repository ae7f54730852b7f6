// Loading: the record, the exported symbols, the version handshake, repeated
// loading, and instances of several bundles side by side in one process.
#include <dlfcn.h>
#include <elf.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

#include "checks.h"
#include "harness.h"

namespace orvex::validate {

namespace {

const char* const kEntryPoints[] = {"VSTPluginMain", "main_macho", "main"};

}  // namespace

bool exportedSymbols(const std::string& path, std::vector<std::string>& symbols, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (data.size() < sizeof(Elf64_Ehdr) || std::memcmp(data.data(), ELFMAG, SELFMAG) != 0 ||
        data[EI_CLASS] != ELFCLASS64) {
        error = "not a 64-bit ELF file";
        return false;
    }
    auto inside = [&](uint64_t offset, uint64_t size) { return offset <= data.size() && size <= data.size() - offset; };
    Elf64_Ehdr header;
    std::memcpy(&header, data.data(), sizeof header);
    if (!inside(header.e_shoff, static_cast<uint64_t>(header.e_shnum) * sizeof(Elf64_Shdr))) {
        error = "section table outside the file";
        return false;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), data.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_type != SHT_DYNSYM || s.sh_link >= sections.size()) continue;
        const Elf64_Shdr& strings = sections[s.sh_link];
        if (!inside(s.sh_offset, s.sh_size) || !inside(strings.sh_offset, strings.sh_size)) break;
        for (uint64_t at = s.sh_offset; at + sizeof(Elf64_Sym) <= s.sh_offset + s.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, data.data() + at, sizeof sym);
            const int binding = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE))
                continue;
            if (ELF64_ST_VISIBILITY(sym.st_other) == STV_HIDDEN || sym.st_name >= strings.sh_size) continue;
            const char* name = data.data() + strings.sh_offset + sym.st_name;
            symbols.emplace_back(name, strnlen(name, strings.sh_size - sym.st_name));
        }
        return true;
    }
    error = "no dynamic symbol table";
    return false;
}

std::string joined(const std::vector<std::string>& items, std::size_t most) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < most; ++i) text += (i ? ", " : "") + items[i];
    if (items.size() > most) text += ", ... (" + std::to_string(items.size() - most) + " more)";
    return text;
}

namespace {

// A fixed stretch of noise through a fresh, started instance: what it should always
// give back.
Audio fingerprint(vsthost::Plugin& plugin, int frames) {
    plugin.start(44100.0f, 512);
    return runBlocks(plugin, makeSignal(Signal::noise, inputChannels(plugin), frames, 44100.0, 7), 512);
}

}  // namespace

bool inChild(const std::function<std::string()>& body, std::string& answer) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fds[0]);
        const std::string data = body();
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = write(fds[1], data.data() + done, data.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        _exit(done == data.size() ? 0 : 1);
    }
    close(fds[1]);
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string bytesOf(const std::vector<Audio>& runs) {
    std::string bytes;
    for (const Audio& a : runs)
        for (const auto& channel : a)
            bytes.append(reinterpret_cast<const char*>(channel.data()), channel.size() * sizeof(float));
    return bytes;
}

void checkOpen(Context& c, Outcome& out) {
    c.step("dlopen with RTLD_NOW | RTLD_LOCAL and the entry point");
    const double start = wallSeconds();
    auto result = vsthost::Plugin::load(c.target.path, defaultHost());
    const double loaded = wallSeconds() - start;
    if (!result) {
        out.summary = result.error;
        if (result.faults.empty()) out.fail(result.error);
        for (const std::string& fault : result.faults) out.fail(fault);
        return;
    }
    vsthost::Plugin& p = *result.plugin;
    AEffect* e = p.effect();
    // Which entry point a host finds first.
    std::string entry = "?";
    if (void* library = dlopen(c.target.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
        for (const char* name : kEntryPoints)
            if (dlsym(library, name)) {
                entry = name;
                break;
            }
        dlclose(library);
    }
    c.step("effOpen and the identity");
    p.open();
    const std::string name = p.effectName(), vendor = p.vendorString(), product = p.productString();
    out.say("%s: \"%s\" by \"%s\", %d in %d out, %d parameters, %d programs", entry.c_str(), name.c_str(),
            vendor.c_str(), p.numInputs(), p.numOutputs(), p.numParams(), p.numPrograms());
    out.say("VST %d, loaded in %s", p.vstVersion(), milliseconds(loaded).c_str());
    out.figure("load_ms", loaded * 1000);
    out.figure("inputs", p.numInputs());
    out.figure("outputs", p.numOutputs());
    out.figure("parameters", p.numParams());
    out.figure("programs", p.numPrograms());
    out.figure("vst_version", p.vstVersion());

    // The record's counts and functions were judged by the loader (vsthost::recordFaults).
    if (e->uniqueID == 0) out.fail("the unique ID is 0: hosts cannot tell it from other plug-ins in a saved session");
    if (name.empty()) out.fail("effGetEffectName gives no name");
    if (name.size() >= kVstMaxEffectNameLen)
        out.fail("the effect name has " + std::to_string(name.size()) + " characters; a host's buffer holds " +
                 std::to_string(kVstMaxEffectNameLen - 1));
    if (vendor.size() >= kVstMaxVendorStrLen) out.fail("the vendor text overruns its 64 bytes");
    if (product.size() >= kVstMaxProductStrLen) out.fail("the product text overruns its 64 bytes");
    c.step("effClose");
    const VstIntPtr closed = p.close();
    if (closed != 1) out.figure("close_answer", static_cast<double>(closed));
}

void judgeExports(Context& c, Outcome& out, const std::vector<std::string>& entryPoints, const std::string& noEntry,
                  const std::string& beyond) {
    std::vector<std::string> symbols;
    std::string error;
    c.step("reading the dynamic symbol table");
    if (!exportedSymbols(c.target.path, symbols, error)) {
        out.fail("cannot read the exported symbols: " + error);
        return;
    }
    std::sort(symbols.begin(), symbols.end());
    symbols.erase(std::unique(symbols.begin(), symbols.end()), symbols.end());
    std::vector<std::string> entries, others;
    for (const std::string& s : symbols)
        (std::find(entryPoints.begin(), entryPoints.end(), s) != entryPoints.end() ? entries : others).push_back(s);
    out.figure("exported", static_cast<double>(symbols.size()));
    out.figure("beyond_entry_points", static_cast<double>(others.size()));
    out.say("%zu symbol%s exported: %s", symbols.size(), symbols.size() == 1 ? "" : "s",
            joined(symbols, 6).c_str());
    if (entries.empty()) out.fail(noEntry);
    if (!others.empty())
        out.fail(std::to_string(others.size()) + " symbols beyond " + beyond +
                 ", which another plug-in in the same process may bind to: " + joined(others, 8));
}

void checkExports(Context& c, Outcome& out) {
    judgeExports(c, out, {std::begin(kEntryPoints), std::end(kEntryPoints)},
                 "no entry point (VSTPluginMain, main_macho or main) is exported", "the entry points");
}

void checkNoHost(Context& c, Outcome& out) {
    vsthost::HostOptions options = defaultHost();
    options.version = 0;
    c.step("the entry point with a host that answers 0 to audioMasterVersion");
    auto result = vsthost::Plugin::load(c.target.path, options);
    if (result) {
        out.fail("the entry point created an instance for a host that answered 0 to audioMasterVersion");
        c.step("closing the instance it should not have made");
        result.plugin->close();
        return;
    }
    out.say("no record (%d version quer%s)", result.record.calls[audioMasterVersion],
            result.record.calls[audioMasterVersion] == 1 ? "y" : "ies");
}

void checkCycles(Context& c, Outcome& out) {
    constexpr int kCycles = 20;
    const int frames = 2048;
    std::vector<Audio> coldOutputs, warmOutputs;
    int stayedLoaded = 0;
    double coldSeconds = 0, warmSeconds = 0;
    const long startKb = residentKilobytes();
    // One cycle: an instance made, started, heard and closed; false when it does not load.
    auto cycle = [&](const char* kind, int n, std::vector<Audio>& outputs, double& seconds) {
        c.step("%s cycle %d: load, start, process, close", kind, n);
        const double t = wallSeconds();
        std::string error;
        auto p = c.load(defaultHost(), &error);
        if (!p) {
            out.fail(std::string(kind) + " cycle " + std::to_string(n) + ": " + error);
            return false;
        }
        outputs.push_back(fingerprint(*p, frames));
        p->close();
        seconds += wallSeconds() - t;
        return true;
    };
    // Cold: the library is unloaded after every instance (when nothing holds it).
    for (int n = 1; n <= kCycles; ++n) {
        if (!cycle("cold", n, coldOutputs, coldSeconds)) return;
        if (void* still = dlopen(c.target.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
            ++stayedLoaded;
            dlclose(still);
        }
    }
    // Warm: the library stays loaded, only instances come and go.
    void* keep = dlopen(c.target.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    for (int n = 1; n <= kCycles && cycle("warm", n, warmOutputs, warmSeconds); ++n) {
    }
    if (keep) dlclose(keep);
    const long grownKb = residentKilobytes() - startKb;
    out.say("cold %s, warm %s per cycle", milliseconds(coldSeconds / kCycles).c_str(),
            milliseconds(warmSeconds / kCycles).c_str());
    out.figure("cold_ms", coldSeconds / kCycles * 1000);
    out.figure("warm_ms", warmSeconds / kCycles * 1000);
    out.figure("resident_growth_kb", static_cast<double>(grownKb));
    if (stayedLoaded > 0) out.say("the library stays mapped after dlclose (%d of %d)", stayedLoaded, kCycles);

    judgeWarmInstances(out, coldOutputs, warmOutputs);
}

void judgeWarmInstances(Outcome& out, const std::vector<Audio>& coldOutputs, const std::vector<Audio>& warmOutputs) {
    // Every instance of a deterministic plug-in sounds the same; an instance that
    // sounds different after others came and went inherited their state.
    bool coldAlike = true;
    for (const Audio& a : coldOutputs) coldAlike = coldAlike && maxDifference(a, coldOutputs[0]) == 0.0;
    if (!coldAlike) {
        out.say("outputs vary from load to load (not deterministic), not compared");
        return;
    }
    int differing = 0;
    double worst = 0;
    for (const Audio& a : warmOutputs) {
        const double d = maxDifference(a, coldOutputs[0]);
        differing += d != 0.0;
        worst = std::max(worst, d);
    }
    if (differing == 0) out.say("all %zu instances sound alike", coldOutputs.size() + warmOutputs.size());
    else
        out.say("the %zu cold instances sound alike, %d of %zu warm ones differ", coldOutputs.size(), differing,
                warmOutputs.size());
    out.figure("warm_differing", differing);
    if (differing > 0) {
        out.fail(std::to_string(differing) + " of " + std::to_string(warmOutputs.size()) +
                 " instances made while the library stayed loaded sound different from a fresh load (by up to " +
                 std::to_string(worst) + "): state outlives its instance");
    }
}

void checkSideBySide(Context& c, Outcome& out) {
    constexpr int kInstances = 8;
    const int frames = c.settings.quick ? 4096 : 16384;
    std::vector<std::string> bundles{c.target.path};
    std::set<std::string> seen;
    auto key = [](const std::string& path) {
        char resolved[4096];
        return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    };
    seen.insert(key(c.target.path));
    for (const std::string& other : c.settings.companions)
        if (seen.insert(key(other)).second) bundles.push_back(other);

    // Instance k of every bundle gets parameter set k: instances that shared state
    // would hear each other's settings.
    auto configure = [&](vsthost::Plugin& p, int k) {
        p.start(44100.0f, 512);
        Random random(c.settings.seed * 1000u + static_cast<unsigned>(k));
        if (k > 0) randomiseParameters(p, random);
    };
    auto input = [&](const vsthost::Plugin& p) { return makeSignal(Signal::noise, inputChannels(p), frames, 44100.0, 3); };

    // Each bundle's eight settings alone, in a process of their own: twice, to know
    // whether the plug-in repeats itself at all.
    std::vector<std::vector<Audio>> alone(bundles.size());
    std::vector<bool> deterministic(bundles.size(), false), usable(bundles.size(), false);
    for (std::size_t b = 0; b < bundles.size(); ++b) {
        c.step("%s alone, %d settings one after another", bundles[b].c_str(), kInstances);
        std::string first, second;
        auto body = [&]() -> std::string {
            std::vector<Audio> runs;
            for (int k = 0; k < kInstances; ++k) {
                auto p = c.loadOther(bundles[b], defaultHost());
                if (!p) return {};
                configure(*p, k);
                runs.push_back(runBlocks(*p, input(*p), 512));
                p->close();
            }
            return bytesOf(runs);
        };
        const bool ok = inChild(body, first) && inChild(body, second) && !first.empty();
        if (!ok) {
            if (b == 0) {
                out.fail("the plug-in alone did not run to the end in a process of its own");
                return;
            }
            out.say("%s left out (it does not run alone)", bundles[b].c_str());
            continue;
        }
        usable[b] = true;
        deterministic[b] = first == second;
        alone[b].resize(kInstances);
        // Back from bytes into the shape the side-by-side run gives.
        std::size_t offset = 0;
        auto probe = c.loadOther(bundles[b], defaultHost());
        const int channels = probe ? outputChannels(*probe) : 2;
        if (probe) probe->close();
        for (int k = 0; k < kInstances; ++k) {
            alone[b][k].assign(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(frames)));
            for (auto& channel : alone[b][k]) {
                if (offset + channel.size() * sizeof(float) > first.size()) break;
                std::memcpy(channel.data(), first.data() + offset, channel.size() * sizeof(float));
                offset += channel.size() * sizeof(float);
            }
        }
    }

    // Now all of them at once, created interleaved and processed block by block in turn.
    struct Running {
        std::size_t bundle;
        int k;
        std::unique_ptr<vsthost::Plugin> plugin;
        Audio in, out;
    };
    std::vector<Running> all;
    for (int k = 0; k < kInstances; ++k)
        for (std::size_t b = 0; b < bundles.size(); ++b) {
            if (!usable[b]) continue;
            c.step("side by side: instance %d of %s", k + 1, bundles[b].c_str());
            auto p = c.loadOther(bundles[b], defaultHost());
            if (!p) {
                out.fail("instance " + std::to_string(k + 1) + " of " + bundles[b] + " does not load beside the others");
                return;
            }
            configure(*p, k);
            Running r{b, k, std::move(p), {}, {}};
            r.in = input(*r.plugin);
            r.out.assign(static_cast<std::size_t>(outputChannels(*r.plugin)),
                         std::vector<float>(static_cast<std::size_t>(frames)));
            all.push_back(std::move(r));
        }
    c.step("side by side: %zu instances processing in turn", all.size());
    std::vector<float*> ins(16), outs(16);
    for (int done = 0; done < frames; done += 512) {
        const int n = std::min(512, frames - done);
        for (Running& r : all) {
            Audio slice(r.in.size());
            for (std::size_t ch = 0; ch < r.in.size(); ++ch) {
                slice[ch].assign(r.in[ch].begin() + done, r.in[ch].begin() + done + n);
                ins[ch] = slice[ch].data();
            }
            for (std::size_t ch = 0; ch < r.out.size(); ++ch) outs[ch] = r.out[ch].data() + done;
            r.plugin->processReplacing(ins.data(), outs.data(), n);
        }
    }
    int compared = 0, differing = 0;
    for (Running& r : all) {
        if (!deterministic[r.bundle]) continue;
        ++compared;
        const double d = maxDifference(r.out, alone[r.bundle][static_cast<std::size_t>(r.k)]);
        if (d != 0.0) {
            ++differing;
            out.fail("instance " + std::to_string(r.k + 1) + " of " + bundles[r.bundle] +
                     " sounds different beside the others (by up to " + std::to_string(d) + ")");
        }
    }
    for (Running& r : all) r.plugin->close();
    int bundlesUsed = 0, nondeterministic = 0;
    for (std::size_t b = 0; b < bundles.size(); ++b) {
        bundlesUsed += usable[b];
        nondeterministic += usable[b] && !deterministic[b];
    }
    out.say("%d bundle%s x %d instances in one process, %d compared with their runs alone, %d differ", bundlesUsed,
            bundlesUsed == 1 ? "" : "s", kInstances, compared, differing);
    if (nondeterministic) out.say("%d bundle%s not deterministic, not compared", nondeterministic,
                                  nondeterministic == 1 ? "" : "s");
    out.figure("bundles", bundlesUsed);
    out.figure("instances", static_cast<double>(all.size()));
    out.figure("compared", compared);
    out.figure("differing", differing);
    if (!deterministic[0]) out.skip("the plug-in's output differs from run to run: nothing to compare");
}

}  // namespace orvex::validate
