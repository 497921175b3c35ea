#include "StubLocator.h"

#include "BuildError.h"
#include "LxPlatform.h"

#include <cstdlib>

namespace {

fs::path FindShipped(const fs::path& Name, std::vector<fs::path> Places, const char16_t* What,
                     const char16_t* Option) {
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
    throw EBuildError(u"no " + DisplayPath(Name) + u" " + What + u" found (looked in " + Searched +
                      u"); give one with " + Option);
}

} // namespace

fs::path FindDefaultStub(const std::string& Arch) {
    return FindShipped("Setup-" + Arch + ".exe", {}, u"installer stub", u"--stub");
}

fs::path FindUninstaller(const std::string& Arch, const fs::path& Stub) {
    return FindShipped("Uninstall-" + Arch + ".exe", {Stub.parent_path()}, u"uninstaller",
                       u"--uninstaller");
}
