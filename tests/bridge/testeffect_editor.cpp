// The effect-editor link, closing, and the bundle folder, through the binary
// interface with the test effect's counting editor.
#include <cstring>
#include <limits>

#include "bridge_support.h"

namespace orvex::bridgetest {
namespace {

using TestEffectEditor = TestEffectTest;

// Stands in for the host's parent window; the test editor never draws into it.
int fakeParentWindow = 0;

TEST_F(TestEffectEditor, RectIsAvailableBeforeOpening) {
    auto rect = plugin->editorRect();
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right - rect->left, 100);
    EXPECT_EQ(rect->bottom - rect->top, 50);
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, nullptr), 0);  // no place to put it
}

TEST_F(TestEffectEditor, OpenIdleAndCloseReachTheEditor) {
    EXPECT_EQ(probe(*plugin, kProbeEditorOpens), 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, &fakeParentWindow), 1);
    EXPECT_EQ(probe(*plugin, kProbeEditorOpens), 1);
    for (int i = 0; i < 3; ++i) plugin->dispatch(effEditIdle);
    EXPECT_EQ(probe(*plugin, kProbeEditorIdles), 3);
    plugin->dispatch(effEditClose);
    // Idle after close does nothing; a second close neither.
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
    EXPECT_EQ(probe(*plugin, kProbeEditorIdles), 3);
    // Open again, and open while open (closed and reopened).
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, &fakeParentWindow), 1);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, &fakeParentWindow), 1);
    EXPECT_EQ(probe(*plugin, kProbeEditorOpens), 3);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(probe(*plugin, kProbeEditorIdles), 4);
}

TEST_F(TestEffectEditor, ParameterChangesReachTheEditor) {
    const VstIntPtr updatesBefore = probe(*plugin, kProbeEditorUpdates);
    plugin->setParameter(1, 0.6f);
    EXPECT_EQ(probe(*plugin, kProbeEditorLastIndex), 1);
    EXPECT_EQ(probe(*plugin, kProbeEditorUpdates), updatesBefore + 1);
    plugin->setParameter(2, 1.0f);
    EXPECT_EQ(probe(*plugin, kProbeEditorLastIndex), 2);
    EXPECT_EQ(probe(*plugin, kProbeEditorUpdates), updatesBefore + 2);
    // A program change moves every control.
    plugin->setProgram(3);
    EXPECT_EQ(probe(*plugin, kProbeEditorUpdates), updatesBefore + 5);
    // A rejected NaN does not.
    plugin->setParameter(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(probe(*plugin, kProbeEditorUpdates), updatesBefore + 5);
    // Parameter changes from the host are not automation.
    EXPECT_TRUE(plugin->record().events.empty());
}

TEST_F(TestEffectEditor, ClosingWithTheEditorOpenAnswersOne) {
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, &fakeParentWindow), 1);
    plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->close(), 1);
    EXPECT_FALSE(plugin->isOpen());
}

TEST_F(TestEffectEditor, BundleFolderIsFoundFromTheLibrary) {
    char folder[1024];
    std::memset(folder, '#', sizeof folder);
    EXPECT_EQ(plugin->dispatch(effVendorSpecific, kProbeBundle, sizeof folder, folder), 1);
    const std::string path = folder;
    const std::string suffix = "testeffect.vst";
    ASSERT_GE(path.size(), suffix.size());
    EXPECT_EQ(path.substr(path.size() - suffix.size()), suffix);
    EXPECT_EQ(path, std::string(ORVEX_TEST_VST_DIR) + "/testeffect.vst");
}

TEST(TestEffectBundle, AnotherInstanceKeepsTheBundleWhenOneCloses) {
    // Instances of one library share the bundle slot: closing one must not take it
    // away from the editors of the others.
    auto first = loadTestEffect();
    auto second = loadTestEffect();
    ASSERT_TRUE(first && second);
    const std::string expected = std::string(ORVEX_TEST_VST_DIR) + "/testeffect.vst";
    char folder[1024] = {};
    EXPECT_EQ(first->close(), 1);
    EXPECT_EQ(second->dispatch(effVendorSpecific, kProbeBundle, sizeof folder, folder), 1);
    EXPECT_EQ(std::string(folder), expected);
    // A third instance opened and closed in between changes nothing either.
    auto third = loadTestEffect();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->close(), 1);
    std::memset(folder, 0, sizeof folder);
    EXPECT_EQ(second->dispatch(effVendorSpecific, kProbeBundle, sizeof folder, folder), 1);
    EXPECT_EQ(std::string(folder), expected);
}

}  // namespace
}  // namespace orvex::bridgetest
