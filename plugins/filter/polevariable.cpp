// The two- or four-pole filter: one state-variable stage, or two in series.
#include "statevariable.h"

namespace orvex::filter {

namespace {

constexpr int kTextCapacity = 16;

}  // namespace

CPoleVariable::CPoleVariable(float sampleRate)
    : firstStage(sampleRate), secondStage(sampleRate) {
    CComponent::setSampleRate(firstStage.getSampleRate());
}

void CPoleVariable::setSampleRate(float rate) {
    firstStage.setSampleRate(rate);
    secondStage.setSampleRate(rate);
    CComponent::setSampleRate(firstStage.getSampleRate());
}

void CPoleVariable::setControl(float value, int control) {
    if (control == kCtlPole) {
        poleSwitch.setOnOff(value);
        firstStage.resetModulationCount();
        secondStage.resetModulationCount();
        return;
    }
    firstStage.setControl(value, control);
    secondStage.setControl(value, control);
}

void CPoleVariable::setControlAutomated(float value, int control) {
    if (control == kCtlCutoff || control == kCtlResonance) {
        firstStage.setControlAutomated(value, control);
        if (poleSwitch.on) secondStage.setControlAutomated(value, control);
        return;
    }
    setControl(value, control);
}

void CPoleVariable::getControl(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, poleSwitch.on ? "4" : "2", kTextCapacity);
    else
        firstStage.getControl(text, control);
}

void CPoleVariable::getControlName(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, "Pole", kTextCapacity);
    else
        firstStage.getControlName(text, control);
}

void CPoleVariable::getUnitOfMeasurement(char* text, int control) {
    if (control == kCtlPole)
        copyText(text, "  ", kTextCapacity);
    else
        firstStage.getUnitOfMeasurement(text, control);
}

void CPoleVariable::process(const float* input, float* output, const float* const* modulation, int sampleCount) {
    firstStage.process(input, output, modulation, sampleCount);
    if (poleSwitch.on) secondStage.process(output, output, modulation, sampleCount);
}

void CPoleVariable::processPair(CPoleVariable& left, CPoleVariable& right, const float* inputLeft,
                                const float* inputRight, float* outputLeft, float* outputRight,
                                const float* const* modulation, int sampleCount) {
    const bool fourPoles = left.poleSwitch.on && right.poleSwitch.on;
    if (left.poleSwitch.on == right.poleSwitch.on &&
        CStateVariable::processSideBySide(left.firstStage, right.firstStage, fourPoles ? &left.secondStage : nullptr,
                                          fourPoles ? &right.secondStage : nullptr, inputLeft, inputRight,
                                          outputLeft, outputRight, modulation, sampleCount))
        return;
    CStateVariable::processPair(left.firstStage, right.firstStage, inputLeft, outputLeft, inputRight, outputRight,
                                modulation, sampleCount);
    if (left.poleSwitch.on && right.poleSwitch.on) {
        CStateVariable::processPair(left.secondStage, right.secondStage, outputLeft, outputLeft, outputRight,
                                    outputRight, modulation, sampleCount);
        return;
    }
    if (left.poleSwitch.on) left.secondStage.process(outputLeft, outputLeft, modulation, sampleCount);
    if (right.poleSwitch.on) right.secondStage.process(outputRight, outputRight, modulation, sampleCount);
}

}  // namespace orvex::filter
