#pragma once

#include "LxFunctionRef.h"
#include "LxTypes.h"

class TStream;

using TByteSink = TFunctionRef<void(const uint8_t* Data, size_t Size)>;

class TLxSysfn {
public:
    TLxSysfn() = delete;
    // Whole-stream zlib at level 9; the destination is emptied first and left at its end.
    static void CompressStream(TStream* Source, TStream* Dest);
    // Raises the decompression error "Error" for anything but one complete zlib stream.
    static void DecompressStream(TStream* Source, TStream* Dest);
};

class TLxStrfn {
public:
    TLxStrfn() = delete;
    // Registry form: braces, upper-case hexadecimal digits, 38 characters.
    static WideString NewGUIDString();
};

class TLxFilefn {
public:
    TLxFilefn() = delete;
    // Creates the folder of a file path when it is missing; failure shows up when writing.
    static void ForceFileDir(WideStringView FileName);
};

bool DirectoryExists(WideStringView Path);
bool FileExists(WideStringView Path);
// Raises "Unable to create directory" for an empty path; otherwise reports through the result.
bool ForceDirectories(WideStringView Path);
bool DeleteFile(WideStringView Path);
