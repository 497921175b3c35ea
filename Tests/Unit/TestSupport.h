#pragma once

#include "LxTypes.h"

#include <string>
#include <vector>

std::vector<uint8_t> ReadFixture(const std::string& Name);
std::vector<uint8_t> Bytes(std::string_view Text);
// Deterministic content that compresses somewhat, like real program files.
std::vector<uint8_t> SampleContent(size_t Size, uint32_t Seed = 1);
