#pragma once

#include "LxTypes.h"

#include <cstdint>

// Registry form of 16 GUID bytes given in big-endian field order.
WideString FormatGuidText(const uint8_t (&Bytes)[16]);
