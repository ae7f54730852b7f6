// The editors' scales and where an editor's scale comes from: the host, the user's
// choice (remembered in a small file), the X server's Xft.dpi, the GDK_SCALE
// environment variable, else 1x, the first one found.
//
// An editor at scale s draws its frame at the whole scale ceil(s) (the pictures exist
// at 1x, 2x and 3x) and, for a fractional s, shows that reduced to s by area averaging:
// a picture is never enlarged.
//
// Threads: editor thread only (the file and the X server are read there, never on the
// audio thread).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::gui {

// Every scale an editor offers, smallest first.
inline constexpr std::array<double, 7> kEditorScales{1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

// The listed scale nearest to `scale`; 1 for anything not a positive finite number.
double nearestScale(double scale);
// The whole scale a frame at `scale` draws at (1, 2 or 3).
int drawingScale(double scale);
// A panel length shown at `scale`, in window pixels.
int scaledLength(int panelLength, double scale);
// "125%" for 1.25.
std::string scaleLabel(double scale);
// The position of `scale` in kEditorScales; -1 when it is not listed.
int scaleIndex(double scale);

// The scale of an X resource database's "Xft.dpi" line (the root window's
// RESOURCE_MANAGER text): 96 dpi is 1x, snapped to the nearest listed scale; none
// without a usable line.
std::optional<double> scaleFromResources(std::string_view resources);
// The scale of a GDK_SCALE value (a whole number from 1); none when unset or not one.
std::optional<double> scaleFromGdkScale(const char* value);
// The scale of an editor.conf text ("scale=1.5" on a line of its own); none when the
// text has no listed scale.
std::optional<double> scaleFromConfig(std::string_view text);

// $XDG_CONFIG_HOME/orvex/editor.conf, else ~/.config/orvex/editor.conf; empty when
// neither variable is set.
std::string configPath();
// The scale the user chose last; none when the file is missing, unreadable, larger
// than a few lines or holds no listed scale.
std::optional<double> readChosenScale();
// Remembers `scale` as the user's choice: written to a temporary file beside it, then
// renamed over it, so that a reader never sees half a file. False, with nothing
// changed, when it cannot be written.
bool writeChosenScale(double scale);

// The X server's Xft.dpi, read on a short connection of its own; none without a
// server or the resource.
std::optional<double> scaleFromXServer();

// The default of a new editor that the host has not given a scale: the user's
// choice, then the X server's Xft.dpi, then GDK_SCALE, else 1x.
double defaultScale();

}  // namespace orvex::gui
