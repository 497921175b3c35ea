// Uninstall.da1 as the uninstaller reads it from the product's folder: decoded within its limit,
// loaded, and planned for removal with fixed places. An input that starts with '<' is the script
// itself, encoded first, so that the plan's rules see scripts rather than codec errors. Whatever
// the script says, nothing in a shared folder is planned to go, no protected folder or drive root
// is removed, and shortcut folders go only below the programs folder or the product's.

#include "FuzzSupport.h"
#include "LxStrUtils.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "RemovalPlan.h"
#include "SetupProject.h"

#include <algorithm>
#include <vector>

namespace {

const TRemovalPlaces& Places() {
    static const TRemovalPlaces Fixed = [] {
        TSetupfn::InitConstantsFrom(u"C:\\Program Files", u"C:\\Users\\u\\Desktop\\",
                                    u"C:\\ProgramData\\Programs");
        SetupAppDir = u"C:\\Program Files\\App\\";
        TRemovalPlaces Places;
        Places.AppDir = SetupAppDir;
        Places.ProgramsDir = u"C:\\ProgramData\\Programs\\";
        Places.SharedFolders = {u"C:\\Windows\\", u"C:\\Windows\\System32\\"};
        Places.ProtectedFolders = Places.SharedFolders;
        for (const char16_t* Folder : {u"C:\\Program Files\\", u"C:\\ProgramData\\",
                                       u"C:\\Users\\u\\Desktop\\", u"C:\\ProgramData\\Programs\\"})
            Places.ProtectedFolders.push_back(Folder);
        return Places;
    }();
    return Fixed;
}

bool InAny(const WideString& Path, const std::vector<WideString>& Folders) {
    return std::any_of(Folders.begin(), Folders.end(),
                       [&](const WideString& Folder) { return IsInFolder(Path, Folder); });
}

bool StrictlyBelow(const WideString& Folder, const WideString& Top) {
    return Folder.size() > Top.size() && IsInFolder(Folder, Top);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const TRemovalPlaces& Where = Places();
    TMemoryStream Encoded;
    Encoded.WriteBuffer(Data, int64_t(Size));
    if (Size > 0 && Data[0] == '<') TSetupfn::EncodeStream(Encoded);

    TSetupScript Script;
    TMemoryStream Decoded;
    if (!OwnErrorsOnly(
            [&] { TSetupfn::DecodeBounded(Encoded.Memory(), size_t(Encoded.GetSize()), Decoded); }))
        return 0;
    FUZZ_CHECK(size_t(Decoded.GetSize()) <= TSetupfn::DecodeLimit(size_t(Encoded.GetSize())));
    if (!OwnErrorsOnly([&] { Script.LoadFromStream(Decoded); })) return 0;

    const TRemovalPlan Plan = PlanRemoval(Script, Where);
    for (const WideString& File : Plan.Files) {
        FUZZ_CHECK(!InAny(File, Where.SharedFolders));
        FUZZ_CHECK(NormalisedPath(File) == File);
    }
    for (const WideString& Folder : Plan.Folders) {
        FUZZ_CHECK(!IsDriveRoot(Folder));
        FUZZ_CHECK(!InAny(Folder, Where.SharedFolders));
        FUZZ_CHECK(std::none_of(Where.ProtectedFolders.begin(), Where.ProtectedFolders.end(),
                                [&](const WideString& Kept) { return SameText(Kept, Folder); }));
    }
    for (const WideString& Folder : Plan.ShortcutFolders)
        FUZZ_CHECK(StrictlyBelow(Folder, Where.ProgramsDir) || StrictlyBelow(Folder, Where.AppDir));
    return 0;
}
