#include "FileWorkers.h"

#include "FileDataClasses.h"
#include "LxDateUtils.h"
#include "LxExceptions.h"
#include "LxFileStream.h"
#include "LxProcessExit.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "MySetupUtils.h"
#include "SetupProject.h"

#include <algorithm>
#include <new>

#include <windows.h>

std::unique_ptr<TLxTemporaryFile> DecodeBeside(const TSetupFile& Item, const TFileData* Entry,
                                               const WideString& Target, WideString& KnownFolder,
                                               TPackageDecoder& Decoder,
                                               const std::atomic<bool>* Stop) {
    // The index names no stream for this file: the package is inconsistent.
    if (Item.FileBytes > 0 && !Entry)
        throw Exception(FormatText(u"安装包中没有这个文件的数据（%s）", Item.ResID));
    const WideString Folder = ExtractFilePath(Target);
    if (!SameText(Folder, KnownFolder)) TLxFilefn::ForceFileDir(Target);
    KnownFolder.clear();
    uint64_t Written = 0;
    // Written beside the target and put in its place only once complete: a damaged package
    // never destroys the file it would have replaced.
    auto Part =
        std::make_unique<TLxTemporaryFile>(Folder + u"~" + TLxStrfn::NewGUIDString() + u".tmp");
    {
        // Not shared: nobody reads a file that is still being written. It stays open until it is
        // put in place.
        TFileStream& File = Part->Create();
        if (Entry) {
            try {
                Decoder.Decode(Entry->Data(), Entry->Size(), [&](const uint8_t* Data, size_t Size) {
                    if (Stop && Stop->load(std::memory_order_relaxed)) throw TFileStopped{};
                    File.WriteBuffer(Data, int64_t(Size));
                    Written += Size;
                });
            } catch (const EZDecompressionError&) {
                throw EPackageDamaged{};
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
    KnownFolder = Folder;
    return Part;
}

void PutInPlace(TLxTemporaryFile& Part, const WideString& Target) {
    // A target in use refuses the replacement as it refused being created.
    if (!Part.PutInPlace(Target))
        throw EFCreateError(FormatText(u"Cannot create file \"%s\". %s", Target,
                                       TLxSysfn::SysErrorMessage(GetLastError())));
}

TFileWorkers::TFileWorkers(const std::vector<TFileJob>& Jobs, int Count)
    : FJobs(Jobs), FResults(Jobs.size()),
      FWorkers(
          Count, [](void* Self) { static_cast<TFileWorkers*>(Self)->Work(); }, this) {}

TFileWorkers::~TFileWorkers() {
    Stop();
}

void TFileWorkers::Stop() {
    {
        const TLxLockGuard Guard(FLock);
        FStop = true;
    }
    FRoom.WakeAll();
    FWorkers.Join();
}

bool TFileWorkers::Ready(size_t I) {
    const TLxLockGuard Guard(FLock);
    return FResults[I].Outcome != TFileOutcome::Pending;
}

TFileOutcome TFileWorkers::Wait(size_t I, std::unique_ptr<TLxTemporaryFile>& Part,
                                WideString& Reason) {
    for (;;) {
        {
            const TLxLockGuard Guard(FLock);
            if (FCurrent != I) {
                FCurrent = I;
                // Each step of the window thread makes room for one more file ahead.
                FRoom.WakeAll();
            }
            TResult& Result = FResults[I];
            FWindowWaits = Result.Outcome == TFileOutcome::Pending;
            if (!FWindowWaits) {
                Part = std::move(Result.Part);
                Reason = Result.Reason;
                return Result.Outcome;
            }
        }
        FDone.WaitPainting();
    }
}

void TFileWorkers::Work() {
    WideString KnownFolder;
    TPackageDecoder Decoder;
    for (;;) {
        size_t I;
        {
            const TLxLockGuard Guard(FLock);
            // Far enough ahead: decoded files wait open, and a long wait (a dialog) must not
            // fill the disk or use up the handles.
            while (!FStop && FNext < FJobs.size() && FNext >= FCurrent + Ahead)
                FRoom.Wait(FLock);
            if (FStop || FNext == FJobs.size()) return;
            I = FNext++;
        }
        const TFileJob& Job = FJobs[I];
        TResult Result;
        try {
            Result.Part =
                DecodeBeside(*Job.Item, Job.Entry, Job.Target, KnownFolder, Decoder, &FStop);
            Result.Outcome = TFileOutcome::Decoded;
        } catch (const TFileStopped&) {
            return;
        } catch (const EPackageDamaged&) {
            Result.Outcome = TFileOutcome::Damaged;
        } catch (const Exception& Error) {
            Result.Outcome = TFileOutcome::Failed;
            Result.Reason = Error.Message();
        } catch (const std::bad_alloc&) {
            Result.Outcome = TFileOutcome::Failed;
            Result.Reason = u"Out of memory";
        }
        bool Wake;
        {
            const TLxLockGuard Guard(FLock);
            FResults[I] = std::move(Result);
            // Signals cost a round trip to the system: only for the file the window waits for.
            Wake = FWindowWaits && I == FCurrent;
        }
        if (Wake) FDone.Signal();
    }
}

int TFileWorkers::CountFor(size_t Jobs) {
    wchar_t Text[8] = {};
    const DWORD Length = GetEnvironmentVariableW(L"ONESETUP_FILE_WORKERS", Text, 8);
    int Count = 0;
    if (Length > 0 && Length < 8) Count = _wtoi(Text);
    if (Count <= 0) Count = std::min(TLxWorkers::ProcessorCount(), 8);
    return int(std::min<size_t>(size_t(std::min(Count, 64)), Jobs));
}
