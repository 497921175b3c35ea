#pragma once

// Windows only: every end of a program goes through ExitProgram, so that one rule decides what
// happens to the files that exist only for one run.
#include "LxFileStream.h"
#include "LxTypes.h"

#include <memory>

// Releases every temporary file, then ends the process with Code. No destructor runs.
[[noreturn]] void ExitProgram(uint32_t Code);

// The exit codes the README documents.
enum TLxExitCode : uint32_t {
    ExitCodeSuccess = 0, // done, or closed by the user
    ExitCodeError = 1,   // an error stopped it
    ExitCodeStopped = 2, // a silent run that stopped before its end; the uninstaller: declined
    // A silent or automatic installation that installed nothing, by cause. The package
    // manager's manifest the builder writes names them too.
    ExitCodeWindowsTooOld = 3,
    ExitCodeNoPackage = 4,
    ExitCodeFolderRefused = 5,
    ExitCodeDownloadFailed = 6,
    ExitCodeDownloadRefused = 7,
    ExitCodeFileFailed = 8,
};

// A file of this run, deleted when its owner lets it go and at every end of the process,
// whichever comes first. A module mapped from it is freed before, as a mapped file cannot go.
class TLxTemporaryFile {
public:
    explicit TLxTemporaryFile(WideString Path);
    ~TLxTemporaryFile();
    TLxTemporaryFile(const TLxTemporaryFile&) = delete;
    TLxTemporaryFile& operator=(const TLxTemporaryFile&) = delete;

    const WideString& Path() const { return FPath; }
    // Opens the file so that nobody may change it until Release: what is checked is what is
    // used. Raises when it cannot be opened.
    TFileStream& Lock();
    // The file as an image-resource data file: only its resources are used, no code of it
    // runs, nothing it imports is loaded. Null when it does not load.
    void* LoadResourceModule();
    // Frees the module and deletes the file; once.
    void Release();
    // Creates the file, open to this owner alone until it is released or put in place.
    TFileStream& Create();
    // Closes the file made by Create as Target, replacing it; false (the system's error kept)
    // when it cannot.
    bool PutInPlace(WideStringView Target);

private:
    friend void ExitProgram(uint32_t Code);
    WideString FPath;
    std::unique_ptr<TFileStream> FLock;
    void* FModule = nullptr;
    bool FReleased = false;
    TLxTemporaryFile* FPrevious = nullptr;
    TLxTemporaryFile* FNext = nullptr;
};
