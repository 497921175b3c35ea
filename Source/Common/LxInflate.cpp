#include "LxInflate.h"

#include "LxExceptions.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <zlib.h>

namespace {

constexpr size_t History = 32768;
constexpr size_t MaxMatch = 258;
// Input is staged here: the unread end of one piece before the start of the next.
constexpr size_t InputRoom = 64 * 1024;
// The fast loop needs this much input left: one refill reads 8 bytes, one symbol takes 6.
constexpr size_t FastInput = 16;
constexpr unsigned LitRoot = 10, DistRoot = 8, CodeRoot = 7;
// Root tables and their subtables; more than any valid code needs.
constexpr size_t LitCap = 4096, DistCap = 1024;

// A table entry: the value (a literal, a base, or where a subtable starts), its kind, its extra
// bits (or a subtable's index bits) and the bits its code takes at this level.
enum : uint32_t { KLiteral, KCopy, KEnd, KSub, KInvalid };
constexpr uint32_t Entry(uint32_t Kind, uint32_t Value, uint32_t Extra = 0, uint32_t Bits = 0) {
    return Value << 16 | Kind << 8 | Extra << 4 | Bits;
}
uint32_t BitsOf(uint32_t E) {
    return E & 15;
}
uint32_t ExtraOf(uint32_t E) {
    return (E >> 4) & 15;
}
uint32_t KindOf(uint32_t E) {
    return (E >> 8) & 7;
}
uint32_t ValueOf(uint32_t E) {
    return E >> 16;
}
constexpr uint32_t Invalid = Entry(KInvalid, 0, 0, 1);

const uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t CodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t LitSymbol(unsigned S) {
    if (S < 256) return Entry(KLiteral, S);
    if (S == 256) return Entry(KEnd, 0);
    if (S < 286) return Entry(KCopy, LengthBase[S - 257], LengthExtra[S - 257]);
    return Invalid & ~15u;
}
uint32_t DistSymbol(unsigned S) {
    return S < 30 ? Entry(KCopy, DistBase[S], DistExtra[S]) : Invalid & ~15u;
}
uint32_t CodeSymbol(unsigned S) {
    return Entry(KLiteral, S);
}

// The decoding table of a prefix code given by its lengths: Root bits first, longer codes in
// subtables. False for lengths no prefix code has. Like zlib, a code of literals or distances may
// be a single one-bit code, and one without symbols leaves every entry invalid.
template <typename TSymbol>
bool BuildTable(uint32_t* Table, size_t Cap, unsigned Root, const uint8_t* Lengths, unsigned N,
                TSymbol Symbol, bool Incomplete = true) {
    unsigned Count[16] = {};
    for (unsigned S = 0; S < N; ++S)
        ++Count[Lengths[S]];
    unsigned Max = 15;
    while (Max > 0 && Count[Max] == 0)
        --Max;
    const size_t RootSize = size_t(1) << Root;
    if (Max == 0) {
        if (!Incomplete) return false;
        std::fill(Table, Table + RootSize, Invalid);
        return true;
    }
    int Left = 1;
    for (unsigned L = 1; L <= 15; ++L) {
        Left = (Left << 1) - int(Count[L]);
        if (Left < 0) return false;
    }
    if (Left > 0) {
        if (Max != 1 || !Incomplete) return false;
        std::fill(Table, Table + RootSize, Invalid);
    }
    // The symbols in the canonical order of their codes: by length, then by value.
    unsigned Offset[16];
    Offset[1] = 0;
    for (unsigned L = 1; L < 15; ++L)
        Offset[L + 1] = Offset[L] + Count[L];
    const unsigned Total = Offset[15] + Count[15];
    uint16_t Sorted[288];
    for (unsigned S = 0; S < N; ++S)
        if (Lengths[S]) Sorted[Offset[Lengths[S]]++] = uint16_t(S);

    uint32_t Code = 0; // the current code, bit-reversed as it is read
    size_t Next = RootSize, SubStart = 0;
    unsigned SubBits = 0;
    uint32_t Low = ~0u;
    for (unsigned I = 0; I < Total; ++I) {
        const unsigned S = Sorted[I], L = Lengths[S];
        const uint32_t E = Symbol(S);
        if (L <= Root) {
            for (size_t J = Code; J < RootSize; J += size_t(1) << L)
                Table[J] = E | L;
        } else {
            if ((Code & (RootSize - 1)) != Low) {
                // A subtable as large as the codes that share this root need.
                SubBits = L - Root;
                int Room = 1 << SubBits;
                while (SubBits + Root < Max) {
                    Room -= int(Count[SubBits + Root]);
                    if (Room <= 0) break;
                    ++SubBits;
                    Room <<= 1;
                }
                if (Next + (size_t(1) << SubBits) > Cap) return false;
                Low = Code & uint32_t(RootSize - 1);
                Table[Low] = Entry(KSub, uint32_t(Next), SubBits, Root);
                SubStart = Next;
                Next += size_t(1) << SubBits;
            }
            for (size_t J = Code >> Root; J < (size_t(1) << SubBits); J += size_t(1) << (L - Root))
                Table[SubStart + J] = E | (L - Root);
        }
        --Count[L];
        uint32_t Step = 1u << (L - 1);
        while (Code & Step)
            Step >>= 1;
        Code = Step ? (Code & (Step - 1)) + Step : 0;
    }
    return true;
}

// The bit buffer is a machine word: a 64-bit one holds a whole length and distance after one
// refill, a 32-bit one needs a refill before each code.
// ONESETUP_INFLATE_WORD32 tests the 32-bit form on a 64-bit machine.
#ifdef ONESETUP_INFLATE_WORD32
using TWord = uint32_t;
#else
using TWord = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
#endif
constexpr unsigned WordBits = sizeof(TWord) * 8;

TWord LoadWord(const uint8_t* P) {
    TWord V;
    std::memcpy(&V, P, sizeof V);
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof V == 8)
            V = __builtin_bswap64(V);
        else
            V = __builtin_bswap32(V);
    }
    return V;
}

} // namespace

struct TZInflater::TState {
    enum TMode : uint8_t { ZlibHeader, BlockHeader, Stored, Codes, Trailer, Done };
    TMode Mode = ZlibHeader;
    bool LastBlock = false;
    uint32_t StoredLeft = 0;
    uint32_t Adler = 1;
    // Bits read ahead, lowest first; any bits above Count are those of the bytes that follow.
    TWord Bits = 0;
    unsigned Count = 0;
    size_t InPos = 0, InEnd = 0;
    // Out holds the last History bytes before Flushed, then what is not yet given to the sink.
    size_t OutPos = 0, Flushed = 0;
    uint32_t Lit[LitCap];
    uint32_t Dist[DistCap];
    uint8_t In[InputRoom + 8];
    uint8_t Out[History + TZInflater::OutputChunk + MaxMatch + 16];

    static constexpr size_t OutFull = History + TZInflater::OutputChunk;

    void Pull() {
        while (Count <= WordBits - 8 && InPos < InEnd) {
            Bits |= TWord(In[InPos++]) << Count;
            Count += 8;
        }
    }
    bool Need(unsigned N) {
        if (Count < N) Pull();
        return Count >= N;
    }
    uint32_t Take(unsigned N) {
        const uint32_t V = uint32_t(Bits & ((TWord(1) << N) - 1));
        Bits >>= N;
        Count -= N;
        return V;
    }
    // The next code's entry, taken; 0 when the input ends within it.
    uint32_t Decode(const uint32_t* Table, unsigned Root) {
        Pull();
        uint32_t E = Table[Bits & ((1u << Root) - 1)];
        if (KindOf(E) == KSub) {
            const uint32_t S = Table[ValueOf(E) + ((Bits >> Root) & ((1u << ExtraOf(E)) - 1))];
            if (Count < Root + BitsOf(S)) return 0;
            Take(Root + BitsOf(S));
            return S;
        }
        if (Count < BitsOf(E)) return 0;
        Take(BitsOf(E));
        return E;
    }

    // Hands on a chunk, or the rest at the end of the stream.
    void Emit(TByteSink Sink, size_t Size) {
        Adler = uint32_t(adler32(Adler, Out + Flushed, uInt(Size)));
        Flushed += Size;
        Sink(Out + Flushed - Size, Size);
    }
    void EmitRest(TByteSink Sink) {
        while (Flushed < OutPos)
            Emit(Sink, std::min(OutPos - Flushed, TZInflater::OutputChunk));
    }
    // With the buffer full, hands on whole chunks (the sink writes them as they come) and keeps
    // the last History bytes before the rest.
    void EmitAndSlide(TByteSink Sink) {
        while (OutPos - Flushed >= TZInflater::OutputChunk)
            Emit(Sink, TZInflater::OutputChunk);
        const size_t Drop = Flushed - History;
        std::memmove(Out, Out + Drop, OutPos - Drop);
        OutPos -= Drop;
        Flushed = History;
    }

    [[gnu::always_inline]] void Copy(uint32_t Length, uint32_t Distance) {
        if (Distance > OutPos) RaiseDecompressionError();
        uint8_t* Dest = Out + OutPos;
        const uint8_t* Source = Dest - Distance;
        OutPos += Length;
        if (Distance >= 8) {
            // Whole words, up to 7 bytes past the end: the buffer has room for them.
            for (uint32_t I = 0; I < Length; I += 8)
                std::memcpy(Dest + I, Source + I, 8);
        } else if (Distance == 1) {
            std::memset(Dest, *Source, Length);
        } else {
            for (uint32_t I = 0; I < Length; ++I)
                Dest[I] = Source[I];
        }
    }

    bool BlockStart();
    bool DynamicTables();
    void FastCodes();
    bool SlowCode();
    void Run(TByteSink Sink);
};

bool TZInflater::TState::DynamicTables() {
    if (!Need(14)) return false;
    const unsigned LitCount = Take(5) + 257, DistCount = Take(5) + 1, CodeCount = Take(4) + 4;
    if (LitCount > 286 || DistCount > 30) RaiseDecompressionError();
    uint8_t Lengths[286 + 30] = {};
    for (unsigned I = 0; I < CodeCount; ++I) {
        if (!Need(3)) return false;
        Lengths[CodeOrder[I]] = uint8_t(Take(3));
    }
    uint32_t CodeTable[1 << CodeRoot];
    if (!BuildTable(CodeTable, std::size(CodeTable), CodeRoot, Lengths, 19, CodeSymbol, false))
        RaiseDecompressionError();
    std::fill(Lengths, Lengths + 19, 0);
    for (unsigned N = 0; N < LitCount + DistCount;) {
        const uint32_t E = Decode(CodeTable, CodeRoot);
        if (!E) return false;
        if (KindOf(E) != KLiteral) RaiseDecompressionError();
        const unsigned Symbol = ValueOf(E);
        if (Symbol < 16) {
            Lengths[N++] = uint8_t(Symbol);
            continue;
        }
        unsigned Repeat;
        uint8_t Value = 0;
        if (Symbol == 16) {
            if (N == 0) RaiseDecompressionError();
            if (!Need(2)) return false;
            Repeat = 3 + Take(2);
            Value = Lengths[N - 1];
        } else if (Symbol == 17) {
            if (!Need(3)) return false;
            Repeat = 3 + Take(3);
        } else {
            if (!Need(7)) return false;
            Repeat = 11 + Take(7);
        }
        if (N + Repeat > LitCount + DistCount) RaiseDecompressionError();
        std::fill(Lengths + N, Lengths + N + Repeat, Value);
        N += Repeat;
    }
    // A block that cannot end is damaged.
    if (Lengths[256] == 0 || !BuildTable(Lit, LitCap, LitRoot, Lengths, LitCount, LitSymbol) ||
        !BuildTable(Dist, DistCap, DistRoot, Lengths + LitCount, DistCount, DistSymbol))
        RaiseDecompressionError();
    return true;
}

bool TZInflater::TState::BlockStart() {
    if (!Need(3)) return false;
    LastBlock = Take(1) != 0;
    switch (Take(2)) {
    case 0:
        Take(Count & 7);
        if (!Need(32)) return false;
        StoredLeft = Take(16);
        if (Take(16) != (~StoredLeft & 0xffff)) RaiseDecompressionError();
        Mode = Stored;
        return true;
    case 1: {
        uint8_t Lengths[288 + 32];
        std::fill(Lengths, Lengths + 144, 8);
        std::fill(Lengths + 144, Lengths + 256, 9);
        std::fill(Lengths + 256, Lengths + 280, 7);
        std::fill(Lengths + 280, Lengths + 288, 8);
        std::fill(Lengths + 288, Lengths + 320, 5);
        BuildTable(Lit, LitCap, LitRoot, Lengths, 288, LitSymbol);
        BuildTable(Dist, DistCap, DistRoot, Lengths + 288, 32, DistSymbol);
        Mode = Codes;
        return true;
    }
    case 2:
        if (!DynamicTables()) return false;
        Mode = Codes;
        return true;
    default:
        RaiseDecompressionError();
    }
}

void TZInflater::TState::FastCodes() {
    const uint8_t* const InLimit = In + InEnd - FastInput;
    const uint8_t* Input = In + InPos;
    uint8_t* const OutLimit = Out + OutFull;
    uint8_t* Output = Out + OutPos;
    TWord B = Bits;
    unsigned C = Count;
    const auto Refill = [&]() __attribute__((always_inline)) {
        B |= LoadWord(Input) << C;
        Input += (WordBits - 1 - C) >> 3;
        C |= WordBits - 8;
    };
    const auto NextLit = [&]() __attribute__((always_inline)) {
        uint32_t E = Lit[B & ((1u << LitRoot) - 1)];
        if (KindOf(E) == KSub) {
            B >>= LitRoot;
            C -= LitRoot;
            E = Lit[ValueOf(E) + (B & ((1u << ExtraOf(E)) - 1))];
        }
        B >>= BitsOf(E);
        C -= BitsOf(E);
        return E;
    };
    // Input runs out at most FastInput bytes early: the refills of one round read less.
    while (Input <= InLimit && Output < OutLimit) {
        Refill();
        uint32_t E = NextLit();
        if (KindOf(E) == KLiteral) {
            *Output++ = uint8_t(ValueOf(E));
            if constexpr (WordBits == 32) continue;
            // After a refill, three literals of at most 15 bits each fit in the bits at hand.
            E = NextLit();
            if (KindOf(E) == KLiteral) {
                *Output++ = uint8_t(ValueOf(E));
                E = NextLit();
                if (KindOf(E) == KLiteral) {
                    *Output++ = uint8_t(ValueOf(E));
                    continue;
                }
            }
            // A length and its distance take up to 48 bits.
            if (C < 48) Refill();
        }
        if (KindOf(E) != KCopy) {
            if (KindOf(E) != KEnd) RaiseDecompressionError();
            Mode = LastBlock ? Trailer : BlockHeader;
            break;
        }
        const uint32_t Length = ValueOf(E) + uint32_t(B & ((1u << ExtraOf(E)) - 1));
        B >>= ExtraOf(E);
        C -= ExtraOf(E);
        if constexpr (WordBits == 32) Refill();
        E = Dist[B & ((1u << DistRoot) - 1)];
        if (KindOf(E) == KSub) {
            B >>= DistRoot;
            C -= DistRoot;
            E = Dist[ValueOf(E) + (B & ((1u << ExtraOf(E)) - 1))];
        }
        B >>= BitsOf(E);
        C -= BitsOf(E);
        if (KindOf(E) != KCopy) RaiseDecompressionError();
        if constexpr (WordBits == 32) Refill();
        const uint32_t Distance = ValueOf(E) + uint32_t(B & ((1u << ExtraOf(E)) - 1));
        B >>= ExtraOf(E);
        C -= ExtraOf(E);
        OutPos = size_t(Output - Out);
        Copy(Length, Distance);
        Output = Out + OutPos;
    }
    InPos = size_t(Input - In);
    OutPos = size_t(Output - Out);
    Bits = B;
    Count = C;
}

bool TZInflater::TState::SlowCode() {
    const TWord SavedBits = Bits;
    const unsigned SavedCount = Count;
    const size_t SavedPos = InPos;
    const auto Restore = [&] {
        Bits = SavedBits;
        Count = SavedCount;
        InPos = SavedPos;
        return false;
    };
    uint32_t E = Decode(Lit, LitRoot);
    if (!E) return Restore();
    if (KindOf(E) == KLiteral) {
        Out[OutPos++] = uint8_t(ValueOf(E));
        return true;
    }
    if (KindOf(E) == KEnd) {
        Mode = LastBlock ? Trailer : BlockHeader;
        return true;
    }
    if (KindOf(E) != KCopy) RaiseDecompressionError();
    if (!Need(ExtraOf(E))) return Restore();
    const uint32_t Length = ValueOf(E) + Take(ExtraOf(E));
    E = Decode(Dist, DistRoot);
    if (!E) return Restore();
    if (KindOf(E) != KCopy) RaiseDecompressionError();
    if (!Need(ExtraOf(E))) return Restore();
    Copy(Length, ValueOf(E) + Take(ExtraOf(E)));
    return true;
}

void TZInflater::TState::Run(TByteSink Sink) {
    for (;;) {
        if (OutPos >= OutFull) EmitAndSlide(Sink);
        switch (Mode) {
        case ZlibHeader: {
            if (!Need(16)) return;
            const uint32_t Method = Take(8), Flags = Take(8);
            // Deflate with at most a 32 KiB window, a valid check, no preset dictionary.
            if ((Method & 15) != 8 || (Method >> 4) > 7 || (Method << 8 | Flags) % 31 != 0 ||
                (Flags & 0x20))
                RaiseDecompressionError();
            Mode = BlockHeader;
            break;
        }
        case BlockHeader: {
            const TWord SavedBits = Bits;
            const unsigned SavedCount = Count;
            const size_t SavedPos = InPos;
            if (!BlockStart()) {
                Bits = SavedBits;
                Count = SavedCount;
                InPos = SavedPos;
                Mode = BlockHeader;
                return;
            }
            break;
        }
        case Stored: {
            while (StoredLeft > 0 && Count >= 8 && OutPos < OutFull) {
                Out[OutPos++] = uint8_t(Take(8));
                --StoredLeft;
            }
            if (Count == 0) {
                Bits = 0; // the bytes read ahead are copied from the input instead
                const size_t Size = std::min({size_t(StoredLeft), InEnd - InPos, OutFull - OutPos});
                std::memcpy(Out + OutPos, In + InPos, Size);
                OutPos += Size;
                InPos += Size;
                StoredLeft -= uint32_t(Size);
            }
            if (StoredLeft == 0)
                Mode = LastBlock ? Trailer : BlockHeader;
            else if (OutPos < OutFull)
                return;
            break;
        }
        case Codes:
            FastCodes();
            if (Mode == Codes && OutPos < OutFull && !SlowCode()) return;
            break;
        case Trailer: {
            Take(Count & 7);
            if (!Need(32)) return;
            uint32_t Check = 0;
            for (int I = 0; I < 4; ++I)
                Check = Check << 8 | Take(8);
            EmitRest(Sink);
            if (Check != Adler) RaiseDecompressionError();
            Mode = Done;
            return;
        }
        case Done:
            return;
        }
    }
}

TZInflater::TZInflater() : FState(new TState) {}

TZInflater::~TZInflater() = default;

bool TZInflater::Finished() const {
    return FState->Mode == TState::Done;
}

void TZInflater::Reset() {
    TState& S = *FState;
    S.Mode = TState::ZlibHeader;
    S.LastBlock = false;
    S.StoredLeft = 0;
    S.Adler = 1;
    S.Bits = 0;
    S.Count = 0;
    S.InPos = S.InEnd = 0;
    S.OutPos = S.Flushed = 0;
}

bool TZInflater::Push(const uint8_t* Data, size_t Size, TByteSink Sink) {
    TState& S = *FState;
    while (Size > 0 && S.Mode != TState::Done) {
        // The unread end of the staged input moves to its start, the new input after it.
        std::memmove(S.In, S.In + S.InPos, S.InEnd - S.InPos);
        S.InEnd -= S.InPos;
        S.InPos = 0;
        const size_t Taken = std::min(Size, InputRoom - S.InEnd);
        // Nothing fits: no code or header is that long, the stream is damaged.
        if (Taken == 0) RaiseDecompressionError();
        std::memcpy(S.In + S.InEnd, Data, Taken);
        S.InEnd += Taken;
        Data += Taken;
        Size -= Taken;
        S.Run(Sink);
    }
    return S.Mode == TState::Done;
}
