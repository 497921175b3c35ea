// The package reader behind `onesetup inspect` and `extract`, for which an installer is
// untrusted input. An input that starts with "MZ" is an installer as it is; any other input is
// a setup script, put into an installer with a stream for each of its file items (the test
// stub, the builder's own writer), so that hostile paths and sizes reach the extraction.
// Either way: the package opens or raises the builder's errors; every extraction target stays
// inside the output folder and is a plain name on every system; every file decodes to at most
// the bytes its script gives, or raises.

#include "BuildError.h"
#include "FuzzSupport.h"
#include "InstallerPackage.h"
#include "InstallerWriter.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

#include <optional>

namespace {

const fs::path Root = "/fuzz/out";

// Independent of ExtractionPath's own rules: the names the extraction may create.
bool PlainName(const WideString& Name) {
    if (Name.empty() || Name == u"." || Name == u".." || Name.back() == u'.' || Name.back() == u' ')
        return false;
    for (const char16_t C : Name)
        if (C < 32 || WideStringView(u"<>:\"/\\|?*").find(C) != WideStringView::npos) return false;
    WideString Upper = WideUpperCase(Name);
    for (const WideStringView Device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (Upper == Device || Upper.starts_with(WideString(Device) + u".") ||
            Upper.starts_with(WideString(Device) + u" "))
            return false;
    for (const WideStringView Port : {u"COM", u"LPT"})
        for (const char16_t Digit : WideStringView(u"0123456789\u00B9\u00B2\u00B3")) {
            const WideString Device = WideString(Port) + Digit;
            if (Upper == Device || Upper.starts_with(Device + u".") ||
                Upper.starts_with(Device + u" "))
                return false;
        }
    return true;
}

void CheckInside(const fs::path& Target) {
    const fs::path Normal = Target.lexically_normal();
    FUZZ_CHECK(Normal == Target);
    auto Part = Normal.begin();
    for (auto RootPart = Root.begin(); RootPart != Root.end(); ++RootPart, ++Part)
        FUZZ_CHECK(Part != Normal.end() && *Part == *RootPart);
    FUZZ_CHECK(Part != Normal.end());
    for (; Part != Normal.end(); ++Part)
        FUZZ_CHECK(PlainName(Part->u16string()));
}

void Inspect(const TInstallerPackage& Package) {
    const TSetupScript& Script = Package.Script();
    Script.BaseInfo().GetVersionNumbers();
    for (const TResource& Resource : Package.Image().Resources().Items)
        (void)Resource.Data.size();
    if (!Package.IsFull()) return;
    if (!OwnErrorsOnly([&] { Package.FileData(); })) return;
    const TSetupFileList& Files = Script.FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        fs::path Target;
        if (OwnErrorsOnly([&] { Target = ExtractionPath(Item, Root, u"in.exe"); }))
            CheckInside(Target);
        int64_t Written = 0;
        OwnErrorsOnly([&] {
            Package.DecodeFile(Item, [&](const uint8_t*, size_t Size) {
                Written += int64_t(Size);
                FUZZ_CHECK(Written <= Item.FileBytes);
            });
        });
    }
}

const TPeImage& Stub() {
    static const TPeImage Image(ReadWholeFile(ONESETUP_FUZZ_STUB), u"stub.exe");
    return Image;
}

// An installer around a script: one stream of min(FileBytes, 64) bytes for each file item
// with bytes, under its ResID, so that sizes both agree and disagree.
std::optional<std::vector<uint8_t>> Assemble(const uint8_t* Data, size_t Size) {
    TSetupScript Script;
    TMemoryViewStream Stream(Data, int64_t(Size));
    if (!OwnErrorsOnly([&] { Script.LoadFromStream(Stream); })) return std::nullopt;
    TFileDataList Index;
    std::vector<uint8_t> Block;
    for (int I = 0; I < Script.FileList().Count() && I < 64; ++I) {
        const TSetupFile& Item = *Script.FileList().Items(I);
        if (Item.FileBytes <= 0) continue;
        const std::vector<uint8_t> Stored =
            EncodeBytes(std::vector<uint8_t>(size_t(std::min(Item.FileBytes, 64)), uint8_t(I)));
        auto Entry = std::make_unique<TFileData>();
        Entry->GUID = Item.ResID;
        Entry->Offset = int32_t(Block.size());
        Entry->Bytes = int32_t(Stored.size());
        Block.insert(Block.end(), Stored.begin(), Stored.end());
        Index.Add(std::move(Entry));
    }
    Index.AppendIndexTo(Block);
    static const std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,  0, 0,
                                             13,   'I', 'H', 'D', 'R',  0,    0,    0,    16, 0, 0,
                                             0,    16,  8,   6,   0,    0,    0,    0,    0,  0, 0};
    TInstallerParts Parts;
    Parts.Script = &Script;
    Parts.IconPng = &Png;
    Parts.FileBlock = &Block;
    Parts.FileName = u"Setup.exe";
    std::optional<std::vector<uint8_t>> Image;
    OwnErrorsOnly([&] { Image = MakeInstallerImage(Stub(), Parts); });
    return Image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::optional<std::vector<uint8_t>> Bytes;
    if (Size >= 2 && Data[0] == 'M' && Data[1] == 'Z')
        Bytes.emplace(Data, Data + Size);
    else
        Bytes = Assemble(Data, Size);
    if (!Bytes) return 0;
    std::optional<TInstallerPackage> Package;
    if (!OwnErrorsOnly([&] { Package.emplace(std::move(*Bytes), "in.exe"); })) return 0;
    Inspect(*Package);
    return 0;
}
