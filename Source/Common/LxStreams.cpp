#include "LxStreams.h"

#include "LxExceptions.h"

#include <algorithm>
#include <cstring>

int64_t TStream::GetSize() {
    const int64_t Position = Seek(0, soCurrent);
    const int64_t Size = Seek(0, soEnd);
    Seek(Position, soBeginning);
    return Size;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count)) RaiseReadError();
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count)) RaiseWriteError();
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    if (auto* Memory = dynamic_cast<TCustomMemoryStream*>(&Source)) {
        const int64_t Position = Memory->GetPosition();
        if (Count < 0 || Count > Memory->GetSize() - Position) RaiseReadError();
        WriteBuffer(Memory->Memory() + Position, Count);
        Memory->Seek(Count, soCurrent);
        return Count;
    }
    std::vector<uint8_t> Buffer(static_cast<size_t>(std::min<int64_t>(Count, 1 << 16)));
    int64_t Left = Count;
    while (Left > 0) {
        const int64_t Piece = std::min<int64_t>(Left, static_cast<int64_t>(Buffer.size()));
        Source.ReadBuffer(Buffer.data(), Piece);
        WriteBuffer(Buffer.data(), Piece);
        Left -= Piece;
    }
    return Count;
}

void TCustomMemoryStream::SetPointer(const uint8_t* Memory, int64_t Size) {
    FMemory = Memory;
    FSize = Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition >= FSize) return 0;
    const int64_t Available = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(Available));
    FPosition += Available;
    return Available;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = FSize + Offset; break;
    }
    return FPosition;
}

TMemoryViewStream::TMemoryViewStream(const void* Memory, int64_t Size) {
    SetPointer(static_cast<const uint8_t*>(Memory), Size);
}

int64_t TMemoryViewStream::Write(const void*, int64_t) { RaiseWriteError(); }
void TMemoryViewStream::SetSize(int64_t) { RaiseWriteError(); }

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition < 0) return 0;
    const int64_t End = FPosition + Count;
    if (End > static_cast<int64_t>(FData.size())) {
        FData.resize(static_cast<size_t>(End));
        Sync();
    }
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = End;
    return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) RaiseWriteError();
    FData.resize(static_cast<size_t>(NewSize));
    Sync();
    if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    Sync();
    FPosition = 0;
}

void TMemoryStream::Adopt(std::vector<uint8_t>&& Data) {
    FData = std::move(Data);
    Sync();
    FPosition = 0;
}

std::vector<uint8_t> TMemoryStream::Release() {
    std::vector<uint8_t> Data = std::move(FData);
    FData.clear();
    Sync();
    FPosition = 0;
    return Data;
}
