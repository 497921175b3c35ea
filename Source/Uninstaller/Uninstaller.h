#pragma once

// The removal of an installed product as its uninstall data describe it: the script in
// Uninstall.da1, the icon in Uninstall.da2, both beside the program in the product's folder.
#include "LxFunctionRef.h"
#include "RemovalPlan.h"
#include "SetupProject.h"

#include <memory>

class TUninstaller {
public:
    // Reads the data of the product in AppDir (ending in a backslash) and sets the path
    // constants as the installer had them. Raises, with the reason, when Uninstall.da1 is
    // missing or damaged; a damaged Uninstall.da2 reads as no icon.
    explicit TUninstaller(const WideString& AppDir);

    const TSetupScript& Script() const { return *FScript; }
    const std::vector<uint8_t>& IconPng() const { return FIconPng; }

    // How many times Remove calls its Step.
    int StepCount() const;
    // Ends the product's programs, then removes its files, shortcuts, registry values, uninstall
    // data and entry, folders and the program's own file. Step hears of each item as it goes.
    void Remove(TFunctionRef<void(WideStringView Detail)> Step);

    // After Remove: named files that stayed (in use, refused), and why the folder stayed.
    const std::vector<WideString>& Remaining() const { return FRemaining; }
    bool AppDirKept() const;
    bool FoldersProtected() const { return FPlan.FoldersKept; }
    const WideString& AppDir() const { return FAppDir; }
    // Where the program's own file went; deleted after the process has ended.
    const WideString& MovedSelf() const { return FMovedSelf; }

private:
    void RemoveValues(TFunctionRef<void(WideStringView Detail)> Step);
    WideString FAppDir;
    WideString FSelf;
    WideString FMovedSelf;
    std::unique_ptr<TSetupScript> FScript;
    std::vector<uint8_t> FIconPng;
    TRemovalPlan FPlan;
    std::vector<WideString> FRemaining;
};
