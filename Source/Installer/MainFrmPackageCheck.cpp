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
    auto Index = std::make_unique<TFileDataList>();
    try {
        Index->LoadFromModule(FModule);
    } catch (const Exception& Error) {
        // The runtime's text alone ("Stream read error") does not say that the package is broken.
        ThrowUnreadable(Error.Message());
    }
    FFileData = std::move(Index);
    TResourceBytes Block, Record;
    // A package built before the record: its streams are checked as they are decoded.
    if (!FindRcData(FModule, FileDataDigestsResName, Record) ||
        !FindRcData(FModule, FileDataResName, Block))
        return;
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
    // Named as the file step would name it: the first file in list order whose bytes are not
    // as written.
    const TSetupFileList& Files = FScript->FileList();
    for (int I = 0; I < Files.Count(); ++I) {
        const TSetupFile& Item = *Files.Items(I);
        const TFileData* Entry = Item.FileBytes > 0 ? FFileData->FindByGUID(Item.ResID) : nullptr;
        if (Entry && !Digests.EntryIntact(*Entry)) ThrowDamaged(TSetupfn::TargetPath(Item));
    }
    ThrowUnreadable(u"Stream read error");
}
