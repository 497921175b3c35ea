#pragma once

// A reader of ASN.1 DER for signatures found in files: untrusted input, so every length is
// checked against what is left before anything is read.

#include "LxTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Der {

constexpr uint8_t Integer = 0x02;
constexpr uint8_t BitString = 0x03;
constexpr uint8_t OctetString = 0x04;
constexpr uint8_t Null = 0x05;
constexpr uint8_t Oid = 0x06;
constexpr uint8_t Sequence = 0x30;
constexpr uint8_t Set = 0x31;
constexpr uint8_t UtcTime = 0x17;
constexpr uint8_t GeneralizedTime = 0x18;

// [N] with constructed contents, as EXPLICIT and IMPLICIT SET/SEQUENCE tags are.
constexpr uint8_t Context(uint8_t Number) {
    return uint8_t(0xA0 | Number);
}

// One element: its identifier octet, its contents, and the whole encoding.
struct TElement {
    uint8_t Tag = 0;
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    const uint8_t* Encoding = nullptr;
    size_t EncodingSize = 0;

    bool Is(const uint8_t* Bytes, size_t Count) const;
    template <size_t N>
    bool Is(const uint8_t (&Bytes)[N]) const {
        return Is(Bytes, N);
    }
};

// Reads the elements of one level in order. A malformed element raises EBuildError
// "<FileName>: the signature is malformed (<what>)".
class TReader {
public:
    TReader(const uint8_t* Data, size_t Size, WideStringView FileName);
    // The contents of a constructed element.
    TReader(const TElement& Element, WideStringView FileName);

    bool AtEnd() const { return FAt == FSize; }
    TElement Next(const char16_t* What);
    // The next element, which must carry Tag.
    TElement Next(uint8_t Tag, const char16_t* What);
    // The next element when it carries Tag; nothing (and nothing read) otherwise.
    std::optional<TElement> NextIf(uint8_t Tag);
    [[noreturn]] void Fail(WideStringView What) const;

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FAt = 0;
    WideStringView FFileName;
};

// An OBJECT IDENTIFIER in dotted form, for messages.
WideString OidText(const TElement& Element);
// A string of a certificate name (UTF8String, PrintableString, BMPString, ...); control
// characters become '?', so that a name printed cannot steer a terminal. Nothing for other types.
std::optional<WideString> Text(const TElement& Element);
// UTCTime or GeneralizedTime as seconds since 1970 (UTC); nothing when malformed.
std::optional<int64_t> Time(const TElement& Element);

} // namespace Der
