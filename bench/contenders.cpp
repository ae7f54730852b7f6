#include "contenders.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex::bench {

// VST 2.x -------------------------------------------------------------------------

std::unique_ptr<VstContender> VstContender::load(const std::string& path, std::string& error) {
    vsthost::HostOptions options;
    options.sampleRate = kRate;
    options.blockSize = kMaxBlock;
    vsthost::Transport transport;
    transport.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;
    transport.advance = true;
    options.transport = transport;
    auto loaded = vsthost::Plugin::load(path, options);
    if (!loaded) {
        error = loaded.error;
        return nullptr;
    }
    std::unique_ptr<VstContender> c(new VstContender);
    c->instance = std::move(loaded.plugin);
    c->instance->recordTimeMasks(false);
    c->instance->start(kRate, kMaxBlock);
    // Plug-ins with more outputs (a band splitter's six) get them all.
    c->outputs = vsthost::AudioBuffers(std::max(2, c->instance->numOutputs()), kMaxBlock);
    c->inputPointers.assign(static_cast<std::size_t>(std::max(2, c->instance->numInputs())), nullptr);
    return c;
}

void VstContender::process(float* const* inputs, int frames) {
    for (std::size_t i = 0; i < inputPointers.size(); ++i) inputPointers[i] = inputs[i % 2];
    instance->processReplacing(inputPointers.data(), outputs.data(), frames);
}

// LV2 ---------------------------------------------------------------------------------

std::unique_ptr<Lv2Contender> Lv2Contender::load(std::shared_ptr<lilvhost::World> world, const std::string& uri,
                                                 const Controls& controls, std::string& error) {
    auto loaded = lilvhost::Plugin::load(std::move(world), uri, {kRate, kMaxBlock});
    if (!loaded) {
        error = loaded.error;
        return nullptr;
    }
    for (const auto& [symbol, value] : controls)
        if (!loaded.plugin->setControl(symbol, value)) {
            error = uri + " has no control input " + symbol;
            return nullptr;
        }
    loaded.plugin->setTransport({});  // playing at 120 BPM from the start, every block
    std::unique_ptr<Lv2Contender> c(new Lv2Contender);
    c->instance = std::move(loaded.plugin);
    return c;
}

void Lv2Contender::process(float* const* inputs, int frames) {
    float* outputs[2] = {left.data(), right.data()};
    instance->run(inputs, outputs, static_cast<uint32_t>(frames));
}

// LADSPA ------------------------------------------------------------------------------

float ladspaDefault(const LADSPA_PortRangeHint& hint, float sampleRate) {
    const LADSPA_PortRangeHintDescriptor d = hint.HintDescriptor;
    const float scale = LADSPA_IS_HINT_SAMPLE_RATE(d) ? sampleRate : 1.0f;
    const float low = hint.LowerBound * scale;
    const float high = hint.UpperBound * scale;
    const bool logarithmic = LADSPA_IS_HINT_LOGARITHMIC(d) && low > 0 && high > 0;
    auto between = [&](float share) {
        return logarithmic ? std::exp(std::log(low) * (1 - share) + std::log(high) * share)
                           : low * (1 - share) + high * share;
    };
    float value = 0.0f;
    switch (d & LADSPA_HINT_DEFAULT_MASK) {
        case LADSPA_HINT_DEFAULT_MINIMUM: value = low; break;
        case LADSPA_HINT_DEFAULT_LOW: value = between(0.25f); break;
        case LADSPA_HINT_DEFAULT_MIDDLE: value = between(0.5f); break;
        case LADSPA_HINT_DEFAULT_HIGH: value = between(0.75f); break;
        case LADSPA_HINT_DEFAULT_MAXIMUM: value = high; break;
        case LADSPA_HINT_DEFAULT_1: value = 1.0f; break;
        case LADSPA_HINT_DEFAULT_100: value = 100.0f; break;
        case LADSPA_HINT_DEFAULT_440: value = 440.0f; break;
        default:  // none given, or 0
            value = LADSPA_IS_HINT_BOUNDED_BELOW(d) && low > 0 ? low : 0.0f;
            break;
    }
    return LADSPA_IS_HINT_INTEGER(d) ? std::round(value) : value;
}

std::unique_ptr<LadspaContender> LadspaContender::load(const std::string& path, const std::string& label,
                                                       const Controls& controls, std::string& error) {
    std::unique_ptr<LadspaContender> c(new LadspaContender);
    c->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!c->library) {
        error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(c->library, "ladspa_descriptor"));
    for (unsigned long i = 0; entry && !c->descriptor; ++i) {
        const LADSPA_Descriptor* d = entry(i);
        if (!d) break;
        if (label == d->Label) c->descriptor = d;
    }
    if (!c->descriptor) {
        error = path + " has no LADSPA plug-in labelled " + label;
        return nullptr;
    }
    const LADSPA_Descriptor& d = *c->descriptor;
    std::vector<LADSPA_Data> values(d.PortCount, 0.0f);
    for (unsigned long p = 0; p < d.PortCount; ++p) {
        const LADSPA_PortDescriptor port = d.PortDescriptors[p];
        if (LADSPA_IS_PORT_AUDIO(port)) {
            (LADSPA_IS_PORT_INPUT(port) ? c->audioIn : c->audioOut).push_back(p);
            continue;
        }
        if (!LADSPA_IS_PORT_INPUT(port)) continue;
        values[p] = ladspaDefault(d.PortRangeHints[p], kRate);
        for (const auto& [name, value] : controls)
            if (std::strncmp(d.PortNames[p], name.c_str(), name.size()) == 0) values[p] = value;
    }
    for (const auto& [name, value] : controls) {
        bool found = false;
        for (unsigned long p = 0; p < d.PortCount; ++p)
            found = found || std::strncmp(d.PortNames[p], name.c_str(), name.size()) == 0;
        if (!found) {
            error = label + " has no control port named " + name;
            return nullptr;
        }
    }
    if (c->audioIn.empty() || c->audioOut.empty() || c->audioIn.size() > 2) {
        error = label + " is neither a mono nor a stereo effect";
        return nullptr;
    }
    const int count = c->audioIn.size() == 1 ? 2 : 1;
    c->controlValues.assign(static_cast<std::size_t>(count), values);
    c->outputs.assign(c->audioOut.size() * static_cast<std::size_t>(count), std::vector<float>(kMaxBlock));
    for (int i = 0; i < count; ++i) {
        LADSPA_Handle h = d.instantiate(&d, static_cast<unsigned long>(kRate));
        if (!h) {
            error = label + " did not instantiate";
            return nullptr;
        }
        c->handles.push_back(h);
        for (unsigned long p = 0; p < d.PortCount; ++p)
            if (LADSPA_IS_PORT_CONTROL(d.PortDescriptors[p])) d.connect_port(h, p, &c->controlValues[i][p]);
        for (std::size_t o = 0; o < c->audioOut.size(); ++o)
            d.connect_port(h, c->audioOut[o], c->outputs[i * c->audioOut.size() + o].data());
        if (d.activate) d.activate(h);
    }
    return c;
}

LadspaContender::~LadspaContender() {
    for (LADSPA_Handle h : handles) {
        if (descriptor->deactivate) descriptor->deactivate(h);
        descriptor->cleanup(h);
    }
    if (library) dlclose(library);
}

void LadspaContender::process(float* const* inputs, int frames) {
    const LADSPA_Descriptor& d = *descriptor;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        // A mono instance takes its channel; a stereo one both.
        for (std::size_t a = 0; a < audioIn.size(); ++a) d.connect_port(handles[i], audioIn[a], inputs[(i + a) % 2]);
        d.run(handles[i], static_cast<unsigned long>(frames));
    }
}

// The floor ------------------------------------------------------------------------

void PassThrough::process(float* const* inputs, int frames) {
    std::memcpy(left.data(), inputs[0], sizeof(float) * static_cast<std::size_t>(frames));
    std::memcpy(right.data(), inputs[1], sizeof(float) * static_cast<std::size_t>(frames));
}

}  // namespace orvex::bench
