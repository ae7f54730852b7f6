#include "modelparameters.h"

#include <bit>
#include <cstdint>
#include <span>

#include "editor.h"
#include "host/effectshell.h"

namespace orvex::gui {

ModelParameters::ModelParameters(EffectShell& model, Host& host) : model(model), onModel(&model), host(host) {
    for (int p = 0; p < model.numParams(); ++p) hostValues.push_back(model.getParameter(p));
    changed = std::make_unique<bool[]>(hostValues.size());
}

ModelParameters::~ModelParameters() = default;

bool ModelParameters::valid(int index) const { return index >= 0 && index < model.numParams(); }

void ModelParameters::fromHost(int index, float value) {
    if (!valid(index)) return;
    const auto p = static_cast<std::size_t>(index);
    if (std::bit_cast<uint32_t>(value) == std::bit_cast<uint32_t>(hostValues[p])) return;  // a repeat, or our own write
    hostValues[p] = value;
    const std::vector<float> before = values();
    changed[p] = true;
    model.followHostValues(hostValues, std::span<const bool>(changed.get(), hostValues.size()));
    changed[p] = false;
    for (int q = 0; q < model.numParams(); ++q)
        if (model.getParameter(q) != before[static_cast<std::size_t>(q)] && editor) editor->parameterChanged(q);
}

float ModelParameters::get(int index) const { return onModel.get(index); }

void ModelParameters::beginEdit(int index) {
    if (valid(index)) host.touch(index, true);
}

void ModelParameters::set(int index, float value) {
    if (!valid(index)) return;
    model.setParameter(index, value);
    writeWhatMoved(index);
}

void ModelParameters::endEdit(int index) {
    if (valid(index)) host.touch(index, false);
}

float ModelParameters::defaultValue(int index) const { return onModel.defaultValue(index); }

void ModelParameters::display(int index, char* text) const { onModel.display(index, text); }

std::vector<float> ModelParameters::values() const {
    std::vector<float> all;
    for (int q = 0; q < model.numParams(); ++q) all.push_back(model.getParameter(q));
    return all;
}

void ModelParameters::writeWhatMoved(int setByEditor) {
    for (int q = 0; q < model.numParams(); ++q) {
        const auto p = static_cast<std::size_t>(q);
        const float value = model.getParameter(q);
        if (std::bit_cast<uint32_t>(value) == std::bit_cast<uint32_t>(hostValues[p])) continue;
        hostValues[p] = value;
        host.write(q, value);
        if (q != setByEditor && editor) editor->parameterChanged(q);
    }
}

}  // namespace orvex::gui
