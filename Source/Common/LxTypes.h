#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Every path, name and user-visible text is UTF-16; byte strings hold UTF-8 or raw data.
using WideString = std::u16string;
using WideStringView = std::u16string_view;
using RawByteString = std::string;

// Days since 1899-12-30 with the time of day as the fraction, local time.
using TDateTime = double;
