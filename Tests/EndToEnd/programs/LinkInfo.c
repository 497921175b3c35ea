/* Prints the target and the working directory of a shell link, one per line, in UTF-8:
   "LinkInfo LINK". Exit code 1 when the link does not load. */
#define COBJMACROS
#include <windows.h>

#include <shlobj.h>

static void Print(const wchar_t* Text) {
    char Line[4 * MAX_PATH + 2];
    const int Size = WideCharToMultiByte(CP_UTF8, 0, Text, -1, Line, sizeof(Line) - 1, NULL, NULL);
    if (Size <= 0) return;
    Line[Size - 1] = '\n';
    DWORD Written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), Line, (DWORD)Size, &Written, NULL);
}

int wmain(int Count, wchar_t** Arguments) {
    if (Count != 2) return 2;
    CoInitialize(NULL);
    IShellLinkW* Link = NULL;
    IPersistFile* File = NULL;
    int Result = 1;
    if (SUCCEEDED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkW,
                                   (void**)&Link)) &&
        SUCCEEDED(IShellLinkW_QueryInterface(Link, &IID_IPersistFile, (void**)&File)) &&
        SUCCEEDED(IPersistFile_Load(File, Arguments[1], STGM_READ))) {
        wchar_t Target[MAX_PATH] = L"", Folder[MAX_PATH] = L"";
        /* The item list keeps the target's name in Unicode; Wine fills GetPath from the link's
           ANSI copy of the path, which loses characters outside the code page. */
        LPITEMIDLIST Items = NULL;
        if (FAILED(IShellLinkW_GetIDList(Link, &Items)) || !Items ||
            !SHGetPathFromIDListW(Items, Target))
            IShellLinkW_GetPath(Link, Target, MAX_PATH, NULL, SLGP_RAWPATH);
        CoTaskMemFree(Items);
        IShellLinkW_GetWorkingDirectory(Link, Folder, MAX_PATH);
        Print(Target);
        Print(Folder);
        Result = 0;
    }
    if (File) IPersistFile_Release(File);
    if (Link) IShellLinkW_Release(Link);
    CoUninitialize();
    return Result;
}
