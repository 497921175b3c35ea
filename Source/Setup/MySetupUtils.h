#pragma once

#include "LxSysUtils.h"
#include "LxTypes.h"

#include <memory>

class TMemoryStream;
class TSetupFile;

// Decodes one encoded range after another with the same inflater and pieces, made at the first:
// a file step would otherwise take and give back half a megabyte of memory for every file.
class TPackageDecoder {
public:
    TPackageDecoder();
    ~TPackageDecoder();
    TPackageDecoder(const TPackageDecoder&) = delete;
    TPackageDecoder& operator=(const TPackageDecoder&) = delete;
    // As TSetupfn::DecodeRange; after a failure too.
    void Decode(const uint8_t* Data, size_t Size, TByteSink Sink);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

class TSetupfn {
public:
    TSetupfn() = delete;

    // Package codec: zlib at level 9, then each byte XORed with (its index mod 255).
    static void EncodeStream(TMemoryStream& Stream);
    // Raises the decompression error "Error"; the stream then holds the unscrambled bytes.
    static void DecodeStream(TMemoryStream& Stream);
    // Decodes an encoded byte range into Sink piece by piece, never holding the whole content;
    // same bytes and same errors as DecodeStream.
    static void DecodeRange(const uint8_t* Data, size_t Size, TByteSink Sink);
    // DecodeRange into Out (emptied first), refusing content larger than DecodeLimit(Size)
    // before holding more of it.
    static void DecodeBounded(const uint8_t* Data, size_t Size, TMemoryStream& Out);
    // What an encoded part of Size bytes may decode to: far above what scripts, indexes and
    // texts reach, far below what a crafted stream can claim (about 1000 times its size).
    static constexpr size_t DecodeLimit(size_t Size) { return Size * 64 + 65536; }
    // XORs Size bytes that start at byte StartIndex of an encoded stream.
    static void ScrambleBytes(uint8_t* Data, size_t Size, uint64_t StartIndex);

    // Replaces {pf}, {group}, {desktop}, {app} and {srcexe}, then collapses doubled backslashes.
    static WideString ExpandConstant(WideStringView Text);
    // Where a file item is written: its expanded folder, then NewFileName or SourceMask.
    static WideString TargetPath(const TSetupFile& Item);
    // The rules of the start-up values, given what the system reported.
#ifdef _WIN32
    // Fills {pf}, {desktop} and the base of {group} from the system, once at start.
    static void InitConstants();
#endif
    static void InitConstantsFrom(WideStringView ProgramFiles, WideStringView DesktopDir,
                                  WideStringView CommonProgramsDir);
};

// Process-wide path values behind the constants.
extern WideString SetupProgramFilesDir;   // {pf}, no trailing backslash
extern WideString SetupCommonProgramsDir; // base of {group}, trailing backslash
extern WideString SetupDesktopDir;        // {desktop}, trailing backslash or empty
extern WideString SetupAppDir;            // {app}, trailing backslash once chosen
extern WideString SetupAppTitle;          // part of {group}
