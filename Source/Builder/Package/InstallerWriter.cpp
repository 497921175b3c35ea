#include "InstallerWriter.h"

#include "Pe/DisplayScaling.h"

#include "BuildError.h"
#include "FileDataDigests.h"
#include "SolidData.h"

#include "LxStreams.h"
#include "MySetupUtils.h"
#include "Pe/IconResource.h"
#include "Pe/VersionResource.h"
#include <algorithm>

std::vector<uint8_t> EncodeBytes(const std::vector<uint8_t>& Plain) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Plain.data(), int64_t(Plain.size()));
    TSetupfn::EncodeStream(Stream);
    return Stream.Bytes();
}

namespace {

TVersionInfo VersionOf(const TSetupBaseInfo& Info, const WideString& FileName) {
    TVersionInfo Version;
    const TSetupBaseInfo::TVersionNumbers Numbers = Info.GetVersionNumbers();
    const int32_t Parts[] = {Numbers.Major, Numbers.Minor, Numbers.Release, Numbers.Build};
    for (int I = 0; I < 4; ++I)
        Version.Numbers[I] = uint16_t(std::clamp(Parts[I], 0, 65535));
    Version.CompanyName = Info.CompanyName;
    Version.FileDescription =
        Info.InstallFileDescription.empty() ? Info.AppTitle : Info.InstallFileDescription;
    Version.FileVersion = Info.Version;
    Version.LegalCopyright = Info.LegalCopyright;
    Version.OriginalFilename = FileName;
    Version.ProductName = Info.ProductName.empty() ? Info.AppTitle : Info.ProductName;
    Version.ProductVersion = Info.Version;
    return Version;
}

} // namespace

uint64_t WriteInstallerImage(const TPeImage& Stub, const TInstallerParts& Parts, TStream& Out) {
    const TSetupBaseInfo& Info = Parts.Script->BaseInfo();
    const TResourceKey RcData = TResourceKey::FromId(RT_RCDATA_ID);
    TResourceTree Tree = Stub.Resources();
    // A stub that already carries a package (an installer used as stub) loses it.
    for (WideStringView Name : {FullSetupScriptResName, MiniSetupScriptResName, FileDataResName,
                                SolidDataResName, FileDataDigestsResName, FullSetupDigestResName})
        Tree.Remove(RcData, TResourceKey::FromName(Name));

    TMemoryStream Script;
    Parts.Script->SaveToStream(Script);
    TSetupfn::EncodeStream(Script);
    const bool Full = Parts.FileBlock != nullptr || Parts.StreamedBlock;
    Tree.Set(RcData, TResourceKey::FromName(Full ? FullSetupScriptResName : MiniSetupScriptResName),
             LANG_NEUTRAL_ID, Script.Bytes());
    if (Parts.FileBlock)
        Tree.Set(RcData, TResourceKey::FromName(FileDataResName), LANG_NEUTRAL_ID,
                 *Parts.FileBlock);
    if (Parts.StreamedBlock) {
        Tree.Set(RcData,
                 TResourceKey::FromName(Parts.SolidData ? SolidDataResName : FileDataResName),
                 LANG_NEUTRAL_ID, {});
        Tree.Items.back().StreamedSize = Parts.StreamedBlockSize;
        Tree.Items.back().Stream = Parts.StreamedBlock;
    }
    if (Parts.FileDataDigests)
        Tree.Set(RcData, TResourceKey::FromName(FileDataDigestsResName), LANG_NEUTRAL_ID,
                 *Parts.FileDataDigests);
    if (Parts.FullSetupDigest)
        Tree.Set(RcData, TResourceKey::FromName(FullSetupDigestResName), LANG_NEUTRAL_ID,
                 *Parts.FullSetupDigest);

    Tree.Set(RcData, TResourceKey::FromName(Info.IconResID), LANG_NEUTRAL_ID,
             EncodeBytes(*Parts.IconPng));
    if (Parts.LicenseText)
        Tree.Set(RcData, TResourceKey::FromName(Info.LicenseResID), LANG_NEUTRAL_ID,
                 EncodeBytes(*Parts.LicenseText));
    SetIconFromPng(Tree, *Parts.IconPng, Info.IconFile);

    if (Info.ScaleWithDisplay) ScaleWithDisplay(Tree, Parts.FileName);

    const TResourceKey Version = TResourceKey::FromId(RT_VERSION_ID);
    Tree.RemoveType(Version);
    Tree.Set(Version, TResourceKey::FromId(1), 0x0804,
             MakeVersionResource(VersionOf(Info, Parts.FileName)));

    if (Stub.SizeWithResources(Tree) >= uint64_t(INT32_MAX))
        RaiseBuildError(Parts.FileName,
                        u"would be 2 GiB or larger, more than an executable can be");
    return Stub.WriteWithResources(Tree, Out);
}

std::vector<uint8_t> MakeInstallerImage(const TPeImage& Stub, const TInstallerParts& Parts) {
    TMemoryStream Out;
    WriteInstallerImage(Stub, Parts, Out);
    return Out.Bytes();
}
