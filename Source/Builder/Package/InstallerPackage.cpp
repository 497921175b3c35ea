#include "InstallerPackage.h"

#include "BuildError.h"
#include "LxStreams.h"
#include "MySetupUtils.h"

namespace {

// A package part decoded, refusing a stream that claims far more than it holds.
void DecodePart(const std::vector<uint8_t>& Encoded, TMemoryStream& Plain) {
    TSetupfn::DecodeBounded(Encoded.data(), Encoded.size(), Plain);
}

std::vector<uint8_t> ReadInstaller(const fs::path& File) {
    if (!IsFile(File)) RaiseBuildError(DisplayPath(File), u"no such file");
    return ReadWholeFile(File);
}

} // namespace

template <class TIndex>
const TIndex& TInstallerPackage::LoadIndexOnce(std::unique_ptr<TIndex>& Index,
                                               const TResource* Data, const char16_t* Missing,
                                               void (TIndex::*Load)(const uint8_t*, size_t)) const {
    if (Index) return *Index;
    if (!Data) RaiseBuildError(Name(), Missing);
    auto Loaded = std::make_unique<TIndex>();
    try {
        ((*Loaded).*Load)(Data->Data.data(), Data->Data.size());
    } catch (const Exception& Error) {
        RaiseBuildError(Name(), u"the file data index is damaged (" + Error.Message() + u")");
    }
    Index = std::move(Loaded);
    return *Index;
}

TInstallerPackage::TInstallerPackage(const fs::path& File)
    : TInstallerPackage(ReadInstaller(File), File) {}

TInstallerPackage::TInstallerPackage(std::vector<uint8_t> Bytes, const fs::path& File)
    : FFile(File) {
    FImage = std::make_unique<TPeImage>(std::move(Bytes), DisplayPath(File));
    const TResource* Script = RcData(FullSetupScriptResName);
    FFull = Script != nullptr;
    if (!Script) Script = RcData(MiniSetupScriptResName);
    if (!Script) RaiseBuildError(Name(), u"carries no setup script: not an installer");
    try {
        TMemoryStream Stream;
        DecodePart(Script->Data, Stream);
        FScriptXml = Stream.Bytes();
        FScript = std::make_unique<TSetupScript>();
        FScript->LoadFromStream(Stream);
    } catch (const Exception& Error) {
        RaiseBuildError(Name(), u"the setup script is damaged (" + Error.Message() + u")");
    }
}

const TResource* TInstallerPackage::RcData(WideStringView Name) const {
    return FImage->Resources().Find(TResourceKey::FromId(RT_RCDATA_ID),
                                    TResourceKey::FromName(Name));
}

std::optional<std::vector<uint8_t>> TInstallerPackage::Decoded(WideStringView ResourceName) const {
    const TResource* Resource = RcData(ResourceName);
    if (!Resource) return std::nullopt;
    TMemoryStream Stream;
    DecodePart(Resource->Data, Stream);
    return Stream.Bytes();
}

const TFileDataList& TInstallerPackage::FileData() const {
    return LoadIndexOnce(FFileData, RcData(FileDataResName), u"carries no file data",
                         &TFileDataList::LoadFromBlock);
}

const TResource* TInstallerPackage::FileDataResource() const {
    const TResource* Solid = RcData(SolidDataResName);
    return Solid ? Solid : RcData(FileDataResName);
}

const TSolidIndex& TInstallerPackage::SolidIndex() const {
    return LoadIndexOnce(FSolidIndex, RcData(SolidDataResName), u"carries no solid file data",
                         &TSolidIndex::LoadFromResource);
}

void TInstallerPackage::CheckIndex() const {
    if (IsSolid())
        SolidIndex();
    else
        FileData();
}

namespace {

// Decoding stops where the script says the file ends: a crafted stream cannot fill a disk.
[[noreturn]] void RaiseLength(uint64_t Written, uint64_t Expected) {
    if (Written > Expected)
        throw Exception(FormatText(u"the stream holds more than the %d bytes the script says",
                                   int64_t(Expected)));
    throw Exception(FormatText(u"the stream holds %d bytes, the script says %d", int64_t(Written),
                               int64_t(Expected)));
}

} // namespace

void TInstallerPackage::DecodeFile(const TSetupFile& Item, TByteSink Sink) const {
    if (Item.FileBytes <= 0) return;
    if (IsSolid()) {
        WideString Failure;
        DecodeFiles(
            {&Item}, [&](size_t, const uint8_t* Data, size_t Size) { Sink(Data, Size); },
            [&](size_t, const WideString& Why) { Failure = Why; });
        if (!Failure.empty()) throw Exception(Failure);
        return;
    }
    const TFileDataList& List = FileData();
    if (FEntries.empty())
        for (int I = 0; I < List.Count(); ++I)
            FEntries.emplace(List.Items(I)->GUID, List.Items(I));
    const auto Found = FEntries.find(Item.ResID);
    if (Found == FEntries.end()) throw Exception(u"its stream is missing from the file data");
    const TFileData& Entry = *Found->second;
    const uint64_t Expected = uint64_t(Item.FileBytes);
    uint64_t Written = 0;
    try {
        TSetupfn::DecodeRange(Entry.Data(), Entry.Size(), [&](const uint8_t* Data, size_t Size) {
            if (Written + Size > Expected) RaiseLength(Written + Size, Expected);
            Sink(Data, Size);
            Written += Size;
        });
    } catch (const EZDecompressionError& Failure) {
        throw Exception(u"damaged stream (" + Failure.Message() + u")");
    }
    if (Written != Expected) RaiseLength(Written, Expected);
}

void TInstallerPackage::DecodeFiles(
    const std::vector<const TSetupFile*>& Items,
    const std::function<void(size_t, const uint8_t*, size_t)>& Piece,
    const std::function<void(size_t, const WideString&)>& Failed) const {
    if (!IsSolid()) {
        for (size_t I = 0; I < Items.size(); ++I)
            try {
                DecodeFile(*Items[I],
                           [&](const uint8_t* Data, size_t Size) { Piece(I, Data, Size); });
            } catch (const EBuildError&) {
                throw;
            } catch (const Exception& Failure) {
                Failed(I, Failure.Message());
            }
        return;
    }
    const TSolidIndex& Index = SolidIndex();
    // Each block's wanted ranges by offset; a range may serve several items of one content.
    struct TWanted {
        int64_t Offset, Bytes;
        size_t Item;
    };
    std::vector<std::vector<TWanted>> ByBlock(Index.Blocks.size());
    for (size_t I = 0; I < Items.size(); ++I) {
        const TSetupFile& Item = *Items[I];
        if (Item.FileBytes <= 0) continue;
        const TSolidFile* File = Index.FindByGUID(Item.ResID);
        if (!File) {
            Failed(I, u"its stream is missing from the file data");
        } else if (File->Bytes != uint64_t(Item.FileBytes)) {
            Failed(I, FormatText(u"the stream holds %d bytes, the script says %d",
                                 int64_t(File->Bytes), int64_t(Item.FileBytes)));
        } else {
            ByBlock[File->Block].push_back({int64_t(File->Offset), int64_t(File->Bytes), I});
        }
    }
    TSolidDecoder Decoder;
    for (size_t B = 0; B < ByBlock.size(); ++B) {
        std::vector<TWanted>& Wanted = ByBlock[B];
        if (Wanted.empty()) continue;
        std::stable_sort(Wanted.begin(), Wanted.end(),
                         [](const TWanted& A, const TWanted& C) { return A.Offset < C.Offset; });
        const int64_t Last = Wanted.back().Offset + Wanted.back().Bytes;
        struct TEnough {};
        int64_t At = 0;
        size_t First = 0; // the first range not yet past
        try {
            Decoder.Decode(Index, B, [&](const uint8_t* Data, size_t Size) {
                const int64_t End = At + int64_t(Size);
                for (size_t W = First; W < Wanted.size() && Wanted[W].Offset < End; ++W) {
                    const int64_t From = std::max(At, Wanted[W].Offset);
                    const int64_t To = std::min(End, Wanted[W].Offset + Wanted[W].Bytes);
                    if (From < To) Piece(Wanted[W].Item, Data + (From - At), size_t(To - From));
                }
                while (First < Wanted.size() && Wanted[First].Offset + Wanted[First].Bytes <= End)
                    ++First;
                At = End;
                // The rest of the block serves none of these items.
                if (At >= Last) throw TEnough{};
            });
        } catch (const TEnough&) {
        } catch (const EZDecompressionError& Failure) {
            for (size_t W = First; W < Wanted.size(); ++W)
                Failed(Wanted[W].Item, u"damaged stream (" + Failure.Message() + u")");
        }
    }
}

namespace {

// Names the system takes for devices in every folder, whatever follows a dot.
bool IsDeviceName(WideStringView Part) {
    WideString Base = WideUpperCase(Part.substr(0, Part.find(u'.')));
    while (!Base.empty() && Base.back() == u' ')
        Base.pop_back();
    if (Base == u"CON" || Base == u"PRN" || Base == u"AUX" || Base == u"NUL" || Base == u"CONIN$" ||
        Base == u"CONOUT$")
        return true;
    // COM0-9 and LPT0-9, the superscript digits included.
    if (Base.size() != 4 || (Base.compare(0, 3, u"COM") != 0 && Base.compare(0, 3, u"LPT") != 0))
        return false;
    const char16_t Digit = Base[3];
    return (Digit >= u'0' && Digit <= u'9') || Digit == u'\u00B9' || Digit == u'\u00B2' ||
           Digit == u'\u00B3';
}

// Why a name cannot be a file or folder of the extraction, or empty when it can.
WideString RefusedName(WideStringView Part) {
    if (Part == u"..") return u"leads out of the folder";
    for (const char16_t C : Part)
        if (C == u':') return u"names a stream or a drive";
    if (IsDeviceName(Part)) return u"names a device";
    if (Part.back() == u'.' || Part.back() == u' ') return u"ends in a dot or a space";
    for (const char16_t C : Part)
        if (C < 32 || WideStringView(u"<>\"|?*").find(C) != WideStringView::npos)
            return u"holds a character Windows does not allow in names";
    return u"";
}

} // namespace

fs::path ExtractionPath(const TSetupFile& Item, const fs::path& Root, WideStringView Installer) {
    const WideString& Name = Item.NewFileName.empty() ? Item.SourceMask : Item.NewFileName;
    const WideString Target = IncludeTrailingBackslash(Item.DestDir) + Name;
    fs::path Path = Root;
    bool Named = false; // the last part of the target was a name, not a separator or "."
    size_t Start = 0;
    while (Start <= Target.size()) {
        size_t End = Target.find_first_of(u"\\/", Start);
        if (End == WideString::npos) End = Target.size();
        WideString Part = Target.substr(Start, End - Start);
        Start = End + 1;
        if (Part.size() > 2 && Part.front() == u'{' && Part.back() == u'}')
            Part = Part.substr(1, Part.size() - 2);
        if (Part.size() == 2 && Part[1] == u':') Part.resize(1); // a drive letter
        Named = !Part.empty() && Part != u".";
        if (!Named) continue;
        const WideString Why = RefusedName(Part);
        if (!Why.empty())
            RaiseBuildError(Installer, u"the target " + Target + u" " + Why + u" (" + Part + u")");
        Path /= ToPath(Part);
    }
    if (!Named) RaiseBuildError(Installer, u"the file item " + Target + u" has no file name");
    return Path;
}
