// The plug-in record, identity answers, capabilities and pins of the shared shell,
// seen through the binary interface.
#include <cstring>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

using TestEffectIdentity = TestEffectTest;

TEST(TestEffectRecord, FieldsAfterCreation) {
    auto result = Plugin::load(kTestEffectPath);
    ASSERT_TRUE(result) << result.error;
    const AEffect* e = result.plugin->effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->magic, fourCharCode('V', 's', 't', 'P'));
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, kTestEffectId);
    EXPECT_EQ(e->uniqueID, 0x4F785465);  // 'OxTe', first character most significant
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsCanMono);
    EXPECT_EQ(e->numParams, 3);
    EXPECT_EQ(e->numPrograms, 4);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_NE(e->object, nullptr);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
}

TEST_F(TestEffectIdentity, VersionsCategoryAndNames) {
    EXPECT_EQ(plugin->dispatch(effIdentify), fourCharCode('N', 'v', 'E', 'f'));
    EXPECT_EQ(plugin->vstVersion(), 2300);
    EXPECT_EQ(plugin->plugCategory(), 1);
    EXPECT_EQ(plugin->plugCategory(), kPlugCategEffect);
    EXPECT_EQ(plugin->vendorVersion(), 1000);
    EXPECT_EQ(plugin->vendorString(), "Harmoxel");
    EXPECT_EQ(plugin->effectName(), "Orvex Test");
    EXPECT_EQ(plugin->productString(), "Test Product");
    char text[128] = {};
    EXPECT_EQ(plugin->dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_EQ(plugin->dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_EQ(plugin->dispatch(effGetProductString, 0, 0, text), 1);
    // No buffer, no answer and no crash.
    EXPECT_EQ(plugin->dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effGetVendorString, 0, 0, nullptr), 0);
}

TEST_F(TestEffectIdentity, BaseDefaultsTheHostSees) {
    for (VstInt32 p = 0; p < 3; ++p) EXPECT_EQ(plugin->dispatch(effCanBeAutomated, p), 1);
    EXPECT_EQ(plugin->dispatch(effGetNumProgramCategories), 1);
    EXPECT_EQ(plugin->dispatch(effGetTailSize), 0);
    void* chunk = nullptr;
    EXPECT_EQ(plugin->dispatch(effGetChunk, 0, 0, &chunk), 0);
    char text[] = "0.5";
    EXPECT_EQ(plugin->dispatch(effString2Parameter, 0, 0, text), 0);
    EXPECT_EQ(plugin->getParameter(0), 0.5f);
}

TEST_F(TestEffectIdentity, CanDoAnswersExactTextsOnly) {
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "plugAsChannelInsert", "plugAsSend",
                            "2in2out", "receiveVstTimeInfo"})
        EXPECT_EQ(plugin->canDo(yes), 1) << yes;
    for (const char* no : {"sendVstEvents", "sendVstMidiEvent", "1in2out", "2in2out ", " 2in2out", "2In2Out",
                           "ReceiveVstEvents", "RECEIVEVSTEVENTS", "receivevstmidievent", "plugAsSend2",
                           "bypass", "midiProgramNames", ""})
        EXPECT_EQ(plugin->canDo(no), -1) << '"' << no << '"';
    EXPECT_EQ(plugin->canDo(nullptr), -1);
}

TEST_F(TestEffectIdentity, PinPropertiesForBothPinsOfEachSide) {
    struct Expected {
        VstInt32 opcode;
        VstInt32 pin;
        const char* label;
        const char* shortLabel;
    };
    const Expected pins[] = {{effGetInputProperties, 0, "Left input", "L in"},
                             {effGetInputProperties, 1, "Right input", "R in"},
                             {effGetOutputProperties, 0, "Left output", "L out"},
                             {effGetOutputProperties, 1, "Right output", "R out"}};
    for (const Expected& pin : pins) {
        VstPinProperties p;
        std::memset(&p, 0x5A, sizeof p);
        EXPECT_EQ(plugin->dispatch(pin.opcode, pin.pin, 0, &p), 1);
        EXPECT_STREQ(p.label, pin.label);
        EXPECT_STREQ(p.shortLabel, pin.shortLabel);
        EXPECT_EQ(p.flags, kVstPinIsActive | kVstPinIsStereo);
    }
}

TEST_F(TestEffectIdentity, OtherPinsAnswerZeroAndLeaveTheRecordUntouched) {
    for (VstInt32 opcode : {effGetInputProperties, effGetOutputProperties}) {
        for (VstInt32 pin : {2, -1, 3, 1000}) {
            VstPinProperties p, before;
            std::memset(&p, 0x5A, sizeof p);
            std::memcpy(&before, &p, sizeof p);
            EXPECT_EQ(plugin->dispatch(opcode, pin, 0, &p), 0) << "pin " << pin;
            EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0) << "pin " << pin;
        }
        EXPECT_EQ(plugin->dispatch(opcode, 0, 0, nullptr), 0);
    }
}

}  // namespace
}  // namespace orvex::bridgetest
