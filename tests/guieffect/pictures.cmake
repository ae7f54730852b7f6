# The pictures of the toolkit's test editor, drawn by pictures.cpp:
# 128 panel 360 x 220, 129 knob strip (31 frames of 40 x 40), 130 button (two states
# of 40 x 20), 131 menu 90 x 18, 132 value display 70 x 16, 133 to 135 low-pass,
# band-pass and high-pass curves 80 x 48 on red 43, green 100, blue 118, 136 filter
# display 200 x 60.
set(guieffect_pictures 128 129 130 131 132 133 134 135 136)
