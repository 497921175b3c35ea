// Before the first step that changes the machine: every stream the file step will decode is
// known to be as the builder wrote it, so that a damaged package stops with the machine as it
// was and an older installation stays whole.

#include "FileDataClasses.h"
#include "FileDataDigests.h"
#include "FileWorkers.h"
#include "LxResources.h"
#include "LxStrUtils.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "SolidData.h"

#include <atomic>

namespace {

struct TRegionCheck {
    TFileDataDigests& Digests;
    const uint8_t* Block;
    std::atomic<size_t> Next{0};

    // One region more; false when none is left.
    bool CheckNext() {
        const size_t I = Next.fetch_add(1, std::memory_order_relaxed);
        if (I >= Digests.Count()) return false;
        if (!Digests.RegionIntact(I, Block)) Digests.MarkDamaged(I);
        return true;
    }
};

void CheckRegions(void* Context) {
    auto& Check = *static_cast<TRegionCheck*>(Context);
    while (Check.CheckNext()) {
    }
}

[[noreturn]] void ThrowUnreadable(WideStringView Reason) {
    throw Exception(FormatText(u"安装包已损坏，无法读取文件数据：%s", Reason));
}

} // namespace

void TMainForm::CheckFileData() {
    TResourceBytes Block, Record;
    const bool Solid = FindRcData(FModule, SolidDataResName, Block);
    try {
        if (Solid) {
            auto Index = std::make_unique<TSolidIndex>();
            Index->LoadFromResource(Block.Data, Block.Size);
            FSolidData = std::move(Index);
        } else {
            auto Index = std::make_unique<TFileDataList>();
            Index->LoadFromModule(FModule);
            FFileData = std::move(Index);
            FindRcData(FModule, FileDataResName, Block);
        }
    } catch (const Exception& Error) {
        // The runtime's text alone ("Stream read error") does not say that the package is broken.
        ThrowUnreadable(Error.Message());
    }
    // A package built before the record: its streams are checked as they are decoded. Solid
    // frames carry no checksum, and every builder of them writes the record: one without it
    // is damaged.
    if (!FindRcData(FModule, FileDataDigestsResName, Record)) {
        if (Solid) ThrowUnreadable(u"Stream read error");
        return;
    }
    TFileDataDigests Digests;
    if (!Digests.Load(Record.Data, Record.Size, Block.Size)) ThrowUnreadable(u"Stream read error");

    TRegionCheck Check{Digests, Block.Data};
    {
        // Every processor hashes; this thread too, painting the window now and then.
        const int Helpers = TFileWorkers::CountFor(Digests.Count()) - 1;
        std::unique_ptr<TLxWorkers> Workers;
        if (Helpers > 0) Workers = std::make_unique<TLxWorkers>(Helpers, CheckRegions, &Check);
        uint32_t Painted = GetTickCount();
        while (Check.CheckNext())
            if (GetTickCount() - Painted >= 50) {
                Pump();
                Painted = GetTickCount();
            }
    }
    if (!Digests.AnyDamaged()) return;
    // Named as the file step would name it: the first file in list order whose bytes (or whose
    // solid block) are not as written.
    const TSetupFileList& Files = FScript->FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        if (Item.FileBytes <= 0) continue;
        bool Intact = true;
        if (Solid) {
            const TSolidFile* File = FSolidData->FindByGUID(Item.ResID);
            const TSolidBlock* Frame = File ? &FSolidData->Blocks[File->Block] : nullptr;
            Intact = !Frame || Digests.RangeIntact(Frame->Offset, Frame->Bytes);
        } else if (const TFileData* Entry = FFileData->FindByGUID(Item.ResID)) {
            Intact = Digests.EntryIntact(*Entry);
        }
        if (!Intact) ThrowDamaged(TSetupfn::TargetPath(Item));
    }
    ThrowUnreadable(u"Stream read error");
}
