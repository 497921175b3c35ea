#pragma once

#include "PathUtils.h"
#include "ScriptReader.h"

// What every rule over a read project works on.
struct TProjectFacts {
    const TSetupScript& Script;
    const TScriptSource& Source;
    fs::path ProjectDir;
    TDiagnostics& Diagnostics;
};

// General settings: identity, title, version, colour, the mini installer, icon and licence.
void CheckBaseInfo(const TProjectFacts& Facts);
// Constants and variables in the texts the builder and the installer expand; registry numbers.
void CheckTexts(const TProjectFacts& Facts);
// File items against the disk; shortcuts and programs against the files of the package.
void CheckPackage(const TProjectFacts& Facts);

// "{8-4-4-4-12 hexadecimal digits}".
bool IsGuidText(WideStringView Text);
// "http://" or "https://" and a host, without blanks.
bool IsHttpAddress(WideStringView Text);
