// The product's files: decoded straight from the package's resource memory, in pieces, so that
// memory does not grow with the package; on every processor, reported in list order.

#include "CopyFileFailureFrm.h"
#include "FileDataClasses.h"
#include "FileWorkers.h"
#include "LxLog.h"
#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "SolidData.h"

#include <algorithm>

#include <memory>

namespace {

// Long enough to decode that the window should name it first.
constexpr int64_t LongFile = 1 << 20;

} // namespace

[[noreturn]] void ThrowDamaged(const WideString& Target) {
    // The inflater's text is a bare "Error": name the file instead.
    throw EZDecompressionError(FormatText(u"安装包已损坏，无法解压文件：%s", Target));
}

void TMainForm::InstallFiles() {
    // Loaded and checked before anything changed.
    const std::unique_ptr<TFileDataList> Data = std::move(FFileData);
    const TSetupFileList& Files = FScript->FileList();
    // A solid index lists the files in item order: each is looked for where the last was found.
    size_t SolidAt = 0;
    std::vector<TFileJob> Jobs;
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        TFileJob Job{&Item, nullptr, TSetupfn::TargetPath(Item)};
        if (Item.FileBytes > 0 && Data) Job.Entry = Data->FindByGUID(Item.ResID);
        if (Item.FileBytes > 0 && FSolidData) {
            const std::vector<TSolidFile>& Solid = FSolidData->Files;
            if (SolidAt < Solid.size() && Solid[SolidAt].GUID == Item.ResID)
                Job.Solid = &Solid[SolidAt++];
            else
                Job.Solid = FSolidData->FindByGUID(Item.ResID);
        }
        Jobs.push_back(std::move(Job));
    }

    // A solid block decodes only on a worker: the window thread would start it again for
    // every file.
    const int Count = FSolidData ? TFileWorkers::SolidCountFor(FSolidData->Blocks.size())
                                 : TFileWorkers::CountFor(Jobs.size());
    // Stopped by its owner however the step ends, and before any exit within it.
    std::unique_ptr<TFileWorkers> Workers;
    if (Count > 1 || FSolidData)
        Workers = std::make_unique<TFileWorkers>(Jobs, Count, FSolidData.get());
    FFileWorkers = Workers.get();
    WideString KnownFolder;
    // Painting costs more than writing a small file: the window shows the file at hand when
    // 20 ms have passed since it last did, and always before it may have to wait for it.
    uint32_t Shown = GetTickCount() - 20;
    for (size_t I = 0; I < Jobs.size(); ++I) {
        const TFileJob& Job = Jobs[I];
        pbProgress->SetPosition(pbProgress->Position() + 1);
        const uint32_t Now = GetTickCount();
        if (Job.Item->FileBytes >= LongFile || (Workers && !Workers->Ready(I)) ||
            Now - Shown >= 20) {
            lblDetail->SetCaption(Job.Target);
            UpdateWindow(pnlBottom->Handle());
            Pump();
            Shown = Now;
        }
        if (Workers) {
            std::unique_ptr<TLxTemporaryFile> Part;
            TFileFailure Failure;
            const TFileOutcome Outcome = Workers->Wait(I, Part, Failure);
            if (Outcome == TFileOutcome::Damaged) ThrowDamaged(Job.Target);
            if (Outcome == TFileOutcome::Decoded) {
                try {
                    PutInPlace(*Part, Job.Target);
                    LogFile(*Job.Item, Job.Target);
                    continue;
                } catch (const Exception& Error) {
                    Failure = TFileFailure(Error);
                }
            }
            // Ignored, or tried again here from the start as the user asked.
            if (!RetryAfterFailure(Job.Target, Failure)) continue;
        }
        SaveFileWithRetry(Job, KnownFolder);
    }
    FFileWorkers = nullptr;
}

void TMainForm::SaveFileWithRetry(const TFileJob& Job, WideString& KnownFolder) {
    const WideString& Target = Job.Target;
    for (;;) {
        TFileFailure Failure;
        try {
            if (FSolidData) {
                if (!FSolidDecoder) FSolidDecoder = std::make_unique<TSolidDecoder>();
                PutInPlace(*DecodeSolidBeside(*Job.Item, Job.Solid, *FSolidData, Target,
                                              KnownFolder, FSolidDecoder.get()),
                           Target);
            } else {
                PutInPlace(*DecodeBeside(*Job.Item, Job.Entry, Target, KnownFolder, FDecoder),
                           Target);
            }
            LogFile(*Job.Item, Target);
            return;
        } catch (const EPackageDamaged&) {
            ThrowDamaged(Target);
        } catch (const Exception& Error) {
            Failure = TFileFailure(Error);
        }
        if (!RetryAfterFailure(Target, Failure)) return;
    }
}

void TMainForm::LogFile(const TSetupFile& Item, const WideString& Target) {
    if (LxLog::Active()) LxLog::Write(u"File: %s (%d bytes)", Target, int64_t(Item.FileBytes));
}

bool TMainForm::RetryAfterFailure(const WideString& Target, const TFileFailure& Failure) {
    // The window names the file in question, whatever it showed last.
    lblDetail->SetCaption(Target);
    LxLog::Write(u"File failed: %s: error %d: %s", Target, int64_t(Failure.Error), Failure.Reason);
    if (FSilentMode) {
        // Nobody can answer the dialog: the installation stops where it is.
        if (FFileWorkers) FFileWorkers->Stop();
        LxLog::Write(u"Answer: none in silent mode, the installation stops");
        WriteStandardError(FormatText(u"文件：%s\r\n失败原因：%s", Target, Failure.Reason));
        ExitProgram(ExitCodeFileFailed);
    }
    const int Answer = TCopyFileFailureForm::Execute(this, Target, Failure.Reason);
    LxLog::Write(Answer == mrRetry    ? u"Answer: retry"
                 : Answer == mrIgnore ? u"Answer: ignore"
                                      : u"Answer: abort");
    if (Answer == mrRetry) return true;
    if (Answer == mrIgnore) return false;
    if (FFileWorkers) FFileWorkers->Stop();
    ExitProgram(Unattended(ExitCodeFileFailed));
}
