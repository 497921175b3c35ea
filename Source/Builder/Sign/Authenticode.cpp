#include "Authenticode.h"

#include "BuildError.h"
#include "Der.h"
#include "LxStrUtils.h"
#include "Pe/PeLayout.h"

using PeLayout::Get16;
using PeLayout::Get32;

namespace {

constexpr uint8_t SignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr uint8_t IndirectDataOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
constexpr uint8_t Sha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr uint8_t Sha1Oid[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr uint16_t PkcsSignedData = 2;

// Where the parts that the digest leaves out lie; Entry and Table are 0 when absent.
struct TSignedLayout {
    size_t CheckSum = 0;
    size_t Entry = 0;
    size_t Table = 0;
    size_t TableSize = 0;
};

TSignedLayout Locate(const uint8_t* Data, size_t Size, WideStringView FileName) {
    auto Fail = [&](WideStringView Why) { RaiseBuildError(FileName, Why); };
    if (Size < 64 || Data[0] != 'M' || Data[1] != 'Z') Fail(u"not a PE file (no MZ header)");
    const uint32_t NewHeader = Get32(Data + 0x3C);
    if (uint64_t(NewHeader) + 24 > Size || Get32(Data + NewHeader) != 0x00004550)
        Fail(u"not a PE file (no PE signature)");
    const size_t Optional = size_t(NewHeader) + 24;
    const uint16_t OptionalSize = Get16(Data + NewHeader + 20);
    if (OptionalSize < 2 || Optional + OptionalSize > Size)
        Fail(u"the optional header lies outside the file");
    const uint16_t Magic = Get16(Data + Optional);
    if (Magic != 0x10B && Magic != 0x20B) Fail(u"unknown optional header magic");
    const size_t CountOffset =
        Magic == 0x20B ? PeLayout::OptNumberOfRvaAndSizes64 : PeLayout::OptNumberOfRvaAndSizes32;
    if (OptionalSize < CountOffset + 4) Fail(u"the optional header is too short");
    TSignedLayout Layout;
    Layout.CheckSum = Optional + PeLayout::OptCheckSum;
    const size_t EntryOffset = CountOffset + 4 + 8 * PeLayout::SecurityDirectory;
    if (Get32(Data + Optional + CountOffset) <= PeLayout::SecurityDirectory ||
        EntryOffset + 8 > OptionalSize)
        return Layout;
    Layout.Entry = Optional + EntryOffset;
    const uint32_t Table = Get32(Data + Layout.Entry);
    const uint32_t TableSize = Get32(Data + Layout.Entry + 4);
    if (Table == 0 && TableSize == 0) return Layout;
    if (Table < Layout.Entry + 8 || Table > Size || TableSize > Size - Table)
        Fail(u"the certificate table lies outside the file");
    if (Table + TableSize != Size)
        Fail(IntToStr(int64_t(Size - Table - TableSize)) +
             u" bytes of extra data follow the certificate table");
    if (TableSize < 8) Fail(u"the certificate table is too small");
    Layout.Table = Table;
    Layout.TableSize = TableSize;
    return Layout;
}

WideString AttributeName(const Der::TElement& Oid) {
    static const struct {
        uint8_t Last;
        const char16_t* Name;
    } Names[] = {{3, u"CN"}, {6, u"C"}, {7, u"L"}, {8, u"ST"}, {10, u"O"}, {11, u"OU"}};
    if (Oid.Size == 3 && Oid.Data[0] == 0x55 && Oid.Data[1] == 0x04)
        for (const auto& Known : Names)
            if (Oid.Data[2] == Known.Last) return Known.Name;
    return Der::OidText(Oid);
}

// The common name of a Name, or all of it as "O=..., C=...".
WideString NameText(const Der::TElement& Name, WideStringView FileName) {
    WideString CommonName, Whole;
    Der::TReader Rdns(Name, FileName);
    while (!Rdns.AtEnd()) {
        Der::TReader Rdn(Rdns.Next(Der::Set, u"a name part"), FileName);
        while (!Rdn.AtEnd()) {
            Der::TReader Pair(Rdn.Next(Der::Sequence, u"a name attribute"), FileName);
            const Der::TElement Type = Pair.Next(Der::Oid, u"a name attribute's type");
            const std::optional<WideString> Value =
                Der::Text(Pair.Next(u"a name attribute's value"));
            const WideString Shown = Value ? *Value : WideString(u"?");
            const WideString Key = AttributeName(Type);
            if (Key == u"CN" && CommonName.empty()) CommonName = Shown;
            Whole += (Whole.empty() ? u"" : u", ") + Key + u"=" + Shown;
        }
    }
    if (!CommonName.empty()) return CommonName;
    return Whole.empty() ? WideString(u"(no name)") : Whole;
}

struct TCertificate {
    Der::TElement Serial, Issuer, Subject, NotBefore, NotAfter;
};

TCertificate ReadCertificate(const Der::TElement& Element, WideStringView FileName) {
    Der::TReader Certificate(Element, FileName);
    Der::TReader Tbs(Certificate.Next(Der::Sequence, u"a certificate"), FileName);
    Tbs.NextIf(Der::Context(0)); // the version
    TCertificate Result;
    Result.Serial = Tbs.Next(Der::Integer, u"a certificate's serial number");
    Tbs.Next(Der::Sequence, u"a certificate's algorithm");
    Result.Issuer = Tbs.Next(Der::Sequence, u"a certificate's issuer");
    Der::TReader Validity(Tbs.Next(Der::Sequence, u"a certificate's validity"), FileName);
    Result.NotBefore = Validity.Next(u"a certificate's start");
    Result.NotAfter = Validity.Next(u"a certificate's end");
    Result.Subject = Tbs.Next(Der::Sequence, u"a certificate's subject");
    return Result;
}

bool SameBytes(const Der::TElement& A, const Der::TElement& B) {
    return A.Is(B.Data, B.Size);
}

// The PKCS#7 SignedData of one WIN_CERTIFICATE.
TCodeSignature ReadSignedData(const uint8_t* Data, size_t Size, WideStringView FileName) {
    // What follows the ContentInfo is the entry's padding.
    Der::TReader Outer(Data, Size, FileName);
    Der::TReader Info(Outer.Next(Der::Sequence, u"the content info"), FileName);
    if (!Info.Next(Der::Oid, u"the content type").Is(SignedDataOid))
        Info.Fail(u"not PKCS#7 signed data");
    Der::TReader Explicit(Info.Next(Der::Context(0), u"the signed data"), FileName);
    Der::TReader Signed(Explicit.Next(Der::Sequence, u"the signed data"), FileName);
    Signed.Next(Der::Integer, u"the version");
    Signed.Next(Der::Set, u"the digest algorithms");

    Der::TReader Content(Signed.Next(Der::Sequence, u"the signed content"), FileName);
    if (!Content.Next(Der::Oid, u"the signed content's type").Is(IndirectDataOid))
        Content.Fail(u"not an Authenticode signature");
    Der::TReader Wrapped(Content.Next(Der::Context(0), u"the indirect data"), FileName);
    Der::TReader Indirect(Wrapped.Next(Der::Sequence, u"the indirect data"), FileName);
    Indirect.Next(Der::Sequence, u"the indirect data's attribute");
    Der::TReader DigestInfo(Indirect.Next(Der::Sequence, u"the digest info"), FileName);
    Der::TReader Algorithm(DigestInfo.Next(Der::Sequence, u"the digest algorithm"), FileName);
    const Der::TElement AlgorithmOid = Algorithm.Next(Der::Oid, u"the digest algorithm");
    const Der::TElement Digest = DigestInfo.Next(Der::OctetString, u"the digest");

    std::vector<Der::TElement> Certificates;
    if (const auto Set = Signed.NextIf(Der::Context(0))) {
        Der::TReader List(*Set, FileName);
        while (!List.AtEnd()) {
            const Der::TElement Item = List.Next(u"a certificate");
            if (Item.Tag == Der::Sequence) Certificates.push_back(Item);
        }
    }
    Signed.NextIf(Der::Context(1)); // revocation lists
    Der::TReader Signers(Signed.Next(Der::Set, u"the signer infos"), FileName);
    Der::TReader Signer(Signers.Next(Der::Sequence, u"the signer info"), FileName);
    Signer.Next(Der::Integer, u"the signer's version");
    Der::TReader Id(Signer.Next(Der::Sequence, u"the signer's issuer and serial number"), FileName);
    const Der::TElement Issuer = Id.Next(Der::Sequence, u"the signer's issuer");
    const Der::TElement Serial = Id.Next(Der::Integer, u"the signer's serial number");

    for (const Der::TElement& Element : Certificates) {
        const TCertificate Certificate = ReadCertificate(Element, FileName);
        if (!SameBytes(Certificate.Issuer, Issuer) || !SameBytes(Certificate.Serial, Serial))
            continue;
        TCodeSignature Result;
        Result.Signer = NameText(Certificate.Subject, FileName);
        Result.DigestAlgorithm = AlgorithmOid.Is(Sha256Oid) ? WideString(u"SHA-256")
                                 : AlgorithmOid.Is(Sha1Oid) ? WideString(u"SHA-1")
                                                            : Der::OidText(AlgorithmOid);
        Result.Digest.assign(Digest.Data, Digest.Data + Digest.Size);
        const auto NotBefore = Der::Time(Certificate.NotBefore);
        const auto NotAfter = Der::Time(Certificate.NotAfter);
        if (!NotBefore || !NotAfter) Signer.Fail(u"the signer's validity is not a time");
        Result.NotBefore = *NotBefore;
        Result.NotAfter = *NotAfter;
        return Result;
    }
    Signer.Fail(u"the signer's certificate is missing");
}

} // namespace

std::optional<TCodeSignature> ReadCodeSignature(const uint8_t* Data, size_t Size,
                                                WideStringView FileName) {
    const TSignedLayout Layout = Locate(Data, Size, FileName);
    if (Layout.Table == 0) return std::nullopt;
    // Entries are 8-byte aligned; the first Authenticode one is the signature Windows checks.
    size_t At = Layout.Table;
    const size_t End = Layout.Table + Layout.TableSize;
    while (End - At >= 8) {
        const uint32_t Length = Get32(Data + At);
        if (Length < 8 || Length > End - At)
            RaiseBuildError(FileName, u"a certificate entry lies outside the certificate table");
        if (Get16(Data + At + 6) == PkcsSignedData)
            return ReadSignedData(Data + At + 8, Length - 8, FileName);
        At += std::min<size_t>((size_t(Length) + 7) & ~size_t(7), End - At);
    }
    RaiseBuildError(FileName, u"the certificate table holds no Authenticode signature");
}

std::optional<TCodeSignature> ReadFileCodeSignature(const fs::path& File, WideStringView FileName) {
    const uint64_t Size = fs::file_size(File);
    TFileReader Reader(File);
    std::vector<uint8_t> Head(size_t(std::min<uint64_t>(Size, 64 * 1024)));
    if (Reader.Read(Head.data(), Head.size()) != Head.size())
        RaiseBuildError(FileName, u"cannot read the file");
    size_t Entry = 0;
    if (Head.size() >= 64) {
        const size_t Optional = size_t(Get32(Head.data() + 0x3C)) + 24;
        if (Optional + 2 <= Head.size()) {
            const size_t Count = Get16(Head.data() + Optional) == 0x20B
                                     ? PeLayout::OptNumberOfRvaAndSizes64
                                     : PeLayout::OptNumberOfRvaAndSizes32;
            Entry = Optional + Count + 4 + 8 * PeLayout::SecurityDirectory;
        }
    }
    const uint32_t Table = Entry + 8 <= Head.size() ? Get32(Head.data() + Entry) : 0;
    const uint32_t TableSize = Entry + 8 <= Head.size() ? Get32(Head.data() + Entry + 4) : 0;
    // Only the headers and a certificate table at the end are read; anything else is read
    // whole, so that it fails as the reader says.
    if (Size == Head.size() || Table < Head.size() || uint64_t(Table) + TableSize != Size) {
        const std::vector<uint8_t> Whole = ReadWholeFile(File);
        return ReadCodeSignature(Whole.data(), Whole.size(), FileName);
    }
    std::vector<uint8_t> Compact = std::move(Head);
    const size_t Moved = Compact.size();
    Compact.resize(Moved + TableSize);
    Reader.Seek(Table);
    if (Reader.Read(Compact.data() + Moved, TableSize) != TableSize)
        RaiseBuildError(FileName, u"cannot read the file");
    for (int Byte = 0; Byte < 4; ++Byte)
        Compact[Entry + Byte] = uint8_t(Moved >> (8 * Byte));
    return ReadCodeSignature(Compact.data(), Compact.size(), FileName);
}

TSha256::TDigest AuthenticodeSha256(const uint8_t* Data, size_t Size, WideStringView FileName) {
    const TSignedLayout Layout = Locate(Data, Size, FileName);
    TSha256 Hash;
    Hash.Update(Data, Layout.CheckSum);
    if (Layout.Entry == 0) {
        Hash.Update(Data + Layout.CheckSum + 4, Size - Layout.CheckSum - 4);
    } else {
        const size_t End = Layout.Table != 0 ? Layout.Table : Size;
        Hash.Update(Data + Layout.CheckSum + 4, Layout.Entry - Layout.CheckSum - 4);
        Hash.Update(Data + Layout.Entry + 8, End - Layout.Entry - 8);
    }
    return Hash.Finish();
}

TSha256::TDigest FileAuthenticodeSha256(const fs::path& File, WideStringView FileName) {
    const uint64_t Size = fs::file_size(File);
    TFileReader Reader(File);
    std::vector<uint8_t> Head(size_t(std::min<uint64_t>(Size, 64 * 1024)));
    if (Reader.Read(Head.data(), Head.size()) != Head.size())
        RaiseBuildError(FileName, u"cannot read the file");
    // Headers beyond the first 64 KiB are no program's: read whole, they fail as the reader says.
    const size_t NewHeader = Head.size() >= 64 ? Get32(Head.data() + 0x3C) : Head.size();
    if (Size == Head.size() || NewHeader + 24 > Head.size() ||
        NewHeader + 24 + Get16(Head.data() + NewHeader + 20) > Head.size()) {
        const std::vector<uint8_t> Whole = ReadWholeFile(File);
        return AuthenticodeSha256(Whole.data(), Whole.size(), FileName);
    }
    const TSignedLayout Layout = Locate(Head.data(), size_t(Size), FileName);
    TSha256 Hash;
    std::vector<uint8_t> Piece(1 << 20);
    auto Add = [&](uint64_t From, uint64_t To) {
        Reader.Seek(From);
        for (uint64_t At = From; At < To;) {
            const size_t Want = size_t(std::min<uint64_t>(Piece.size(), To - At));
            if (Reader.Read(Piece.data(), Want) != Want)
                RaiseBuildError(FileName, u"cannot read the file");
            Hash.Update(Piece.data(), Want);
            At += Want;
        }
    };
    Add(0, Layout.CheckSum);
    if (Layout.Entry == 0) {
        Add(Layout.CheckSum + 4, Size);
    } else {
        Add(Layout.CheckSum + 4, Layout.Entry);
        Add(Layout.Entry + 8, Layout.Table != 0 ? Layout.Table : Size);
    }
    return Hash.Finish();
}

TSignatureCheck CheckFileCodeSignature(const fs::path& File, WideStringView FileName) {
    TSignatureCheck Check;
    Check.Signature = ReadFileCodeSignature(File, FileName);
    if (Check.Signature && Check.Signature->DigestAlgorithm == u"SHA-256") {
        const TSha256::TDigest Digest = FileAuthenticodeSha256(File, FileName);
        Check.DigestChecked = true;
        Check.DigestMatches =
            Check.Signature->Digest == std::vector<uint8_t>(Digest.begin(), Digest.end());
    }
    return Check;
}

TSignatureCheck CheckCodeSignature(const std::vector<uint8_t>& Image, WideStringView FileName) {
    TSignatureCheck Check;
    Check.Signature = ReadCodeSignature(Image.data(), Image.size(), FileName);
    if (Check.Signature && Check.Signature->DigestAlgorithm == u"SHA-256") {
        const TSha256::TDigest Digest = AuthenticodeSha256(Image.data(), Image.size(), FileName);
        Check.DigestChecked = true;
        Check.DigestMatches =
            Check.Signature->Digest == std::vector<uint8_t>(Digest.begin(), Digest.end());
    }
    return Check;
}

WideString DescribeSignature(const TSignatureCheck& Check) {
    if (!Check.Signature) return u"not signed";
    const WideString Signed = u"signed by " + Check.Signature->Signer + u"; its ";
    if (!Check.DigestChecked)
        return Signed + Check.Signature->DigestAlgorithm + u" digest is not checked here";
    return Signed + (Check.DigestMatches
                         ? WideString(u"SHA-256 digest matches the file")
                         : WideString(u"SHA-256 digest does not match the file: changed after "
                                      u"signing"));
}
