#pragma once

#include "PeResources.h"

// Why the bytes are not a PNG image the icon can hold ("not a PNG image ..."); empty when they
// are.
WideString PngProblem(const std::vector<uint8_t>& Png);

// Replaces every icon and icon group of the tree by one group (ID 1) holding the PNG as its
// only image. Raises EBuildError naming FileName when the bytes are not a PNG image.
void SetIconFromPng(TResourceTree& Tree, const std::vector<uint8_t>& Png, WideStringView FileName);
