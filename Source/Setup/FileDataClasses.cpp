#include "FileDataClasses.h"

#include "LxExceptions.h"
#include "MySetupUtils.h"

const TClassInfo& TFileData::StaticClassInfo() {
    static constexpr TPropInfo Props[] = {
        Published<&TFileData::Bytes>(u"Bytes"),
        Published<&TFileData::GUID>(u"GUID"),
        Published<&TFileData::Offset>(u"Offset"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<TFileData>(u"TFileData", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TFileDataList::StaticClassInfo() {
    static constexpr TClassInfo Info =
        MakeClassInfo<TFileDataList>(u"TFileDataList", &TXmlObjectList::StaticClassInfo);
    return Info;
}

void TFileDataList::LoadFromBlock(const uint8_t* Block, size_t Size) {
    // Emptied first even when the index turns out to hold no document at all.
    Clear();
    if (Size < 4) RaiseReadError();
    const size_t IndexEnd = Size - 4;
    const uint32_t Stored = uint32_t(Block[IndexEnd]) | uint32_t(Block[IndexEnd + 1]) << 8 |
                            uint32_t(Block[IndexEnd + 2]) << 16 |
                            uint32_t(Block[IndexEnd + 3]) << 24;
    const int64_t IndexLength = static_cast<int32_t>(Stored);
    if (IndexLength < 0 || IndexLength > static_cast<int64_t>(IndexEnd)) RaiseReadError();

    TMemoryStream Index;
    TSetupfn::DecodeBounded(Block + IndexEnd - IndexLength, size_t(IndexLength), Index);
    LoadFromStream(Index, 0);

    for (int I = 0; I < Count(); ++I) {
        TFileData* Entry = Items(I);
        const int64_t Offset = Entry->Offset;
        const int64_t Bytes = Entry->Bytes;
        if (Offset < 0 || Bytes < 0 || Offset + Bytes > static_cast<int64_t>(Size))
            RaiseReadError();
        Entry->SetView(Block + Offset, static_cast<size_t>(Bytes));
    }
}

int TFileDataList::IndexOfGUID(WideStringView GUID) const {
    for (int I = 0; I < Count(); ++I)
        if (Items(I)->GUID == GUID) return I;
    return -1;
}

TFileData* TFileDataList::FindByGUID(WideStringView GUID) const {
    const int Index = IndexOfGUID(GUID);
    return Index < 0 ? nullptr : Items(Index);
}

void TFileDataList::AppendIndexTo(std::vector<uint8_t>& Block) const {
    TMemoryStream Index;
    SaveToStream(Index, 0);
    TSetupfn::EncodeStream(Index);
    const auto& Encoded = Index.Bytes();
    const uint32_t Length = static_cast<uint32_t>(Encoded.size());
    Block.insert(Block.end(), Encoded.begin(), Encoded.end());
    for (int Shift = 0; Shift < 32; Shift += 8)
        Block.push_back(static_cast<uint8_t>(Length >> Shift));
}
