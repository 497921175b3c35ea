#include "InstallerPackage.h"

#include "BuildError.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

namespace {

// A package part decoded, refusing a stream that claims far more than it holds.
void DecodePart(const std::vector<uint8_t>& Encoded, TMemoryStream& Plain) {
    TSetupfn::DecodeBounded(Encoded.data(), Encoded.size(), Plain);
}

std::vector<uint8_t> ReadInstaller(const fs::path& File) {
    if (!IsFile(File)) RaiseBuildError(DisplayPath(File), u"no such file");
    return ReadWholeFile(File);
}

} // namespace

TInstallerPackage::TInstallerPackage(const fs::path& File)
    : TInstallerPackage(ReadInstaller(File), File) {}

TInstallerPackage::TInstallerPackage(std::vector<uint8_t> Bytes, const fs::path& File)
    : FFile(File) {
    FImage = std::make_unique<TPeImage>(std::move(Bytes), DisplayPath(File));
    const TResource* Script = RcData(FullSetupScriptResName);
    FFull = Script != nullptr;
    if (!Script) Script = RcData(MiniSetupScriptResName);
    if (!Script) RaiseBuildError(Name(), u"carries no setup script: not an installer");
    try {
        TMemoryStream Stream;
        DecodePart(Script->Data, Stream);
        FScriptXml = Stream.Bytes();
        FScript = std::make_unique<TSetupScript>();
        FScript->LoadFromStream(Stream);
    } catch (const Exception& Error) {
        RaiseBuildError(Name(), u"the setup script is damaged (" + Error.Message() + u")");
    }
}

const TResource* TInstallerPackage::RcData(WideStringView Name) const {
    return FImage->Resources().Find(TResourceKey::FromId(RT_RCDATA_ID),
                                    TResourceKey::FromName(Name));
}

std::optional<std::vector<uint8_t>> TInstallerPackage::Decoded(WideStringView ResourceName) const {
    const TResource* Resource = RcData(ResourceName);
    if (!Resource) return std::nullopt;
    TMemoryStream Stream;
    DecodePart(Resource->Data, Stream);
    return Stream.Bytes();
}

const TFileDataList& TInstallerPackage::FileData() const {
    if (!FFileData) {
        const TResource* Block = RcData(FileDataResName);
        if (!Block) RaiseBuildError(Name(), u"carries no file data");
        auto List = std::make_unique<TFileDataList>();
        try {
            List->LoadFromBlock(Block->Data.data(), Block->Data.size());
        } catch (const Exception& Error) {
            RaiseBuildError(Name(), u"the file data index is damaged (" + Error.Message() + u")");
        }
        FFileData = std::move(List);
    }
    return *FFileData;
}

void TInstallerPackage::DecodeFile(const TSetupFile& Item, TByteSink Sink) const {
    if (Item.FileBytes <= 0) return;
    const TFileDataList& List = FileData();
    if (FEntries.empty())
        for (int I = 0; I < List.Count(); ++I)
            FEntries.emplace(List.Items(I)->GUID, List.Items(I));
    const auto Found = FEntries.find(Item.ResID);
    if (Found == FEntries.end()) throw Exception(u"its stream is missing from the file data");
    const TFileData& Entry = *Found->second;
    // Decoding stops where the script says the file ends: a crafted stream cannot fill a disk.
    const uint64_t Expected = uint64_t(Item.FileBytes);
    uint64_t Written = 0;
    try {
        TSetupfn::DecodeRange(Entry.Data(), Entry.Size(), [&](const uint8_t* Data, size_t Size) {
            if (Written + Size > Expected)
                throw Exception(FormatText(
                    u"the stream holds more than the %d bytes the script says", int64_t(Expected)));
            Sink(Data, Size);
            Written += Size;
        });
    } catch (const EZDecompressionError& Failure) {
        throw Exception(u"damaged stream (" + Failure.Message() + u")");
    }
    if (Written != Expected)
        throw Exception(FormatText(u"the stream holds %d bytes, the script says %d",
                                   int64_t(Written), int64_t(Expected)));
}

namespace {

// Names the system takes for devices in every folder, whatever follows a dot.
bool IsDeviceName(WideStringView Part) {
    WideString Base = WideUpperCase(Part.substr(0, Part.find(u'.')));
    while (!Base.empty() && Base.back() == u' ')
        Base.pop_back();
    if (Base == u"CON" || Base == u"PRN" || Base == u"AUX" || Base == u"NUL" || Base == u"CONIN$" ||
        Base == u"CONOUT$")
        return true;
    // COM0-9 and LPT0-9, the superscript digits included.
    if (Base.size() != 4 || (Base.compare(0, 3, u"COM") != 0 && Base.compare(0, 3, u"LPT") != 0))
        return false;
    const char16_t Digit = Base[3];
    return (Digit >= u'0' && Digit <= u'9') || Digit == u'\u00B9' || Digit == u'\u00B2' ||
           Digit == u'\u00B3';
}

// Why a name cannot be a file or folder of the extraction, or empty when it can.
WideString RefusedName(WideStringView Part) {
    if (Part == u"..") return u"leads out of the folder";
    for (const char16_t C : Part)
        if (C == u':') return u"names a stream or a drive";
    if (IsDeviceName(Part)) return u"names a device";
    if (Part.back() == u'.' || Part.back() == u' ') return u"ends in a dot or a space";
    for (const char16_t C : Part)
        if (C < 32 || WideStringView(u"<>\"|?*").find(C) != WideStringView::npos)
            return u"holds a character Windows does not allow in names";
    return u"";
}

} // namespace

fs::path ExtractionPath(const TSetupFile& Item, const fs::path& Root, WideStringView Installer) {
    const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
    const WideString Target = IncludeTrailingBackslash(Item.DestDir) + Name;
    fs::path Path = Root;
    bool Named = false; // the last part of the target was a name, not a separator or "."
    size_t Start = 0;
    while (Start <= Target.size()) {
        size_t End = Target.find_first_of(u"\\/", Start);
        if (End == WideString::npos) End = Target.size();
        WideString Part = Target.substr(Start, End - Start);
        Start = End + 1;
        if (Part.size() > 2 && Part.front() == u'{' && Part.back() == u'}')
            Part = Part.substr(1, Part.size() - 2);
        if (Part.size() == 2 && Part[1] == u':') Part.resize(1); // a drive letter
        Named = !Part.empty() && Part != u".";
        if (!Named) continue;
        const WideString Why = RefusedName(Part);
        if (!Why.empty())
            RaiseBuildError(Installer, u"the target " + Target + u" " + Why + u" (" + Part + u")");
        Path /= ToPath(Part);
    }
    if (!Named) RaiseBuildError(Installer, u"the file item " + Target + u" has no file name");
    return Path;
}
