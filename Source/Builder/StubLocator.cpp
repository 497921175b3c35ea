#include "StubLocator.h"

#include "BuildError.h"
#include "LxPlatform.h"

#include <cstdlib>

namespace {

TFoundProgram FindShipped(const std::string& Arch, const fs::path& Name,
                          std::vector<TFoundProgram> Places, const char16_t* What,
                          const char16_t* Option) {
    const auto Add = [&Places](const fs::path& Folder, bool Shipped) {
        for (const TFoundProgram& Place : Places)
            if (Place.Path == Folder) return;
        Places.push_back({Folder, Shipped});
    };
    if (const char* Folder = std::getenv("ONESETUP_STUB_DIR")) Add(Folder, false);
    const fs::path Here = ToPath(PlatformModuleFileName()).parent_path();
    Add(Here / "stubs", true);
    Add(Here.parent_path() / "share" / "onesetup" / "stubs", true);
    WideString Searched;
    for (size_t I = 0; I < Places.size(); ++I) {
        if (IsFile(Places[I].Path / Name)) return {Places[I].Path / Name, Places[I].Shipped};
        Searched += (I == 0                   ? u""
                     : I + 1 == Places.size() ? u" or "
                                              : u", ") +
                    DisplayPath(Places[I].Path);
    }
    throw EBuildError(u"no " + AsciiToWide(Arch) + u" " + What + u": " + DisplayPath(Name) +
                      u" is not in " + Searched + u"; give one with " + Option);
}

} // namespace

TFoundProgram FindDefaultStub(const std::string& Arch) {
    return FindShipped(Arch, "Setup-" + Arch + ".exe", {}, u"installer stub", u"--stub");
}

TFoundProgram FindUninstaller(const std::string& Arch, const TFoundProgram& Stub) {
    return FindShipped(Arch, "Uninstall-" + Arch + ".exe",
                       {{Stub.Path.parent_path(), Stub.Shipped}}, u"uninstaller", u"--uninstaller");
}

WideString ProgramOrigin(const TFoundProgram& Program) {
    return Program.Shipped ? DisplayPath(Program.Path.filename()) + u" (shipped with onesetup)"
                           : DisplayPath(Program.Path);
}
