#pragma once

#include "LxPersistent.h"
#include "LxStreams.h"

// One stored file of the file-data block: where its encoded bytes are.
class TFileData : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TFileData)
public:
    int32_t Bytes = 0;
    WideString GUID;
    int32_t Offset = 0;

    // The entry's encoded bytes as stored, a view into the block (no copy); empty until loaded.
    TMemoryViewStream& Stream() { return FStream; }
    const uint8_t* Data() const { return FStream.Memory(); }
    size_t Size() const { return static_cast<size_t>(FStream.MemorySize()); }
    void SetView(const uint8_t* Data, size_t Size) {
        FStream = TMemoryViewStream(Data, int64_t(Size));
    }

private:
    TMemoryViewStream FStream{nullptr, 0};
};

// The index of the file-data block: an encoded TFileDataList document followed by its
// encoded length as a 32-bit little-endian integer, at the end of the block.
class TFileDataList : public TTypedObjectList<TFileData> {
    LX_PERSISTENT_CLASS(TFileDataList)
public:
    // Splits a block that must outlive the list: entries point into it. Raises for an index
    // or an entry that reaches outside the block.
    void LoadFromBlock(const uint8_t* Block, size_t Size);
#ifdef _WIN32
    // Splits the module's file data resource in place; the module must stay loaded while the
    // list lives. Returns true; a missing resource or a broken block raises.
    bool LoadFromModule(void* Module);
#endif
    // Case-sensitive, first match.
    int IndexOfGUID(WideStringView GUID) const;
    TFileData* FindByGUID(WideStringView GUID) const;

    // Appends the encoded index and its length to a block that already holds the files.
    void AppendIndexTo(std::vector<uint8_t>& Block) const;
};
