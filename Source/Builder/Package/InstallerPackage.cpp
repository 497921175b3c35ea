#include "InstallerPackage.h"

#include "BuildError.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

TInstallerPackage::TInstallerPackage(const fs::path& File) : FFile(File) {
    if (!fs::is_regular_file(File)) RaiseBuildError(DisplayPath(File), u"no such file");
    FImage = std::make_unique<TPeImage>(ReadWholeFile(File), DisplayPath(File));
    const TResource* Script = RcData(FullSetupScriptResName);
    FFull = Script != nullptr;
    if (!Script) Script = RcData(MiniSetupScriptResName);
    if (!Script) RaiseBuildError(Name(), u"carries no setup script: not an installer");
    try {
        TMemoryStream Stream;
        Stream.WriteBuffer(Script->Data.data(), int64_t(Script->Data.size()));
        TSetupfn::DecodeStream(Stream);
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
    Stream.WriteBuffer(Resource->Data.data(), int64_t(Resource->Data.size()));
    TSetupfn::DecodeStream(Stream);
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

fs::path ExtractionPath(const TSetupFile& Item, const fs::path& Root, WideStringView Installer) {
    const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
    const WideString Target = IncludeTrailingBackslash(Item.DestDir) + Name;
    fs::path Path = Root;
    size_t Start = 0;
    while (Start <= Target.size()) {
        size_t End = Target.find_first_of(u"\\/", Start);
        if (End == WideString::npos) End = Target.size();
        WideString Part = Target.substr(Start, End - Start);
        Start = End + 1;
        if (Part.size() > 2 && Part.front() == u'{' && Part.back() == u'}')
            Part = Part.substr(1, Part.size() - 2);
        if (Part.size() == 2 && Part[1] == u':') Part.resize(1); // a drive letter
        if (Part.empty() || Part == u".") continue;
        if (Part == u".." || Part.find(u':') != WideString::npos)
            RaiseBuildError(Installer,
                            u"the target " + Target + u" would leave the extraction folder");
        Path /= fs::path(Part);
    }
    if (Path == Root) RaiseBuildError(Installer, u"a file item has no target name");
    return Path;
}
