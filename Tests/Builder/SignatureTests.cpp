// Signed images: the PE reader accepts a certificate table at the end and nothing else there,
// and the Authenticode reader finds the signer and checks the digest without trusting a length.
// The signatures are assembled here from DER pieces, so every field is under the test's control;
// cli_test.py signs real installers with osslsigncode.

#include "Authenticode.h"
#include "BuilderTestSupport.h"
#include "CommandLine.h"
#include "CommandTemplate.h"
#include "Der.h"
#include "PeTestSupport.h"
#include "TestSupport.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Tlv(uint8_t Tag, const TBytes& Content) {
    TBytes Out{Tag};
    if (Content.size() < 0x80) {
        Out.push_back(uint8_t(Content.size()));
    } else {
        TBytes Length;
        for (size_t Size = Content.size(); Size; Size >>= 8)
            Length.insert(Length.begin(), uint8_t(Size));
        Out.push_back(uint8_t(0x80 | Length.size()));
        Out.insert(Out.end(), Length.begin(), Length.end());
    }
    Out.insert(Out.end(), Content.begin(), Content.end());
    return Out;
}

TBytes Cat(std::initializer_list<TBytes> Parts) {
    TBytes Out;
    for (const TBytes& Part : Parts)
        Out.insert(Out.end(), Part.begin(), Part.end());
    return Out;
}

TBytes Text(uint8_t Tag, std::string_view Value) {
    return Tlv(Tag, TBytes(Value.begin(), Value.end()));
}

const TBytes Sha256Oid = Tlv(Der::Oid, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01});
const TBytes Sha1Oid = Tlv(Der::Oid, {0x2B, 0x0E, 0x03, 0x02, 0x1A});

// A Name of (attribute, string) pairs; the attribute is the last arc of 2.5.4.
TBytes Name(std::initializer_list<std::pair<uint8_t, TBytes>> Parts) {
    TBytes Rdns;
    for (const auto& [Attribute, Value] : Parts) {
        const TBytes Rdn =
            Tlv(Der::Set, Tlv(Der::Sequence, Cat({Tlv(Der::Oid, {0x55, 0x04, Attribute}), Value})));
        Rdns.insert(Rdns.end(), Rdn.begin(), Rdn.end());
    }
    return Tlv(Der::Sequence, Rdns);
}

struct TSignatureParts {
    TBytes Subject = Name({{10, Text(0x13, "Vendor")}, {3, Text(0x0C, "Vendor Code Signing")}});
    TBytes DigestOid = Sha256Oid;
    TBytes Digest;
    TBytes Serial = Tlv(Der::Integer, {0x01, 0x23});
    TBytes SignerSerial = Tlv(Der::Integer, {0x01, 0x23});
};

// A PKCS#7 SignedData holding an SpcIndirectDataContent, one certificate and one signer.
TBytes SignedData(const TSignatureParts& P) {
    const TBytes Issuer = Name({{3, Text(0x0C, "Test Root")}});
    const TBytes Algorithm = Tlv(Der::Sequence, Cat({P.DigestOid, Tlv(Der::Null, {})}));
    const TBytes Indirect = Tlv(
        Der::Sequence,
        Cat({Tlv(Der::Sequence,
                 Cat({Tlv(Der::Oid, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F}),
                      Tlv(Der::Sequence, {})})),
             Tlv(Der::Sequence, Cat({Algorithm, Tlv(Der::OctetString, P.Digest)}))}));
    const TBytes Certificate =
        Tlv(Der::Sequence,
            Cat({Tlv(Der::Sequence,
                     Cat({Tlv(Der::Context(0), Tlv(Der::Integer, {2})), P.Serial,
                          Tlv(Der::Sequence, Sha256Oid), Issuer,
                          Tlv(Der::Sequence, Cat({Text(Der::UtcTime, "200101000000Z"),
                                                  Text(Der::GeneralizedTime, "20500101000000Z")})),
                          P.Subject, Tlv(Der::Sequence, {})})),
                 Tlv(Der::Sequence, Sha256Oid), Tlv(Der::BitString, {0, 1, 2, 3})}));
    const TBytes Signer = Tlv(
        Der::Sequence,
        Cat({Tlv(Der::Integer, {1}), Tlv(Der::Sequence, Cat({Issuer, P.SignerSerial})), Algorithm,
             Tlv(Der::Sequence, Tlv(Der::Oid, {0x2A})), Tlv(Der::OctetString, {9, 9, 9})}));
    const TBytes Signed = Tlv(
        Der::Sequence,
        Cat({Tlv(Der::Integer, {1}), Tlv(Der::Set, Algorithm),
             Tlv(Der::Sequence,
                 Cat({Tlv(Der::Oid, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04}),
                      Tlv(Der::Context(0), Indirect)})),
             Tlv(Der::Context(0), Certificate), Tlv(Der::Set, Signer)}));
    return Tlv(Der::Sequence,
               Cat({Tlv(Der::Oid, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02}),
                    Tlv(Der::Context(0), Signed)}));
}

// Image with Signature appended as its certificate table, padded to 8 bytes as signers do.
TBytes WithSignature(TBytes Image, const TBytes& Signature) {
    const TTestHeaders H(Image);
    const uint32_t Table = uint32_t(Image.size());
    const uint32_t Length = uint32_t(8 + Signature.size());
    TBytes Entry(8);
    SetLe32(Entry, 0, Length);
    SetLe16(Entry, 4, 0x0200);
    SetLe16(Entry, 6, 0x0002);
    Entry.insert(Entry.end(), Signature.begin(), Signature.end());
    Entry.resize((Entry.size() + 7) & ~size_t(7));
    Image.insert(Image.end(), Entry.begin(), Entry.end());
    SetLe32(Image, H.Directory(4), Table);
    SetLe32(Image, H.Directory(4) + 4, uint32_t(Entry.size()));
    return Image;
}

TBytes Sha256Of(const TBytes& Image) {
    const TSha256::TDigest Digest = AuthenticodeSha256(Image.data(), Image.size(), u"x.exe");
    return TBytes(Digest.begin(), Digest.end());
}

class SignatureTests : public testing::TestWithParam<std::string> {
protected:
    TBytes Stub = ReadStub("TestStub-" + GetParam() + ".exe");

    TBytes Signed(TSignatureParts Parts = {}) {
        if (Parts.Digest.empty()) Parts.Digest = Sha256Of(Stub);
        return WithSignature(Stub, SignedData(Parts));
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Arch, SignatureTests, testing::Values("x86", "x64"));

TEST_P(SignatureTests, SignedImageOpensAndItsDigestIsChecked) {
    ASSERT_EQ(Stub.size() % 8, 0u);
    const TBytes Image = Signed();
    const TPeImage Pe(Image, u"signed.exe");
    EXPECT_TRUE(Pe.IsSigned());
    EXPECT_EQ(Pe.Resources().Items.size(), TPeImage(Stub, u"stub.exe").Resources().Items.size());
    // Rebuilding drops the signature, which covered the old bytes.
    const TBytes Rebuilt = Pe.WithResources(Pe.Resources());
    EXPECT_FALSE(TPeImage(Rebuilt, u"rebuilt.exe").IsSigned());
    EXPECT_EQ(Le32(Rebuilt, TTestHeaders(Rebuilt).Directory(4) + 4), 0u);

    TSignatureCheck Check = CheckCodeSignature(Image, u"signed.exe");
    ASSERT_TRUE(Check.Signature);
    EXPECT_EQ(Check.Signature->Signer, u"Vendor Code Signing");
    EXPECT_EQ(Check.Signature->NotBefore, 1577836800);
    EXPECT_EQ(Check.Signature->NotAfter, 2524608000);
    EXPECT_TRUE(Check.DigestChecked && Check.DigestMatches);
    EXPECT_EQ(DescribeSignature(Check),
              u"signed by Vendor Code Signing; its SHA-256 digest matches the file");
    EXPECT_EQ(DescribeSignature(CheckCodeSignature(Stub, u"stub.exe")), u"not signed");

    // From a file: a large one is read through its headers and its table alone.
    const TScratchFolder Folder("signature");
    const TPeImage Plain(Stub, u"stub.exe");
    TResourceTree Tree = Plain.Resources();
    Tree.Set(TResourceKey::FromId(RT_RCDATA_ID), TResourceKey::FromId(7), 0, TBytes(200000, 7));
    const TBytes Large = Plain.WithResources(Tree);
    TSignatureParts Parts;
    Parts.Digest = Sha256Of(Large);
    for (const TBytes& Bytes : {Image, WithSignature(Large, SignedData(Parts))}) {
        WriteBytes(Folder / "signed.exe", Bytes);
        const std::optional<TCodeSignature> Read =
            ReadFileCodeSignature(Folder / "signed.exe", u"signed.exe");
        ASSERT_TRUE(Read);
        EXPECT_EQ(Read->Signer, u"Vendor Code Signing");
        EXPECT_EQ(Read->Digest, ReadCodeSignature(Bytes.data(), Bytes.size(), u"x")->Digest);
        TBytes Extra = Bytes;
        Extra.push_back(0);
        WriteBytes(Folder / "extra.exe", Extra);
        ExpectBuildError([&] { ReadFileCodeSignature(Folder / "extra.exe", u"extra.exe"); },
                         u"extra.exe", u"1 bytes of extra data follow the certificate table");
    }

    // The checksum is outside the digest; a byte of code is not.
    TBytes Changed = Image;
    Changed[TTestHeaders(Image).CheckSum()] ^= 1;
    EXPECT_TRUE(CheckCodeSignature(Changed, u"x.exe").DigestMatches);
    Changed[TTestHeaders(Image).Sections[0].PointerToRawData + 5] ^= 1;
    EXPECT_FALSE(CheckCodeSignature(Changed, u"x.exe").DigestMatches);
}

TEST_P(SignatureTests, SignerIsTheCommonNameOrTheWholeSubject) {
    const struct {
        TBytes Subject;
        const char16_t* Signer;
    } Cases[] = {
        {Name({{6, Text(0x13, "DE")}, {10, Text(0x14, "M\xFCller GmbH")}}), u"C=DE, O=Müller GmbH"},
        {Name({{3, Tlv(0x1E, {0x04, 0x1F, 0x00, 'x'})}}), u"Пx"},
        {Name({{3, Text(0x0C, "Evil\x1B[2JName")}}), u"Evil?[2JName"},
        {Name({{42, Text(0x0C, "x")}}), u"2.5.4.42=x"},
        {Name({}), u"(no name)"},
    };
    for (const auto& Case : Cases) {
        TSignatureParts Parts;
        Parts.Subject = Case.Subject;
        EXPECT_EQ(CheckCodeSignature(Signed(Parts), u"x.exe").Signature->Signer, Case.Signer);
    }
    TSignatureParts Sha1;
    Sha1.DigestOid = Sha1Oid;
    Sha1.Digest = TBytes(20, 7);
    const TSignatureCheck Check = CheckCodeSignature(Signed(Sha1), u"x.exe");
    EXPECT_FALSE(Check.DigestChecked);
    EXPECT_EQ(DescribeSignature(Check),
              u"signed by Vendor Code Signing; its SHA-1 digest is not checked here");
}

TEST_P(SignatureTests, MisplacedTablesAndMalformedSignaturesFailWithTheirReason) {
    const TTestHeaders H(Stub);
    const size_t Entry = H.Directory(4);
    TSignatureParts Stranger;
    Stranger.SignerSerial = Tlv(Der::Integer, {0x07});
    const struct {
        const char16_t* Reason;
        std::function<void(TBytes&)> Apply;
        bool PeRefuses; // the reader refuses placement; the rest is the signature's content
    } Cases[] = {
        {u"bytes of extra data follow the certificate table",
         [](TBytes& B) { B.resize(B.size() + 8); }, true},
        {u"the certificate table lies outside the file",
         [=](TBytes& B) { SetLe32(B, Entry + 4, Le32(B, Entry + 4) + 8); }, true},
        {u"the certificate table lies outside the file",
         [=](TBytes& B) { SetLe32(B, Entry + 4, 4); }, true},
        {u"overlaps the resource section",
         [=, Size = Stub.size()](TBytes& B) {
             SetLe32(B, Entry, uint32_t(Size - 8));
             SetLe32(B, Entry + 4, uint32_t(B.size() - Size + 8));
         },
         true},
        {u"a certificate entry lies outside",
         [=, At = Stub.size()](TBytes& B) { B[At + 1] = 0x7F; }, false},
        {u"holds no Authenticode signature", [=, At = Stub.size()](TBytes& B) { B[At + 6] = 1; },
         false},
        {u"not PKCS#7 signed data", [=, At = Stub.size() + 8](TBytes& B) { B[At + 14] ^= 1; },
         false},
        {u"indefinite length", [=, At = Stub.size() + 8](TBytes& B) { B[At + 1] = 0x80; }, false},
        {u"the signer's certificate is missing",
         [&](TBytes& B) { B = WithSignature(Stub, SignedData(Stranger)); }, false},
    };
    for (const auto& Case : Cases) {
        TBytes Image = Signed();
        Case.Apply(Image);
        if (Case.PeRefuses)
            ExpectBuildError([&] { TPeImage(Image, u"x.exe"); }, u"x.exe", Case.Reason);
        else
            ExpectBuildError([&] { CheckCodeSignature(Image, u"x.exe"); }, u"x.exe", Case.Reason);
    }
}

TEST_P(SignatureTests, DamagedSignaturesParseOrFailCleanly) {
    const TBytes Digest = Sha256Of(Stub);
    TSignatureParts Parts;
    Parts.Digest = Digest;
    const TBytes Signature = SignedData(Parts);
    TMutator Mutator(GetParam() == "x64" ? 7 : 8);
    size_t Parsed = 0, Refused = 0;
    auto Try = [&](const TBytes& Der) {
        try {
            CheckCodeSignature(WithSignature(Stub, Der), u"fuzz.exe");
            ++Parsed;
        } catch (const EBuildError& Error) {
            EXPECT_EQ(Error.Message().rfind(u"fuzz.exe: ", 0), 0u) << Error.what();
            ++Refused;
        }
    };
    for (size_t Length = 0; Length < Signature.size(); ++Length)
        Try(TBytes(Signature.begin(), Signature.begin() + Length));
    for (int Round = 0; Round < 3000; ++Round) {
        TBytes Der = Signature;
        for (uint32_t Edit = 1 + Mutator.Next(3); Edit > 0; --Edit) {
            const size_t At = Mutator.Next(uint32_t(Der.size()));
            Der[At] = Mutator.Next(2) ? uint8_t(Der[At] ^ (1u << Mutator.Next(8)))
                                      : uint8_t(Mutator.Next(256));
        }
        Try(Der);
    }
    EXPECT_GT(Parsed, 100u);
    EXPECT_GT(Refused, 100u);
}

TEST(DerTests, TimesAndObjectIdentifiers) {
    const struct {
        uint8_t Tag;
        const char* Text;
        std::optional<int64_t> Seconds;
    } Times[] = {
        {Der::UtcTime, "700101000000Z", 0},
        {Der::UtcTime, "491231235959Z", 2524607999},
        {Der::UtcTime, "500101000000Z", -631152000},
        {Der::GeneralizedTime, "20200201000000Z", 1580515200},
        {Der::UtcTime, "2001010000Z", std::nullopt},
        {Der::UtcTime, "201301000000Z", std::nullopt},
        {Der::UtcTime, "20010100000+Z", std::nullopt},
        {Der::GeneralizedTime, "200101000000Z", std::nullopt},
        {Der::OctetString, "700101000000Z", std::nullopt},
    };
    for (const auto& Case : Times) {
        const TBytes Encoded = Text(Case.Tag, Case.Text);
        Der::TReader Reader(Encoded.data(), Encoded.size(), u"t");
        EXPECT_EQ(Der::Time(Reader.Next(u"a time")), Case.Seconds) << Case.Text;
    }
    const struct {
        TBytes Encoded;
        const char16_t* Text;
    } Oids[] = {
        {Sha256Oid, u"2.16.840.1.101.3.4.2.1"},
        {Tlv(Der::Oid, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37}), u"1.3.6.1.4.1.311"},
        {Tlv(Der::Oid, {0x2B, 0x86}), u"(a malformed OID)"},
    };
    for (const auto& Case : Oids) {
        Der::TReader Reader(Case.Encoded.data(), Case.Encoded.size(), u"t");
        EXPECT_EQ(Der::OidText(Reader.Next(u"an OID")), Case.Text);
    }
}

TEST(SigningCommand, SplitsAsAShellAndPutsTheFileInOneArgument) {
    const auto Variable = [](const WideString& Name) -> std::optional<WideString> {
        if (Name == u"TOKEN") return WideString(u"s3 cr\"et");
        return std::nullopt;
    };
    const struct {
        const char16_t* Template;
        std::vector<WideString> Words;
    } Splits[] = {
        {u"  sign  -in {file}\t", {u"sign", u"-in", u"{file}"}},
        {u"'a b'\"c d\"e\\ f", {u"a bc de f"}},
        {u"'$TOKEN' \"$TOKEN\" $TOKEN ${TOKEN}x",
         {u"$TOKEN", u"s3 cr\"et", u"s3 cr\"et", u"s3 cr\"etx"}},
        {u"\"\\$\\\"\\\\\\n\" '\\n' \\\"", {u"$\"\\\\n", u"\\n", u"\""}},
        {u"a$ $1 '' \"\"", {u"a$", u"$1", u"", u""}},
    };
    for (const auto& Case : Splits)
        EXPECT_EQ(SplitCommandTemplate(Case.Template, Variable), Case.Words)
            << WideToUtf8(Case.Template);
    EXPECT_EQ(WithFile({u"tool", u"--in={file}", u"{file}"}, u"C:\\a b\\x.exe"),
              (std::vector<WideString>{u"tool", u"--in=C:\\a b\\x.exe", u"C:\\a b\\x.exe"}));
    for (const char16_t* Bad :
         {u"'open", u"\"open", u"end\\", u"$UNSET", u"${TOKEN", u"${}", u"  "}) {
        bool Refused = false;
        try {
            SplitCommandTemplate(Bad, Variable);
        } catch (const EUsageError&) {
            Refused = true;
        }
        EXPECT_TRUE(Refused) << WideToUtf8(Bad);
    }
    bool Refused = false;
    try {
        WithFile({u"tool", u"file"}, u"x");
    } catch (const EUsageError&) {
        Refused = true;
    }
    EXPECT_TRUE(Refused) << "a command without {file}";
}
