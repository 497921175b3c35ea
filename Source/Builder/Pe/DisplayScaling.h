#pragma once

#include "PeImage.h"
#include "PeResources.h"

#include <string>

// The manifest text with per-monitor DPI awareness (v2) where the system has it and system
// awareness before that. The programs scale their windows only when their manifest says so.
std::string ScaledManifest(std::string Manifest);

// Every manifest of the tree made to scale with the display; raises when there is none, as no
// program would then scale.
void ScaleWithDisplay(TResourceTree& Tree, WideStringView FileName);

// A whole program's image with its manifest made to scale.
std::vector<uint8_t> ScaledProgram(std::vector<uint8_t> Image, WideStringView FileName);
