#include "StubLocator.h"

#include "BuildError.h"
#include "LxPlatform.h"

#include <cstdlib>

fs::path FindDefaultStub(const std::string& Arch) {
    const fs::path Name = "Setup-" + Arch + ".exe";
    std::vector<fs::path> Places;
    if (const char* Folder = std::getenv("ONESETUP_STUB_DIR")) Places.push_back(fs::path(Folder));
    const fs::path Here = ToPath(PlatformModuleFileName()).parent_path();
    Places.push_back(Here / "stubs");
    Places.push_back(Here.parent_path() / "share" / "onesetup" / "stubs");
#ifdef ONESETUP_BUILD_STUB_DIR
    Places.push_back(fs::path(ONESETUP_BUILD_STUB_DIR));
#endif
    WideString Searched;
    for (const fs::path& Place : Places) {
        if (IsFile(Place / Name)) return Place / Name;
        Searched += (Searched.empty() ? u"" : u", ") + DisplayPath(Place);
    }
    throw EBuildError(u"no " + DisplayPath(Name) + u" installer stub found (looked in " + Searched +
                      u"); give one with --stub");
}
