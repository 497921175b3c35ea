// The product's files: each decoded straight from the package's resource memory into its
// target, in pieces, so that memory does not grow with the package.

#include "CopyFileFailureFrm.h"
#include "FileDataClasses.h"
#include "LxDateUtils.h"
#include "LxFileStream.h"
#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"

namespace {

// A damaged package is not a failure the user can retry: it ends the installation.
struct EPackageDamaged {
    EZDecompressionError Error;
};

} // namespace

void TMainForm::InstallFiles() {
    TFileDataList Index;
    try {
        Index.LoadFromModule(FModule);
    } catch (const Exception& Error) {
        // The runtime's text alone ("Stream read error") does not say that the package is broken.
        throw Exception(FormatText(u"安装包已损坏，无法读取文件数据：%s", Error.Message()));
    }
    const TSetupFileList& Files = FScript->FileList();
    WideString KnownFolder;
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        AdvanceProgress();
        const TFileData* Entry = Item.FileBytes > 0 ? Index.FindByGUID(Item.ResID) : nullptr;
        const WideString Target = TSetupfn::TargetPath(Item);
        lblDetail->SetCaption(Target);
        UpdateWindow(pnlBottom->Handle());
        SaveFileWithRetry(Item, Entry, Target, KnownFolder);
    }
}

void TMainForm::SaveFileWithRetry(const TSetupFile& Item, const TFileData* Entry,
                                  const WideString& Target, WideString& KnownFolder) {
    for (;;) {
        WideString Reason;
        try {
            // The index names no stream for this file: the package is inconsistent.
            if (Item.FileBytes > 0 && !Entry)
                throw Exception(FormatText(u"安装包中没有这个文件的数据（%s）", Item.ResID));
            const WideString Folder = ExtractFilePath(Target);
            if (!SameText(Folder, KnownFolder)) TLxFilefn::ForceFileDir(Target);
            KnownFolder.clear();
            uint64_t Written = 0;
            // Written beside the target and put in its place only once complete: a damaged
            // package never destroys the file it would have replaced.
            TLxTemporaryFile Part(Folder + u"~" + TLxStrfn::NewGUIDString() + u".tmp");
            {
                // Not shared: nobody reads a file that is still being written.
                TFileStream File(Part.Path(), fmCreateExclusive);
                if (Entry) {
                    try {
                        TSetupfn::DecodeRange(Entry->Data(), Entry->Size(),
                                              [&](const uint8_t* Data, size_t Size) {
                                                  File.WriteBuffer(Data, int64_t(Size));
                                                  Written += Size;
                                              });
                    } catch (const EZDecompressionError& Damaged) {
                        throw EPackageDamaged{Damaged};
                    }
                }
                // Set before closing: reopening every file costs more than the times.
                if (Written > 0) {
                    TLxFileTimes Times;
                    Times.CreationTime = Times.LastAccessTime = LocalNow();
                    Times.LastWriteTime = Item.LastWriteDate;
                    TLxFilefn::SetFileTimes(reinterpret_cast<void*>(File.Handle()), Times);
                }
            }
            // A target in use refuses the replacement as it refused being created.
            if (!TLxFilefn::RenameFile(Part.Path(), Target, true))
                throw EFCreateError(FormatText(u"Cannot create file \"%s\". %s", Target,
                                               TLxSysfn::SysErrorMessage(GetLastError())));
            Part.Keep();
            KnownFolder = Folder;
            return;
        } catch (const EPackageDamaged&) {
            // The inflater's text is a bare "Error": name the file instead.
            throw EZDecompressionError(FormatText(u"安装包已损坏，无法解压文件：%s", Target));
        } catch (const Exception& Error) {
            Reason = Error.Message();
        }
        if (FSilentMode) {
            // Nobody can answer the dialog: the installation stops where it is.
            WriteStandardError(FormatText(u"文件：%s\r\n失败原因：%s", Target, Reason));
            ExitProgram(ExitCodeStopped);
        }
        const int Answer = TCopyFileFailureForm::Execute(this, Target, Reason);
        if (Answer == mrRetry) continue;
        if (Answer == mrIgnore) return;
        ExitProgram(ExitCodeSuccess);
    }
}
