// The four plug-ins' pictures against their panels' rows: every picture a row or an
// editor loads is compiled in at every scale, and nothing is compiled in that none
// loads. The build takes whatever the generator draws, so this is where a picture
// drawn for nobody, or a row naming one never drawn, shows.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "plugins/distortion/layout.h"
#include "plugins/filter/layout.h"
#include "plugins/panner/layout.h"
#include "plugins/phaser/layout.h"

using orvex::gui::PanelRow;

namespace {

// What PanelEditor loads: the panel, each row's picture and a menu's pressed one.
std::set<long> rowPictures(long panel, std::span<const PanelRow> rows) {
    std::set<long> named{panel};
    for (const PanelRow& row : rows) {
        named.insert(row.picture);
        if (row.pressed) named.insert(row.pressed);
    }
    return named;
}

// gui::BandCurves: the display's glass, then the low-pass, band-pass and high-pass curves.
void addBandCurves(std::set<long>& named, const PanelRow& display) {
    for (long curve = 1; curve <= 3; ++curve) named.insert(display.picture + curve);
}

struct Plugin {
    const char* name;
    const char* table;  // the plug-in's compiled pictures (orvex_add_pictures)
    std::set<long> named;
};

std::vector<Plugin> plugins() {
    namespace panner = orvex::panner::layout;
    namespace distortion = orvex::distortion::layout;
    namespace filter = orvex::filter::layout;
    namespace phaser = orvex::phaser::layout;
    using orvex::gui::PanelKind;
    std::vector<Plugin> all{
        {"panner", ORVEX_PICTURE_TABLE_PANNER, rowPictures(panner::kPanel, panner::kRows)},
        {"distortion", ORVEX_PICTURE_TABLE_DISTORTION, rowPictures(distortion::kPanel, distortion::kRows)},
        {"filter", ORVEX_PICTURE_TABLE_FILTER, rowPictures(filter::kPanel, filter::kRows)},
        {"phaser", ORVEX_PICTURE_TABLE_PHASER, rowPictures(phaser::kPanel, phaser::kRows)},
    };
    addBandCurves(all[0].named, orvex::gui::rowOf(panner::kRows, panner::kFilterDisplayTag, PanelKind::own));
    addBandCurves(all[1].named, orvex::gui::rowOf(distortion::kRows, distortion::kFilterDisplayTag, PanelKind::own));
    all[2].named.insert(filter::kHandle);  // the pad's handle, loaded by the filter's editor
    return all;
}

}  // namespace

TEST(PicturesNumbers, EveryPictureTheEditorsLoadIsCompiledInAtEveryScaleAndNothingElse) {
    for (const Plugin& plugin : plugins()) {
        SCOPED_TRACE(plugin.name);
        void* table = dlopen(plugin.table, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(table, nullptr) << dlerror();
        using Lookup = const unsigned char* (*)(int, int, std::size_t*);
        const auto lookup = reinterpret_cast<Lookup>(dlsym(table, "orvex_embedded_picture"));
        ASSERT_NE(lookup, nullptr) << dlerror();
        for (long number : plugin.named)
            for (int scale : {1, 2, 3}) {
                std::size_t size = 0;
                lookup(static_cast<int>(number), scale, &size);
                EXPECT_GT(size, 0u) << "picture " << number << " at " << scale << "x is not compiled in";
            }
        for (int number = 0; number <= 99999; ++number)
            for (int scale : {1, 2, 3}) {
                std::size_t size = 0;
                lookup(number, scale, &size);
                EXPECT_TRUE(size == 0 || plugin.named.contains(number))
                    << "picture " << number << " at " << scale << "x is compiled in but no editor loads it";
            }
        dlclose(table);
    }
}
