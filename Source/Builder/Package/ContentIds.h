#pragma once

#include "LxTypes.h"
#include "Sha256.h"

// Names the builder chooses are GUID-shaped and derive from what they name, so that the same
// project always gives the same installer.
WideString GuidFromDigest(const TSha256::TDigest& Digest);
WideString ContentGuid(std::string_view Role, WideStringView Path, const TSha256::TDigest& Content);
