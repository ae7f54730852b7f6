// Programs, parameters and the MIDI path of the shared shell, through the binary
// interface with the test effect (Gain, Bpm, Invert; controllers 20, 21, 22).
#include <cmath>
#include <cstring>
#include <limits>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

using TestEffectPrograms = TestEffectTest;
using TestEffectParameters = TestEffectTest;
using TestEffectMidi = TestEffectTest;

// A text buffer filled with a pattern, to see whether a call wrote anything.
struct Sentinel {
    char text[64];
    Sentinel() { std::memset(text, '#', sizeof text); }
    bool untouched() const {
        for (char c : text)
            if (c != '#') return false;
        return true;
    }
};

TEST_F(TestEffectPrograms, UntouchedProgramsAreNamedBasicAndTheirNumber) {
    for (VstInt32 p = 0; p < 4; ++p) {
        plugin->setProgram(p);
        EXPECT_EQ(plugin->getProgram(), p);
        EXPECT_EQ(plugin->programName(), "Basic " + std::to_string(p + 1));
        auto indexed = plugin->programNameIndexed(p);
        ASSERT_TRUE(indexed.has_value());
        EXPECT_EQ(*indexed, "Basic");
    }
}

TEST_F(TestEffectPrograms, IndexedNamesOutsideTheProgramsWriteNothing) {
    for (VstInt32 index : {4, 5, -1, 1000}) {
        Sentinel s;
        EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, index, 0, s.text), 0) << index;
        EXPECT_TRUE(s.untouched()) << index;
    }
    // The category is ignored.
    Sentinel s;
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 3, 7, s.text), 1);
    EXPECT_STREQ(s.text, "Basic");
    EXPECT_EQ(plugin->dispatch(effGetProgramNameIndexed, 3, 0, nullptr), 0);
}

TEST_F(TestEffectPrograms, RenamingTheCurrentProgram) {
    plugin->setProgram(2);
    plugin->setProgramName("Lead");
    EXPECT_EQ(plugin->programName(), "Lead");
    EXPECT_EQ(plugin->programNameIndexed(2).value_or("?"), "Lead");
    // The others keep theirs.
    EXPECT_EQ(plugin->programNameIndexed(1).value_or("?"), "Basic");
    plugin->setProgram(1);
    EXPECT_EQ(plugin->programName(), "Basic 2");
    plugin->setProgram(2);
    EXPECT_EQ(plugin->programName(), "Lead");
    // Named "Basic" again, it is numbered again.
    plugin->setProgramName("Basic");
    EXPECT_EQ(plugin->programName(), "Basic 3");
}

TEST_F(TestEffectPrograms, LongNamesAreCutTo23Characters) {
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    ASSERT_EQ(forty.size(), 40u);
    plugin->setProgramName(forty);
    EXPECT_EQ(plugin->programName(), forty.substr(0, 23));
    EXPECT_EQ(plugin->programNameIndexed(0).value_or("?"), forty.substr(0, 23));
    // The host's 24-byte buffer is never overrun.
    char text[kVstMaxProgNameLen + 8];
    std::memset(text, '#', sizeof text);
    plugin->dispatch(effGetProgramName, 0, 0, text);
    EXPECT_EQ(std::strlen(text), 23u);
    for (std::size_t i = kVstMaxProgNameLen; i < sizeof text; ++i) EXPECT_EQ(text[i], '#');
}

TEST_F(TestEffectPrograms, NullNamePointersAreIgnored) {
    plugin->setProgramName("Pad");
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->programName(), "Pad");
}

TEST_F(TestEffectPrograms, SelectingAProgramOutsideTheRangeChangesNothing) {
    plugin->setProgram(2);
    plugin->setParameter(0, 0.9f);
    plugin->setProgram(4);  // equal to the count
    EXPECT_EQ(plugin->getProgram(), 2);
    plugin->setProgram(-1);
    EXPECT_EQ(plugin->getProgram(), 2);
    plugin->dispatch(effSetProgram, 0, VstIntPtr{1} << 40);
    EXPECT_EQ(plugin->getProgram(), 2);
    EXPECT_EQ(plugin->getParameter(0), 0.9f);
    EXPECT_EQ(plugin->programName(), "Basic 3");
}

TEST_F(TestEffectPrograms, EachProgramKeepsItsOwnValues) {
    plugin->setProgram(1);
    plugin->setParameter(0, 0.8f);
    plugin->setParameter(2, 1.0f);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(plugin->getParameter(2), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(2), "Off");
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getParameter(0), 0.8f);
    EXPECT_EQ(plugin->getParameter(2), 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(2), "On");
    // Loading a program applies its values to the sound, not only to the table.
    AudioBuffers in(2, 8, 1.0f), out(2, 8);
    plugin->processReplacing(in.data(), out.data(), 8);
    EXPECT_EQ(out[0][0], -1.6f);
}

TEST_F(TestEffectParameters, NamesLabelsAndDefaultDisplays) {
    EXPECT_EQ(plugin->parameterName(0), "Gain");
    EXPECT_EQ(plugin->parameterName(1), "Bpm");
    EXPECT_EQ(plugin->parameterName(2), "Invert");
    EXPECT_EQ(plugin->parameterLabel(0), "x ");
    EXPECT_EQ(plugin->parameterLabel(1), "  ");
    EXPECT_EQ(plugin->parameterLabel(2), "  ");
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(plugin->getParameter(1), 0.35f);
    EXPECT_EQ(plugin->getParameter(2), 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), "1.000000");
    EXPECT_EQ(plugin->parameterDisplay(1), "120.00");
    EXPECT_EQ(plugin->parameterDisplay(2), "Off");
}

TEST_F(TestEffectParameters, DisplaysFollowTheValues) {
    plugin->setParameter(0, 0.25f);
    EXPECT_EQ(plugin->parameterDisplay(0), "0.500000");
    plugin->setParameter(0, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(0), "2.000000");
    plugin->setParameter(1, 0.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), "50.00");
    plugin->setParameter(1, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(1), "250.00");
    plugin->setParameter(2, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(2), "On");
    plugin->setParameter(2, 0.49f);
    EXPECT_EQ(plugin->parameterDisplay(2), "Off");
    plugin->setParameter(2, 1.0f);
    EXPECT_EQ(plugin->parameterDisplay(2), "On");
}

TEST_F(TestEffectParameters, NanIsIgnoredAndValuesAreClamped) {
    plugin->setParameter(0, 0.3f);
    plugin->setParameter(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin->getParameter(0), 0.3f);
    plugin->setParameter(0, 1.5f);
    EXPECT_EQ(plugin->getParameter(0), 1.0f);
    plugin->setParameter(0, -0.5f);
    EXPECT_EQ(plugin->getParameter(0), 0.0f);
    plugin->setParameter(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(plugin->getParameter(0), 1.0f);
    plugin->setParameter(0, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(plugin->getParameter(0), 0.0f);
    // The clamped value reaches the sound: gain 2 * 1.0.
    plugin->setParameter(0, 7.0f);
    AudioBuffers in(2, 4, 0.25f), out(2, 4);
    plugin->processReplacing(in.data(), out.data(), 4);
    EXPECT_EQ(out[0][3], 0.5f);
    EXPECT_EQ(out[1][3], 0.5f);
}

TEST_F(TestEffectParameters, IndicesOutsideTheTableAreIgnored) {
    for (VstInt32 index : {3, -1, 100}) {
        plugin->setParameter(index, 0.7f);
        EXPECT_EQ(plugin->getParameter(index), 0.0f) << index;
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            Sentinel s;
            plugin->dispatch(opcode, index, 0, s.text);
            EXPECT_TRUE(s.untouched()) << "opcode " << opcode << " index " << index;
        }
    }
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(plugin->getParameter(1), 0.35f);
    EXPECT_EQ(plugin->getParameter(2), 0.0f);
    // Null text pointers are no crash.
    EXPECT_EQ(plugin->dispatch(effGetParamName, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effGetParamDisplay, 0, 0, nullptr), 0);
}

TEST_F(TestEffectMidi, ControlChangeOnAnyChannelSetsTheMappedParameter) {
    const float full = 127.0f * 0.007874016f;
    for (uint8_t channel = 0; channel < 16; ++channel) {
        plugin->setParameter(0, 0.0f);
        EXPECT_EQ(plugin->sendMidi({{static_cast<uint8_t>(0xB0 | channel), 20, 127}}), 1);
        EXPECT_EQ(plugin->getParameter(0), full) << "channel " << int(channel);
    }
    EXPECT_EQ(plugin->getParameter(0), 1.0f);
    plugin->sendMidi({{0xB5, 20, 64}});
    EXPECT_EQ(plugin->getParameter(0), 64.0f * 0.007874016f);
    plugin->sendMidi({{0xB5, 21, 0}, {0xB5, 22, 127}});
    EXPECT_EQ(plugin->getParameter(1), 0.0f);
    EXPECT_EQ(plugin->getParameter(2), full);
    EXPECT_EQ(plugin->parameterDisplay(2), "On");
    // The data bytes are read with their top bit masked off.
    plugin->sendMidi({{0xB0, 20 | 0x80, 0xFF}});
    EXPECT_EQ(plugin->getParameter(0), full);
    // The change moves the editor's control too, and the host is not told.
    EXPECT_EQ(probe(*plugin, kProbeEditorLastIndex), 0);
    EXPECT_TRUE(plugin->record().events.empty());
    EXPECT_EQ(plugin->record().calls[audioMasterAutomate], 0);
}

TEST_F(TestEffectMidi, UnmappedControllersAndOtherMessagesAreIgnored) {
    plugin->sendMidi({{0xB0, 19, 0}, {0xB0, 23, 0}, {0xB0, 50, 0}, {0xB0, 0, 0}, {0xB0, 127, 0}});
    plugin->sendMidi({{0xA0, 20, 0}, {0xC0, 20, 0}, {0xD0, 20, 0}, {0xE0, 20, 0}, {0x80, 20, 0}});
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(plugin->getParameter(1), 0.35f);
    EXPECT_EQ(plugin->getParameter(2), 0.0f);
    EXPECT_EQ(probe(*plugin, kProbeLastNote), -1);
}

TEST_F(TestEffectMidi, NoteOnIsSeenWhateverTheVelocity) {
    EXPECT_EQ(probe(*plugin, kProbeLastNote), -1);
    plugin->sendMidi({{0x93, 60, 100}});
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 60);
    plugin->sendMidi({{0x90, 61, 0}});
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 61);
    plugin->sendMidi({{0x80, 62, 64}});  // note-off is no note
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 61);
    plugin->sendMidi({{0x9F, 62 | 0x80, 1}});
    EXPECT_EQ(probe(*plugin, kProbeLastNote), 62);
}

TEST_F(TestEffectMidi, NonMidiEventsAndNullPointersAreSkipped) {
    // A non-MIDI event whose bytes look like a control change of controller 20.
    VstMidiEvent disguised{};
    disguised.type = kVstSysExType;
    disguised.byteSize = sizeof disguised;
    disguised.midiData[0] = static_cast<char>(0xB0);
    disguised.midiData[1] = 20;
    disguised.midiData[2] = 0;
    VstMidiEvent audio = disguised;
    audio.type = kVstAudioType;
    VstMidiEvent cc{};
    cc.type = kVstMidiType;
    cc.byteSize = sizeof cc;
    cc.midiData[0] = static_cast<char>(0xB2);
    cc.midiData[1] = 21;
    cc.midiData[2] = 127;
    const std::vector<VstEvent*> events = {reinterpret_cast<VstEvent*>(&disguised), nullptr,
                                           reinterpret_cast<VstEvent*>(&audio), reinterpret_cast<VstEvent*>(&cc)};
    EXPECT_EQ(plugin->sendEvents(events), 1);
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
    EXPECT_EQ(plugin->getParameter(1), 127.0f * 0.007874016f);
    // No list at all, and an empty list.
    EXPECT_EQ(plugin->dispatch(effProcessEvents, 0, 0, nullptr), 1);
    EXPECT_EQ(plugin->sendEvents({}), 1);
    EXPECT_EQ(plugin->getParameter(1), 1.0f);
}

TEST_F(TestEffectMidi, EventsAreAppliedInOrder) {
    plugin->sendMidi({{0xB0, 20, 10}, {0xB0, 20, 100}, {0xB0, 20, 50}});
    EXPECT_EQ(plugin->getParameter(0), 50.0f * 0.007874016f);
}

}  // namespace
}  // namespace orvex::bridgetest
