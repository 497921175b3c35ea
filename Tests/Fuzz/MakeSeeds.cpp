// Writes the seeds too large to keep in the repository, and the script vocabulary, into the
// folder given: an installer built from a small project on the test stub (full and mini),
// its file-data block and its encoded streams, the same as solid data, and a dictionary of every
// element and attribute name of the property tables, every enumeration identifier, the path
// constants and the package resource names.
//   fuzz_seeds STUB OUTPUT

#include "BuildProject.h"
#include "InstallerPackage.h"
#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "SetupProject.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

namespace {

const char Project[] = R"(<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="Seed" Version="1.2.3.4" GUID="{8E0C1B52-3D4A-4F6B-9C7D-2E1F0A3B4C5D}"
        LicenseFile="License.txt" FullSetupFile="Seed.exe" BuildMiniSetup="True"
        FullDownloadUrl="http://127.0.0.1/Seed.exe" DefInstallPath="{pf}\Seed"/>
    <FileList><Items>
        <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*" IncludeSubPath="True"/>
        <TSetupFile DestDir="{app}\copy" SourcePath="files" SourceMask="a.txt" NewFileName="b.txt"/>
    </Items></FileList>
    <RegList><Items>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\{AppTitle}" ValueName="Dir" ValueData="{app}"/>
    </Items></RegList>
    <RunList><Items><TSetupRun FileName="{app}\a.txt" Wait="True"/></Items></RunList>
    <ShortCutList><Items>
        <TSetupShortCut DstFile="{app}\a.txt" Name="{AppTitle}" SaveDir="{group}" WorkDir="{app}"/>
    </Items></ShortCutList>
    <VarList><Items><TSetupVar VarName="{AppTitle}" VarValue="Seed"/></Items></VarList>
</TSetupScript>
)";

void Write(const fs::path& Path, const void* Data, size_t Size) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary)
        .write(static_cast<const char*>(Data), std::streamsize(Size));
}

void Write(const fs::path& Path, const std::vector<uint8_t>& Bytes) {
    Write(Path, Bytes.data(), Bytes.size());
}

void Write(const fs::path& Path, std::string_view Text) {
    Write(Path, Text.data(), Text.size());
}

// One dictionary entry per distinct token, in libFuzzer's quoted form.
class TDictionary {
public:
    void Add(WideStringView Token) {
        if (!Token.empty()) FTokens.insert(WideToUtf8(Token));
    }
    std::string Text() const {
        std::string Result;
        for (const std::string& Token : FTokens) {
            Result += '"';
            for (const char C : Token) {
                if (C == '"' || C == '\\') Result += '\\';
                Result += C;
            }
            Result += "\"\n";
        }
        return Result;
    }

private:
    std::set<std::string> FTokens;
};

void AddClass(TDictionary& Words, TPersistent& Object) {
    const TClassInfo& Info = Object.ClassInfo();
    Words.Add(WideString(u"<") + Info.ClassName);
    ForEachProp(Info, [&](const TPropInfo& Prop) {
        Words.Add(Prop.Name);
        Words.Add(Prop.Type->Kind == tkClass ? WideString(u"<") + Prop.Name
                                             : WideString(u" ") + Prop.Name + u"=\"");
        for (int I = 0; I < Prop.Type->IdentifierCount; ++I)
            Words.Add(Prop.Type->Identifiers[I]);
        if (Prop.Type->Kind != tkClass) return;
        TPersistent* Sub = Prop.Object(Object);
        if (!Sub) return;
        AddClass(Words, *Sub);
        if (auto* List = dynamic_cast<TXmlObjectList*>(Sub))
            AddClass(Words, *List->CreateItem(u""));
    });
}

} // namespace

int main(int Count, char** Arguments) {
    if (Count != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds STUB OUTPUT\n");
        return 2;
    }
    try {
        const fs::path Stub = Arguments[1];
        const fs::path Output = Arguments[2];
        const fs::path Work = Output / "project";
        fs::remove_all(Work);
        Write(Work / "Project.xml", Project);
        Write(Work / "License.txt", "Seed licence\r\n");
        Write(Work / "files/a.txt", "alpha alpha alpha\r\n");
        Write(Work / "files/sub/c.bin", std::string(700, 'c') + "end");

        TBuildRequest Request;
        Request.Project = Work / "Project.xml";
        Request.OutputDir = Work / "out";
        Request.Stub = Stub;
        const TBuildReport Report = BuildProject(Request);
        const std::vector<uint8_t> Full = ReadWholeFile(Report.FullSetup);
        Write(Output / "package/full.exe", Full);
        Write(Output / "package/mini.exe", ReadWholeFile(Report.MiniSetup));
        Write(Output / "pe/full.exe", Full);
        Write(Output / "pe/stub.exe", ReadWholeFile(Stub));

        const TInstallerPackage Package(Report.FullSetup);
        const TResource* Block = Package.RcData(FileDataResName);
        Write(Output / "filedata/block.bin", Block->Data);
        Write(Output / "codec/script.bin", Package.RcData(FullSetupScriptResName)->Data);
        Write(Output / "codec/license.bin",
              Package.RcData(Package.Script().BaseInfo().LicenseResID)->Data);
        const TFileDataList& Index = Package.FileData();
        for (int I = 0; I < Index.Count(); ++I)
            Write(Output / ("codec/file" + std::to_string(I) + ".bin"), Index.Items(I)->Data(),
                  Index.Items(I)->Size());
        // The same files as solid data, and that package.
        Request.Solid = true;
        Request.OutputDir = Work / "solid";
        const TBuildReport Solid = BuildProject(Request);
        Write(Output / "package/solid.exe", ReadWholeFile(Solid.FullSetup));
        Write(Output / "filedata/solid.bin",
              TInstallerPackage(Solid.FullSetup).RcData(SolidDataResName)->Data);
        fs::remove_all(Work);

        TDictionary Words;
        TSetupScript Script;
        AddClass(Words, Script);
        TFileDataList Files;
        AddClass(Words, Files);
        AddClass(Words, *Files.CreateItem(u""));
        for (const char16_t* Constant : {u"{pf}", u"{group}", u"{desktop}", u"{app}", u"{srcexe}"})
            Words.Add(Constant);
        for (int I = 0; I < Script.VarList().Count(); ++I)
            Words.Add(Script.VarList().Items(I)->VarName);
        for (const WideStringView Name :
             {FullSetupScriptResName, MiniSetupScriptResName, FileDataResName})
            Words.Add(Name);
        Write(Output / "script.dict", Words.Text());
    } catch (const Exception& Error) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", Error.what());
        return 1;
    }
    return 0;
}
