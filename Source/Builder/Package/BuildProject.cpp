#include "BuildProject.h"

#include "BuildError.h"
#include "ContentIds.h"
#include "DefaultIcon.h"
#include "InstallerWriter.h"
#include "LxFileStream.h"
#include "LxSysUtils.h"
#include "PackageContent.h"
#include "PackageEncoder.h"
#include "PathUtils.h"
#include "Pe/DisplayScaling.h"
#include "Progress.h"
#include "ProjectFiles.h"
#include "SolidEncoder.h"

namespace {

// Loads the project and refuses what would make an installer that cannot work or that
// changes from one build to the next.
std::unique_ptr<TSetupScript> LoadProject(const fs::path& Project) {
    auto Script = std::make_unique<TSetupScript>();
    const WideString RandomGuid = Script->BaseInfo().GUID;
    const WideString RandomVarGuid = Script->VarList().Find(u"{GUID}")->VarValue;
    try {
        Script->LoadFromFile(FromPath(Project));
    } catch (const EBuildError&) {
        throw;
    } catch (const Exception& Error) {
        RaiseBuildError(DisplayPath(Project), Error.Message());
    }
    TSetupBaseInfo& Info = Script->BaseInfo();
    if (Info.GUID == RandomGuid || Trim(Info.GUID).empty())
        RaiseBuildError(DisplayPath(Project),
                        u"BaseInfo has no GUID: the product's identity must stay the same from one "
                        u"version to the next; add for example GUID=\"" +
                            TLxStrfn::NewGUIDString() + u"\"");
    // Without a VarList of its own the project keeps the default variables, whose {GUID} is
    // new at every load; the product's identity serves instead.
    if (TSetupVar* Var = Script->VarList().Find(u"{GUID}"))
        if (Var->VarValue == RandomVarGuid) Var->VarValue = Info.GUID;
    if (Info.AppTitle.empty()) RaiseBuildError(DisplayPath(Project), u"BaseInfo has no AppTitle");
    return Script;
}

std::vector<uint8_t> ReadPart(const fs::path& Project, WideStringView Name, const char16_t* What) {
    const fs::path Path = ResolvePath(Project.parent_path(), Name);
    if (!IsFile(Path))
        RaiseBuildError(DisplayPath(Project),
                        WideString(What) + u" " + DisplayPath(Path) + u" does not exist");
    return ReadWholeFile(Path);
}

// The project's own {app}\Uninstall.exe, if it has one.
bool InstallsUninstaller(const TSetupScript& Script) {
    const TSetupFileList& Files = Script.FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        const WideString Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
        if (SameText(ExcludeTrailingBackslash(Item.DestDir), u"{app}") &&
            SameText(Name, u"Uninstall.exe"))
            return true;
    }
    return false;
}

// The uninstaller as the last file item. Its time is left to the installation, so that a
// rebuilt uninstaller of the same bytes gives the same package.
void AddUninstaller(TSetupScript& Script, const fs::path& Program,
                    std::vector<TPackageFile>& Files) {
    const uint64_t Size = fs::file_size(Program);
    auto Item = std::make_unique<TSetupFile>();
    Item->DestDir = u"{app}";
    Item->SourceMask = u"Uninstall.exe";
    Item->FileBytes = int32_t(Size);
    Files.push_back({Item.get(), Program, Size});
    Script.FileList().Add(std::move(Item));
}

// The image written to Path through a file beside it that takes the name only when complete.
uint64_t WriteImageFile(const fs::path& Path, const TPeImage& Stub, const TInstallerParts& Parts) {
    fs::path Partial = Path;
    Partial += ".partial";
    const TScratchFile Scratch(Partial);
    uint64_t Size = 0;
    {
        TFileStream Out(FromPath(Partial), fmCreate);
        Size = WriteInstallerImage(Stub, Parts, Out);
    }
    std::error_code Error;
    fs::rename(Partial, Path, Error);
    if (Error) RaiseBuildError(DisplayPath(Path), u"cannot replace the file");
    return Size;
}

WideString OutputName(WideStringView Given, WideStringView Fallback) {
    const WideString Name = Trim(Given);
    return Name.empty() ? WideString(Fallback) : Name;
}

} // namespace

TBuildReport BuildProject(const TBuildRequest& Request) {
    const fs::path Project = Request.Project;
    if (!IsFile(Project)) RaiseBuildError(DisplayPath(Project), u"no such project file");
    std::unique_ptr<TSetupScript> Script = LoadProject(Project);
    TSetupBaseInfo& Info = Script->BaseInfo();

    std::vector<uint8_t> StubBytes = ReadWholeFile(Request.Stub);
    const TPeImage Stub(std::move(StubBytes), DisplayPath(Request.Stub));

    std::vector<TPackageFile> Files = ExpandProjectItems(*Script, Project);
    const bool AddsUninstaller = !Request.Uninstaller.empty() && !InstallsUninstaller(*Script);
    if (AddsUninstaller && !IsFile(Request.Uninstaller))
        RaiseBuildError(DisplayPath(Request.Uninstaller), u"no such uninstaller program");

    const fs::path OutputDir = Request.OutputDir ? *Request.OutputDir : Project.parent_path();
    const WideString FullName = OutputName(Info.FullSetupFile, u"Setup.exe");
    const fs::path FullSetup = OutputDir / ToPath(FullName);
    auto CreateOutputDir = [&] {
        std::error_code Error;
        fs::create_directories(OutputDir, Error);
        if (!IsFolder(OutputDir))
            RaiseBuildError(DisplayPath(OutputDir), u"cannot create the output folder");
    };

    // The certificate is tried before the long work, and the uninstaller signed before packing.
    TBuildReport Report;
    std::optional<TCodeSigner> Signer;
    std::optional<TScratchFile> PreparedUninstaller;
    if (Request.Sign) {
        CreateOutputDir();
        Signer.emplace(*Request.Sign, Stub.Bytes(), FullSetup);
        Report.Signer = Signer->Signer();
        Report.Timestamped = Signer->Timestamped();
        Report.SignMethod = Signer->Method();
    }
    if (AddsUninstaller) {
        fs::path Program = Request.Uninstaller;
        // Made to scale like the installer, then signed, in a file beside the output.
        if (Signer || Info.ScaleWithDisplay) {
            CreateOutputDir();
            Program = FullSetup;
            Program += ".Uninstall.exe";
            PreparedUninstaller.emplace(Program);
            std::vector<uint8_t> Bytes = ReadWholeFile(Request.Uninstaller);
            if (Info.ScaleWithDisplay)
                Bytes = ScaledProgram(std::move(Bytes), DisplayPath(Request.Uninstaller));
            if (Signer)
                Signer->SignInto(std::move(Bytes), Program, DisplayPath(Request.Uninstaller));
            else
                WriteWholeFile(Program, Bytes);
        }
        AddUninstaller(*Script, Program, Files);
        Report.UninstallerAdded = true;
    }

    const std::vector<uint8_t> Icon = Info.IconFile.empty()
                                          ? MakeDefaultIconPng(uint32_t(Info.MainFormColor))
                                          : ReadPart(Project, Info.IconFile, u"IconFile");
    if (Info.IconResID.empty())
        Info.IconResID = ContentGuid("icon", u"", TSha256::Of(Icon.data(), Icon.size()));
    std::optional<std::vector<uint8_t>> License;
    if (!Info.LicenseFile.empty()) {
        License = ReadPart(Project, Info.LicenseFile, u"LicenseFile");
        if (Info.LicenseResID.empty())
            Info.LicenseResID =
                ContentGuid("license", u"", TSha256::Of(License->data(), License->size()));
    } else if (!Info.LicenseResID.empty()) {
        RaiseBuildError(DisplayPath(Project), u"BaseInfo names a LicenseResID but no LicenseFile");
    }
    if (Info.BuildMiniSetup && Trim(Info.FullDownloadUrl).empty())
        RaiseBuildError(DisplayPath(Project),
                        u"BuildMiniSetup is set but FullDownloadUrl is empty: the mini installer "
                        u"would have nothing to download");

    CreateOutputDir();
    fs::path SpoolPath = FullSetup;
    SpoolPath += ".spool";
    std::optional<TPackageContent> Content;
    {
        uint64_t Total = 0;
        for (const TPackageFile& File : Files)
            Total += File.Size;
        TProgress Progress("encoding", Total, Request.ShowProgress);
        if (Request.Solid)
            Content.emplace(EncodeSolidPackage(
                Files, Request.Jobs, Request.Level ? Request.Level : TSolidEncoder::DefaultLevel,
                &Progress, SpoolPath));
        else
            Content.emplace(EncodePackageFiles(
                Files, Request.Jobs, Request.Level ? Request.Level : TPackageEncoder::DefaultLevel,
                &Progress, SpoolPath));
    }
    Report.Files = Files.size();
    Report.Engine =
        Request.Solid
            ? FormatText(u"zstd level %d, solid",
                         int64_t(Request.Level ? Request.Level : TSolidEncoder::DefaultLevel))
            : Utf8ToWide(
                  TPackageEncoder(Request.Level ? Request.Level : TPackageEncoder::DefaultLevel)
                      .Engine());
    Report.DistinctContents = Content->DistinctContents;
    Report.PlainBytes = Content->PlainBytes;
    Report.StoredBytes = Content->StoredBytes;

    TInstallerParts Parts;
    Parts.Script = Script.get();
    Parts.IconPng = &Icon;
    Parts.LicenseText = License ? &*License : nullptr;
    Parts.StreamedBlockSize = Content->BlockSize();
    Parts.StreamedBlock = [&](TByteSink Sink) { Content->WriteBlock(Sink); };
    Parts.SolidData = Content->Solid;
    const std::vector<uint8_t> Digests = Content->DigestRecord();
    Parts.FileDataDigests = &Digests;
    Parts.FileName = FullName;
    Report.FullSetup = FullSetup;
    // The pin is taken from the file as written, signature included.
    TSha256::TDigest FullDigest{};
    if (Signer) {
        fs::path Unsigned = FullSetup;
        Unsigned += ".unsigned";
        const TScratchFile Scratch(Unsigned);
        WriteImageFile(Unsigned, Stub, Parts);
        Content.reset();
        const TSignedFile Signed = Signer->SignFileInto(Scratch.Path(), FullSetup);
        Report.FullSize = Signed.Size;
        FullDigest = Signed.Sha256;
    } else {
        Report.FullSize = WriteImageFile(FullSetup, Stub, Parts);
        Content.reset();
        if (Info.BuildMiniSetup && Request.PinFullSetup) FullDigest = FileSha256(FullSetup);
    }
    Parts.StreamedBlock = nullptr;
    Parts.FileDataDigests = nullptr;

    if (Info.BuildMiniSetup) {
        Parts.FileName = OutputName(Info.MiniSetupFile, u"SetupMini.exe");
        if (SameText(Parts.FileName, FullName))
            RaiseBuildError(DisplayPath(Project),
                            u"FullSetupFile and MiniSetupFile name the same file");
        const std::vector<uint8_t> Pin(FullDigest.begin(), FullDigest.end());
        if (Request.PinFullSetup) {
            Parts.FullSetupDigest = &Pin;
            Report.PinnedDigest = FullDigest;
        }
        std::vector<uint8_t> MiniImage = MakeInstallerImage(Stub, Parts);
        Report.MiniSetup = OutputDir / ToPath(Parts.FileName);
        Report.FullDownloadUrl = Trim(Info.FullDownloadUrl);
        if (Signer) {
            Report.MiniSize = Signer->SignInto(std::move(MiniImage), Report.MiniSetup).Size;
        } else {
            WriteWholeFile(Report.MiniSetup, MiniImage);
            Report.MiniSize = MiniImage.size();
        }
    }
    // A signing command's certificate is known from what it signed.
    if (Signer) Report.Signer = Signer->Signer();
    return Report;
}
