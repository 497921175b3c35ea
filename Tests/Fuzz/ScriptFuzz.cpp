// A setup script through the persistence layer, as the installer and the builder load it:
// any bytes load or raise the library's errors within a bounded heap; what loaded saves,
// loads and saves again to the same text, copies equal it, and the installer's uses of it
// (target paths, version numbers, registry roots) take any value.

#include "FuzzSupport.h"
#include "LxStreams.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

namespace {

std::vector<uint8_t> Saved(const TSetupScript& Script) {
    TMemoryStream Stream;
    Script.SaveToStream(Stream);
    return Stream.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const bool Constants = [] {
        TSetupfn::InitConstantsFrom(u"C:\\Program Files", u"C:\\Users\\u\\Desktop\\",
                                    u"C:\\ProgramData\\Programs");
        SetupAppDir = u"C:\\Program Files\\App\\";
        return true;
    }();
    (void)Constants;

    TSetupScript Script;
    {
        const THeapMeter Meter;
        TMemoryViewStream Stream(Data, int64_t(Size));
        if (!OwnErrorsOnly([&] { Script.LoadFromStream(Stream); })) return 0;
        Meter.Check(Size, 160, 65536);
    }

    const std::vector<uint8_t> Once = Saved(Script);
    TSetupScript Again;
    TMemoryViewStream Stream(Once.data(), int64_t(Once.size()));
    Again.LoadFromStream(Stream);
    FUZZ_CHECK(Saved(Again) == Once);

    const std::unique_ptr<TXmlPersistent> Copy = Script.Clone();
    FUZZ_CHECK(Copy->IsEqual(&Script));
    const auto& CopyScript = static_cast<const TSetupScript&>(*Copy);
    FUZZ_CHECK(CopyScript.FileList().ItemsEqual(&Script.FileList()));
    FUZZ_CHECK(CopyScript.RegList().ItemsEqual(&Script.RegList()));
    FUZZ_CHECK(CopyScript.VarList().ItemsEqual(&Script.VarList()));

    Script.BaseInfo().GetVersionNumbers();
    TSetupfn::ExpandConstant(Script.BaseInfo().DefInstallPath);
    for (int I = 0; I < Script.FileList().Count(); ++I)
        TSetupfn::TargetPath(*Script.FileList().Items(I));
    for (int I = 0; I < Script.RegList().Count(); ++I)
        RootKeyToHKEY(Script.RegList().Items(I)->RootKey);
    Script.RunList().NoWaitCount();
    return 0;
}
