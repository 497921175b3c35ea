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
#include "SolidData.h"

#include <algorithm>
#include <new>

#include <windows.h>

namespace {

// The file's temporary file beside its target, created and open. Written there and put in its
// place only once complete: a damaged package never destroys the file it would have replaced.
std::unique_ptr<TLxTemporaryFile> BeginPart(const WideString& Target, WideString& KnownFolder,
                                            TFileStream*& File) {
    const WideString Folder = ExtractFilePath(Target);
    if (!SameText(Folder, KnownFolder)) TLxFilefn::ForceFileDir(Target);
    KnownFolder.clear();
    auto Part =
        std::make_unique<TLxTemporaryFile>(Folder + u"~" + TLxStrfn::NewGUIDString() + u".tmp");
    // Not shared: nobody reads a file that is still being written. It stays open until it is
    // put in place.
    File = &Part->Create();
    KnownFolder = Folder;
    return Part;
}

// Set before closing: reopening every file costs more than the times.
void FinishPart(TFileStream& File, const TSetupFile& Item, uint64_t Written) {
    if (Written == 0) return;
    TLxFileTimes Times;
    Times.CreationTime = Times.LastAccessTime = LocalNow();
    Times.LastWriteTime = Item.LastWriteDate;
    TLxFilefn::SetFileTimes(reinterpret_cast<void*>(File.Handle()), Times);
}

[[noreturn]] void RaiseNoData(const TSetupFile& Item) {
    // The index names no stream for this file: the package is inconsistent.
    throw Exception(FormatText(u"安装包中没有这个文件的数据（%s）", Item.ResID));
}

} // namespace

std::unique_ptr<TLxTemporaryFile> DecodeBeside(const TSetupFile& Item, const TFileData* Entry,
                                               const WideString& Target, WideString& KnownFolder,
                                               TPackageDecoder& Decoder,
                                               const std::atomic<bool>* Stop) {
    if (Item.FileBytes > 0 && !Entry) RaiseNoData(Item);
    TFileStream* File = nullptr;
    auto Part = BeginPart(Target, KnownFolder, File);
    uint64_t Written = 0;
    if (Entry) {
        try {
            Decoder.Decode(Entry->Data(), Entry->Size(), [&](const uint8_t* Data, size_t Size) {
                if (Stop && Stop->load(std::memory_order_relaxed)) throw TFileStopped{};
                File->WriteBuffer(Data, int64_t(Size));
                Written += Size;
            });
        } catch (const EZDecompressionError&) {
            throw EPackageDamaged{};
        }
    }
    FinishPart(*File, Item, Written);
    return Part;
}

std::unique_ptr<TLxTemporaryFile>
DecodeSolidBeside(const TSetupFile& Item, const TSolidFile* Entry, const TSolidIndex& Index,
                  const WideString& Target, WideString& KnownFolder, TSolidDecoder* Decoder) {
    if (Item.FileBytes > 0 && !Entry) RaiseNoData(Item);
    TFileStream* File = nullptr;
    auto Part = BeginPart(Target, KnownFolder, File);
    int64_t At = 0, Written = 0;
    if (Entry && Entry->Bytes > 0) {
        struct TEnough {};
        try {
            // From the block's start: nothing depends on where another thread's decoding is.
            Decoder->Decode(Index, Entry->Block, [&](const uint8_t* Data, size_t Size) {
                const int64_t End = At + int64_t(Size);
                const int64_t From = std::max(At, int64_t(Entry->Offset));
                const int64_t To = std::min(End, int64_t(Entry->Offset + Entry->Bytes));
                if (From < To) {
                    File->WriteBuffer(Data + (From - At), To - From);
                    Written += To - From;
                }
                At = End;
                if (At >= int64_t(Entry->Offset + Entry->Bytes)) throw TEnough{};
            });
        } catch (const TEnough&) {
        } catch (const EZDecompressionError&) {
            throw EPackageDamaged{};
        }
    }
    FinishPart(*File, Item, uint64_t(Written));
    return Part;
}

void PutInPlace(TLxTemporaryFile& Part, const WideString& Target) {
    // A target in use refuses the replacement as it refused being created.
    if (!Part.PutInPlace(Target)) {
        const uint32_t Error = GetLastError();
        throw EFCreateError(
            FormatText(u"Cannot create file \"%s\". %s", Target, TLxSysfn::SysErrorMessage(Error)),
            Error);
    }
}

namespace {

// The solid blocks in the order of their first file; a file without a block is a unit alone.
template <class TUnit>
std::vector<TUnit> MakeUnits(const std::vector<TFileJob>& Jobs, const TSolidIndex* Solid) {
    std::vector<TUnit> Units;
    if (!Solid) return Units;
    std::vector<int> UnitOfBlock(Solid->Blocks.size(), -1);
    for (size_t I = 0; I < Jobs.size(); ++I) {
        const TSolidFile* File = Jobs[I].Solid;
        if (!File) {
            Units.push_back({I, -1, {I}});
            continue;
        }
        int& Unit = UnitOfBlock[File->Block];
        if (Unit < 0) {
            Unit = int(Units.size());
            Units.push_back({I, int(File->Block), {}});
        }
        Units[size_t(Unit)].Jobs.push_back(I);
    }
    // By offset: the files come in item order, which only a copy of an earlier file breaks.
    for (TUnit& Unit : Units)
        for (size_t I = 1; I < Unit.Jobs.size(); ++I)
            for (size_t J = I;
                 J > 0 && Jobs[Unit.Jobs[J - 1]].Solid->Offset > Jobs[Unit.Jobs[J]].Solid->Offset;
                 --J)
                std::swap(Unit.Jobs[J - 1], Unit.Jobs[J]);
    return Units;
}

std::vector<uint64_t> BytesBefore(const std::vector<TFileJob>& Jobs) {
    std::vector<uint64_t> Before(Jobs.size() + 1);
    for (size_t I = 0; I < Jobs.size(); ++I)
        Before[I + 1] = Before[I] + uint64_t(std::max(Jobs[I].Item->FileBytes, 0));
    return Before;
}

} // namespace

TFileWorkers::TFileWorkers(const std::vector<TFileJob>& Jobs, int Count, const TSolidIndex* Solid)
    : FJobs(Jobs), FResults(Jobs.size()), FSolid(Solid), FBytesBefore(BytesBefore(Jobs)),
      FUnits(MakeUnits<TUnit>(Jobs, Solid)),
      FWorkers(
          Count,
          [](void* Self) {
              auto* Workers = static_cast<TFileWorkers*>(Self);
              if (Workers->FSolid)
                  Workers->WorkSolid();
              else
                  Workers->Work();
          },
          this) {}

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

bool TFileWorkers::Near(size_t I) const {
    if (!FSolid) return I < FCurrent + Ahead;
    // The window's own file does not count: it is being decoded, however large.
    return I <= FCurrent + 1 || (I < FCurrent + SolidAhead &&
                                 FBytesBefore[I] - FBytesBefore[FCurrent + 1] <= SolidAheadBytes);
}

bool TFileWorkers::Ready(size_t I) {
    const TLxLockGuard Guard(FLock);
    return FResults[I].Outcome != TFileOutcome::Pending;
}

TFileOutcome TFileWorkers::Wait(size_t I, std::unique_ptr<TLxTemporaryFile>& Part,
                                TFileFailure& Failure) {
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
                Failure = Result.Failure;
                return Result.Outcome;
            }
        }
        FDone.WaitPainting();
    }
}

void TFileWorkers::Publish(size_t I, TResult Result) {
    bool Wake;
    {
        const TLxLockGuard Guard(FLock);
        FResults[I] = std::move(Result);
        // Signals cost a round trip to the system: only for the file the window waits for.
        Wake = FWindowWaits && I == FCurrent;
    }
    if (Wake) FDone.Signal();
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
            while (!FStop && FNext < FJobs.size() && !Near(FNext))
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
            Result.Failure = TFileFailure(Error);
        } catch (const std::bad_alloc&) {
            Result.Outcome = TFileOutcome::Failed;
            Result.Failure.Reason = u"Out of memory";
        }
        Publish(I, std::move(Result));
    }
}

void TFileWorkers::WorkSolid() {
    WideString KnownFolder;
    std::unique_ptr<TSolidDecoder> Decoder;
    for (;;) {
        size_t U;
        {
            const TLxLockGuard Guard(FLock);
            // A block begins only near the window: it puts its files in place in their order.
            while (!FStop && FNextUnit < FUnits.size() && !Near(FUnits[FNextUnit].First))
                FRoom.Wait(FLock);
            if (FStop || FNextUnit == FUnits.size()) return;
            U = FNextUnit++;
        }
        const TUnit& Unit = FUnits[U];
        if (Unit.Block < 0) {
            // A file of no block: empty, or missing from the index.
            const size_t I = Unit.Jobs.front();
            TResult Result;
            try {
                Result.Part = DecodeSolidBeside(*FJobs[I].Item, nullptr, *FSolid, FJobs[I].Target,
                                                KnownFolder, nullptr);
                Result.Outcome = TFileOutcome::Decoded;
            } catch (const Exception& Error) {
                Result.Outcome = TFileOutcome::Failed;
                Result.Failure = TFileFailure(Error);
            }
            Publish(I, std::move(Result));
            continue;
        }
        try {
            if (!Decoder) Decoder = std::make_unique<TSolidDecoder>();
            DecodeBlock(Unit, *Decoder, KnownFolder);
        } catch (const TFileStopped&) {
            return;
        }
    }
}

void TFileWorkers::DecodeBlock(const TUnit& Unit, TSolidDecoder& Decoder, WideString& KnownFolder) {
    // The files of the block open at their first byte and finish at their last; files that
    // share one content are written side by side.
    struct TOpen {
        size_t Job;
        std::unique_ptr<TLxTemporaryFile> Part;
        TFileStream* File = nullptr;
        int64_t Written = 0;
    };
    std::vector<TOpen> Open;
    size_t Next = 0;
    int64_t At = 0;
    auto Fail = [&](size_t I, TFileOutcome Outcome, TFileFailure Failure) {
        TResult Result;
        Result.Outcome = Outcome;
        Result.Failure = std::move(Failure);
        Publish(I, std::move(Result));
    };
    // As far ahead within a block as between files: unless the window waits for a file this
    // block has yet to give, which a copy of an earlier file can put behind a later one.
    auto WaitForRoom = [&](size_t I, const TUnit& Unit, size_t Next,
                           const std::vector<TOpen>& Open) {
        const TLxLockGuard Guard(FLock);
        auto Owed = [&] {
            for (size_t K = Next; K < Unit.Jobs.size(); ++K)
                if (Unit.Jobs[K] == FCurrent) return true;
            for (const TOpen& Entry : Open)
                if (Entry.Job == FCurrent) return true;
            return false;
        };
        while (!FStop && !Near(I) && !Owed())
            FRoom.Wait(FLock);
    };
    struct TEnough {};
    try {
        Decoder.Decode(*FSolid, size_t(Unit.Block), [&](const uint8_t* Data, size_t Size) {
            if (FStop.load(std::memory_order_relaxed)) throw TFileStopped{};
            const int64_t End = At + int64_t(Size);
            for (; Next < Unit.Jobs.size() && int64_t(FJobs[Unit.Jobs[Next]].Solid->Offset) < End;
                 ++Next) {
                const size_t I = Unit.Jobs[Next];
                WaitForRoom(I, Unit, Next, Open);
                TOpen Entry{I, nullptr};
                try {
                    Entry.Part = BeginPart(FJobs[I].Target, KnownFolder, Entry.File);
                    Open.push_back(std::move(Entry));
                } catch (const Exception& Error) {
                    Fail(I, TFileOutcome::Failed, TFileFailure(Error));
                }
            }
            for (size_t O = 0; O < Open.size();) {
                TOpen& Entry = Open[O];
                const TSolidFile& File = *FJobs[Entry.Job].Solid;
                const int64_t From = std::max(At, int64_t(File.Offset));
                const int64_t To = std::min(End, int64_t(File.Offset + File.Bytes));
                try {
                    if (From < To) Entry.File->WriteBuffer(Data + (From - At), To - From);
                    Entry.Written += std::max<int64_t>(0, To - From);
                    if (uint64_t(Entry.Written) < File.Bytes) {
                        ++O;
                        continue;
                    }
                    FinishPart(*Entry.File, *FJobs[Entry.Job].Item, uint64_t(Entry.Written));
                    TResult Result;
                    Result.Outcome = TFileOutcome::Decoded;
                    Result.Part = std::move(Entry.Part);
                    Publish(Entry.Job, std::move(Result));
                } catch (const Exception& Error) {
                    Fail(Entry.Job, TFileOutcome::Failed, TFileFailure(Error));
                }
                Open.erase(Open.begin() + ptrdiff_t(O));
            }
            At = End;
            // The rest of the block serves none of these files.
            if (Next == Unit.Jobs.size() && Open.empty()) throw TEnough{};
        });
    } catch (const TEnough&) {
        return;
    } catch (const EZDecompressionError&) {
    }
    // Every file gets its outcome, also those a damaged block or an index that promises more
    // than the block holds left unfinished.
    for (const TOpen& Entry : Open)
        Fail(Entry.Job, TFileOutcome::Damaged, {});
    for (; Next < Unit.Jobs.size(); ++Next)
        Fail(Unit.Jobs[Next], TFileOutcome::Damaged, {});
}

int TFileWorkers::SolidCountFor(size_t Blocks) {
    return int(std::max<size_t>(1, std::min<size_t>({size_t(CountFor(Blocks)), 3, Blocks})));
}

int TFileWorkers::CountFor(size_t Jobs) {
    wchar_t Text[8] = {};
    const DWORD Length = GetEnvironmentVariableW(L"ONESETUP_FILE_WORKERS", Text, 8);
    int Count = 0;
    if (Length > 0 && Length < 8) Count = _wtoi(Text);
    if (Count <= 0) Count = std::min(TLxWorkers::ProcessorCount(), 8);
    return int(std::min<size_t>(size_t(std::min(Count, 64)), Jobs));
}
